// SPDX-License-Identifier: MIT
#include "platform/keys/evdev_key_source.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/input.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <span>

namespace platform {

namespace {

constexpr std::size_t kBitsPerLong = sizeof(unsigned long) * 8;
using KeyBits = unsigned long[(KEY_MAX + 1 + kBitsPerLong - 1) / kBitsPerLong];

bool TestBit(const KeyBits& bits, unsigned bit) {
    return (bits[bit / kBitsPerLong] >> (bit % kBitsPerLong)) & 1UL;
}

// A node that came or went, or that this user may open now (udev sets its rights a moment
// after the kernel made it).
constexpr std::uint32_t kFolderChanges =
    IN_CREATE | IN_ATTRIB | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM;

}  // namespace

int EvdevDevices::Open(const std::string& path) {
    return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

// A keyboard has letter keys; mice, power buttons and the like do not.
bool EvdevDevices::IsKeyboard(int fd) {
    KeyBits keys{};
    if (ioctl(fd, EVIOCGBIT(EV_KEY, sizeof keys), keys) < 0) return false;
    return TestBit(keys, KEY_Q) && TestBit(keys, KEY_A) && TestBit(keys, KEY_1) &&
           TestBit(keys, KEY_BACKSLASH);
}

bool EvdevDevices::HeldKeys(int fd, Keys& held) {
    KeyBits keys{};
    if (ioctl(fd, EVIOCGKEY(sizeof keys), keys) < 0) return false;
    for (unsigned code = 0; code < kCodes; ++code) held[code] = TestBit(keys, code);
    return true;
}

std::unique_ptr<EvdevKeySource> EvdevKeySource::Open(const std::string& folder,
                                                     std::unique_ptr<EvdevDevices> devices) {
    std::unique_ptr<EvdevKeySource> source(new EvdevKeySource(folder, std::move(devices)));
    if (source->keyboards_.empty()) return nullptr;
    return source;
}

EvdevKeySource::EvdevKeySource(std::string folder, std::unique_ptr<EvdevDevices> devices)
    : folder_(std::move(folder)), devices_(std::move(devices)) {
    // Watched before the first scan, so that no keyboard plugged in meanwhile is missed. Without
    // the watch the keyboards found now are all there will be.
    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ >= 0 && inotify_add_watch(inotify_, folder_.c_str(), kFolderChanges) < 0) {
        close(inotify_);
        inotify_ = -1;
    }
    Scan();
}

EvdevKeySource::~EvdevKeySource() {
    // Deleted at once, so that none of them outlives the source; the record may be gone already,
    // so nothing is reported.
    delete folderNotifier_;
    for (const auto& keyboard : keyboards_) {
        delete keyboard->notifier;
        close(keyboard->fd);
    }
    if (inotify_ >= 0) close(inotify_);
}

void EvdevKeySource::Start(KeyReport report) {
    for (const auto& keyboard : keyboards_) Resync(*keyboard);
    report_ = report;
    for (unsigned code = 0; code < EvdevDevices::kCodes; ++code)
        if (AnyDown(code)) report_->Down(code);
    // Without an event loop to run notifiers the folder and the keyboards are read when polled.
    watching_ = QCoreApplication::instance() != nullptr;
    for (const auto& keyboard : keyboards_) Watch(*keyboard);
    if (watching_ && inotify_ >= 0) {
        folderNotifier_ = new QSocketNotifier(inotify_, QSocketNotifier::Read);
        QObject::connect(folderNotifier_, &QSocketNotifier::activated, [this] {
            ReadFolderChanges();
            report_->Changed();
        });
    }
}

void EvdevKeySource::Scan() {
    DIR* dir = opendir(folder_.c_str());
    if (!dir) return;
    while (const dirent* entry = readdir(dir)) Add(entry->d_name);
    closedir(dir);
}

void EvdevKeySource::Add(const std::string& name) {
    if (!name.starts_with("event") || Find(name)) return;
    const int fd = devices_->Open(folder_ + "/" + name);
    if (fd < 0) return;
    if (!devices_->IsKeyboard(fd)) {
        close(fd);
        return;
    }
    keyboards_.push_back(std::make_unique<Keyboard>(Keyboard{.name = name, .fd = fd}));
    if (!report_) return;  // started later
    Resync(*keyboards_.back());
    Watch(*keyboards_.back());
}

// The other keyboards are left as they are: a key one of them holds stays held.
void EvdevKeySource::Drop(Keyboard& keyboard) {
    for (unsigned code = 0; code < EvdevDevices::kCodes; ++code) Set(keyboard, code, false);
    if (keyboard.notifier) {
        // This may run inside the notifier's own signal: let the event loop delete it.
        keyboard.notifier->setEnabled(false);
        keyboard.notifier->deleteLater();
    }
    close(keyboard.fd);
    std::erase_if(keyboards_, [&](const auto& open) { return open.get() == &keyboard; });
}

void EvdevKeySource::Watch(Keyboard& keyboard) {
    if (!watching_) return;
    keyboard.notifier = new QSocketNotifier(keyboard.fd, QSocketNotifier::Read);
    QObject::connect(keyboard.notifier, &QSocketNotifier::activated,
                     [this, &keyboard] { OnReadable(keyboard); });
}

bool EvdevKeySource::ReadEvents(Keyboard& keyboard) {
    input_event events[64];
    for (;;) {
        const ssize_t got = read(keyboard.fd, events, sizeof events);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return errno == EAGAIN;
        if (got == 0) return false;  // a device never reads empty: it is gone
        for (const input_event& event : std::span(events, got / sizeof(input_event))) {
            // The kernel dropped events: the rest of this report is partial, and what is held
            // once it ends is all that is known.
            if (event.type == EV_SYN && event.code == SYN_DROPPED) {
                keyboard.dropping = true;
            } else if (keyboard.dropping) {
                if (event.type == EV_SYN && event.code == SYN_REPORT) {
                    keyboard.dropping = false;
                    Resync(keyboard);
                }
            } else if (event.type == EV_KEY && event.value != 2) {
                // 1 is a press, 0 a release, 2 an auto-repeat.
                Set(keyboard, event.code, event.value);
            }
        }
    }
}

void EvdevKeySource::Resync(Keyboard& keyboard) {
    Keys held;
    if (!devices_->HeldKeys(keyboard.fd, held)) return;
    for (unsigned code = 0; code < EvdevDevices::kCodes; ++code) Set(keyboard, code, held[code]);
}

void EvdevKeySource::Set(Keyboard& keyboard, unsigned code, bool down) {
    if (code >= EvdevDevices::kCodes || keyboard.down[code] == down) return;
    const bool before = AnyDown(code);
    keyboard.down[code] = down;
    if (!report_ || AnyDown(code) == before) return;
    if (down)
        report_->Down(code);
    else
        report_->Up(code);
}

bool EvdevKeySource::AnyDown(unsigned code) const {
    for (const auto& keyboard : keyboards_)
        if (keyboard->down[code]) return true;
    return false;
}

// One batch: every event the keyboard has queued.
void EvdevKeySource::OnReadable(Keyboard& keyboard) {
    if (!ReadEvents(keyboard)) Drop(keyboard);
    report_->Changed();
}

void EvdevKeySource::ReadFolderChanges() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = read(inotify_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += sizeof(inotify_event) + event->len;
            if (event->mask & IN_Q_OVERFLOW) Scan();
            if (event->len == 0) continue;
            const std::string name = event->name;
            // A node that goes is dropped at once: a new device may take its name next.
            if (!(event->mask & (IN_DELETE | IN_MOVED_FROM)))
                Add(name);
            else if (Keyboard* keyboard = Find(name))
                Drop(*keyboard);
        }
    }
}

EvdevKeySource::Keyboard* EvdevKeySource::Find(const std::string& name) {
    for (const auto& keyboard : keyboards_)
        if (keyboard->name == name) return keyboard.get();
    return nullptr;
}

// Without notifiers the folder and the queues are read here.
void EvdevKeySource::Poll() {
    if (!watching_) {
        if (inotify_ >= 0) ReadFolderChanges();
        for (std::size_t i = 0; i < keyboards_.size();)
            if (ReadEvents(*keyboards_[i]))
                ++i;
            else
                Drop(*keyboards_[i]);
    }
    if (report_) report_->Changed();
}

}  // namespace platform
