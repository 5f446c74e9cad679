// SPDX-License-Identifier: MIT
#pragma once

#include <bitset>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/keys/keys.h"

class QSocketNotifier;

namespace platform {

// How the evdev source reaches a device node: by default it opens the node and asks the kernel.
// Tests put in devices of their own.
class EvdevDevices {
  public:
    static constexpr unsigned kCodes = 256;
    using Keys = std::bitset<kCodes>;

    virtual ~EvdevDevices() = default;
    // A descriptor that reads struct input_event records without blocking; -1 when it cannot
    // be opened.
    virtual int Open(const std::string& path);
    virtual bool IsKeyboard(int fd);
    // The keys held now, by key code; false when the device cannot tell.
    virtual bool HeldKeys(int fd, Keys& held);
};

// Reads every keyboard under /dev/input that this user may open, whatever window has the focus,
// from the key events the kernel queues for each; the devices are never grabbed. A key is down
// while any of the keyboards has it down. Keyboards come and go on their own: the folder is
// watched (inotify) for new devices and for devices this user may open now, and a device that
// fails or goes is closed alone, its keys let go. The keys held are taken from the kernel
// (EVIOCGKEY) when a keyboard is opened and whenever its queue overflowed. Linux key codes of the
// main block equal PC scan codes.
class EvdevKeySource : public KeySource {
  public:
    // nullptr when no readable keyboard is found.
    static std::unique_ptr<EvdevKeySource> Open(
        const std::string& folder = "/dev/input",
        std::unique_ptr<EvdevDevices> devices = std::make_unique<EvdevDevices>());
    ~EvdevKeySource() override;

    void Start(KeyReport report) override;
    void Poll() override;
    const char* Name() const override { return "evdev"; }
    std::size_t KeyboardCount() const { return keyboards_.size(); }

  private:
    using Keys = EvdevDevices::Keys;
    struct Keyboard {
        std::string name;  // in the folder
        int fd;
        Keys down{};
        bool dropping = false;  // events were lost: the rest of this report is not to be taken
        QSocketNotifier* notifier = nullptr;
    };

    EvdevKeySource(std::string folder, std::unique_ptr<EvdevDevices> devices);
    // Opens every keyboard of the folder not open yet.
    void Scan();
    void Add(const std::string& name);
    void Drop(Keyboard& keyboard);
    void Watch(Keyboard& keyboard);
    // Takes in every event the keyboard has queued; false when it failed or went away.
    bool ReadEvents(Keyboard& keyboard);
    void Resync(Keyboard& keyboard);
    void Set(Keyboard& keyboard, unsigned code, bool down);
    bool AnyDown(unsigned code) const;
    void OnReadable(Keyboard& keyboard);
    // Opens the keyboards that came or may be opened now, and drops those whose nodes went.
    void ReadFolderChanges();
    Keyboard* Find(const std::string& name);

    std::string folder_;
    std::unique_ptr<EvdevDevices> devices_;
    std::vector<std::unique_ptr<Keyboard>> keyboards_;
    int inotify_ = -1;
    std::optional<KeyReport> report_;
    bool watching_ = false;  // on the event loop; without one, everything is read when polled
    QSocketNotifier* folderNotifier_ = nullptr;
};

}  // namespace platform
