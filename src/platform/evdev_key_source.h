#pragma once

#include <memory>
#include <vector>

#include "platform/key_source.h"

namespace platform {

// Reads every keyboard under /dev/input that this user may open, whatever window has the focus:
// each snapshot asks the kernel for the keys down now (EVIOCGKEY) and merges the keyboards. The
// devices are never grabbed. Linux key codes of the main block equal PC scan codes.
class EvdevKeySource : public KeySource {
  public:
    // nullptr when no readable keyboard is found.
    static std::unique_ptr<EvdevKeySource> Open(const char* folder = "/dev/input");
    ~EvdevKeySource() override;

    bool Snapshot(KeyboardState& state) override;
    const char* Name() const override { return "evdev"; }
    std::size_t KeyboardCount() const { return fds_.size(); }

  private:
    EvdevKeySource(std::string folder, std::vector<int> fds);
    void CloseAll();
    bool Reopen();

    std::string folder_;
    std::vector<int> fds_;
    unsigned failedSnapshots_ = 0;
};

}  // namespace platform
