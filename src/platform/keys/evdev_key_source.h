#pragma once

#include <bitset>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/keys/keys.h"
#include "platform/pacer.h"

class QSocketNotifier;

namespace platform {

// Reads every keyboard under /dev/input that this user may open, whatever window has the focus,
// from the key events the kernel queues for each; the devices are never grabbed. A key is down
// while any of the keyboards has it down. The keys held are taken from the kernel (EVIOCGKEY)
// when a keyboard is opened and whenever its queue overflowed. Linux key codes of the main block
// equal PC scan codes.
class EvdevKeySource : public KeySource {
  public:
    // nullptr when no readable keyboard is found.
    static std::unique_ptr<EvdevKeySource> Open(const char* folder = "/dev/input");
    ~EvdevKeySource() override;

    void Start(KeyReport report) override;
    void Poll() override;
    const char* Name() const override { return "evdev"; }
    std::size_t KeyboardCount() const { return keyboards_.size(); }

  private:
    static constexpr unsigned kCodes = 256;
    struct Keyboard {
        int fd;
        std::bitset<kCodes> down;
    };

    EvdevKeySource(std::string folder, std::vector<int> fds);
    void CloseAll();
    void Reopen();
    void Watch();
    void StopWatching();
    // Takes in every event the keyboard has queued; false when it went away.
    bool ReadEvents(Keyboard& keyboard);
    void Resync(Keyboard& keyboard);
    void Set(Keyboard& keyboard, unsigned code, bool down);
    bool AnyDown(unsigned code) const;
    void OnReadable(int fd);

    std::string folder_;
    std::vector<Keyboard> keyboards_;
    // After a failure, look for keyboards again about once a second.
    Pacer reopen_{std::chrono::seconds(1)};
    std::optional<KeyReport> report_;
    std::vector<QSocketNotifier*> notifiers_;
};

}  // namespace platform
