#pragma once

#include <memory>
#include <vector>

#include "platform/key_batch.h"
#include "platform/key_source.h"
#include "platform/pacer.h"

class QSocketNotifier;

namespace platform {

// Reads every keyboard under /dev/input that this user may open, whatever window has the focus:
// each snapshot asks the kernel for the keys down now (EVIOCGKEY) and merges the keyboards. The
// devices are never grabbed. With a change handler the devices' events are read as they arrive,
// on the event loop, to tell the reader at once. Linux key codes of the main block equal PC scan
// codes.
class EvdevKeySource : public KeySource {
  public:
    // nullptr when no readable keyboard is found.
    static std::unique_ptr<EvdevKeySource> Open(const char* folder = "/dev/input");
    ~EvdevKeySource() override;

    bool Snapshot(KeyboardState& state) override;
    const char* Name() const override { return "evdev"; }
    void OnChange(std::function<void()> handler) override;
    std::size_t KeyboardCount() const { return fds_.size(); }

  private:
    EvdevKeySource(std::string folder, std::vector<int> fds);
    void CloseAll();
    bool Reopen();
    void Watch();
    void StopWatching();
    void OnReadable(int fd);

    std::string folder_;
    std::vector<int> fds_;
    // After a failure, look for keyboards again about once a second.
    Pacer reopen_{std::chrono::seconds(1)};
    KeyBatch batch_;
    std::function<void()> onChange_;
    std::vector<QSocketNotifier*> notifiers_;
};

}  // namespace platform
