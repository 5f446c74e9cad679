#include "platform/keys/evdev_key_source.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/input.h>
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

// A keyboard has letter keys; mice, power buttons and the like do not.
bool IsKeyboard(int fd) {
    KeyBits keys{};
    if (ioctl(fd, EVIOCGBIT(EV_KEY, sizeof keys), keys) < 0) return false;
    return TestBit(keys, KEY_Q) && TestBit(keys, KEY_A) && TestBit(keys, KEY_1) &&
           TestBit(keys, KEY_BACKSLASH);
}

std::vector<int> OpenKeyboards(const std::string& folder) {
    std::vector<int> fds;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return fds;
    while (const dirent* entry = readdir(dir)) {
        if (std::string_view(entry->d_name).substr(0, 5) != "event") continue;
        const std::string path = folder + "/" + entry->d_name;
        const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        if (IsKeyboard(fd))
            fds.push_back(fd);
        else
            close(fd);
    }
    closedir(dir);
    return fds;
}

}  // namespace

std::unique_ptr<EvdevKeySource> EvdevKeySource::Open(const char* folder) {
    std::vector<int> fds = OpenKeyboards(folder);
    if (fds.empty()) return nullptr;
    return std::unique_ptr<EvdevKeySource>(new EvdevKeySource(folder, std::move(fds)));
}

EvdevKeySource::EvdevKeySource(std::string folder, std::vector<int> fds)
    : folder_(std::move(folder)) {
    for (int fd : fds) keyboards_.push_back({fd, {}});
}

EvdevKeySource::~EvdevKeySource() {
    // Deleted at once, so that none of them outlives the source.
    for (QSocketNotifier* notifier : notifiers_) delete notifier;
    notifiers_.clear();
    report_.reset();  // the record may be gone before its sources
    CloseAll();
}

void EvdevKeySource::Start(KeyReport report) {
    report_ = report;
    for (Keyboard& keyboard : keyboards_) Resync(keyboard);
    Watch();
}

void EvdevKeySource::CloseAll() {
    StopWatching();
    for (Keyboard& keyboard : keyboards_) {
        for (unsigned code = 0; code < kCodes; ++code) Set(keyboard, code, false);
        close(keyboard.fd);
    }
    keyboards_.clear();
}

void EvdevKeySource::Reopen() {
    if (!reopen_.Due()) return;
    for (int fd : OpenKeyboards(folder_)) keyboards_.push_back({fd, {}});
    for (Keyboard& keyboard : keyboards_) Resync(keyboard);
    Watch();
}

// Only with an event loop to run them: without one the keyboards are read when polled.
void EvdevKeySource::Watch() {
    if (!report_ || !QCoreApplication::instance() || !notifiers_.empty()) return;
    for (const Keyboard& keyboard : keyboards_) {
        auto* notifier = new QSocketNotifier(keyboard.fd, QSocketNotifier::Read);
        const int fd = keyboard.fd;
        QObject::connect(notifier, &QSocketNotifier::activated, [this, fd] { OnReadable(fd); });
        notifiers_.push_back(notifier);
    }
}

void EvdevKeySource::StopWatching() {
    // This may run inside a notifier's own signal: let the event loop delete them.
    for (QSocketNotifier* notifier : notifiers_) {
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
    notifiers_.clear();
}

bool EvdevKeySource::ReadEvents(Keyboard& keyboard) {
    input_event events[64];
    for (;;) {
        const ssize_t got = read(keyboard.fd, events, sizeof events);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return errno == EAGAIN;
        if (got == 0) return true;
        for (const input_event& event : std::span(events, got / sizeof(input_event))) {
            // The kernel dropped events: what is held now is all that is known.
            if (event.type == EV_SYN && event.code == SYN_DROPPED) Resync(keyboard);
            // 1 is a press, 0 a release, 2 an auto-repeat.
            if (event.type == EV_KEY && event.value != 2) Set(keyboard, event.code, event.value);
        }
    }
}

void EvdevKeySource::Resync(Keyboard& keyboard) {
    KeyBits keys{};
    if (ioctl(keyboard.fd, EVIOCGKEY(sizeof keys), keys) < 0) return;
    for (unsigned code = 0; code < kCodes; ++code) Set(keyboard, code, TestBit(keys, code));
}

void EvdevKeySource::Set(Keyboard& keyboard, unsigned code, bool down) {
    if (code >= kCodes || keyboard.down[code] == down) return;
    const bool before = AnyDown(code);
    keyboard.down[code] = down;
    if (!report_ || AnyDown(code) == before) return;
    if (down)
        report_->Down(code);
    else
        report_->Up(code);
}

bool EvdevKeySource::AnyDown(unsigned code) const {
    for (const Keyboard& keyboard : keyboards_)
        if (keyboard.down[code]) return true;
    return false;
}

// One batch: every event the keyboard has queued. A keyboard that went away reads all up, and
// the keyboards are looked for again at the next poll.
void EvdevKeySource::OnReadable(int fd) {
    for (Keyboard& keyboard : keyboards_) {
        if (keyboard.fd != fd) continue;
        if (!ReadEvents(keyboard)) {
            CloseAll();
            reopen_.Reset();
        }
        break;
    }
    report_->Changed();
}

// Without notifiers the queues are read here; with them, only a lost keyboard is looked for.
void EvdevKeySource::Poll() {
    if (keyboards_.empty()) Reopen();
    if (notifiers_.empty())
        for (Keyboard& keyboard : keyboards_)
            if (!ReadEvents(keyboard)) {
                CloseAll();
                reopen_.Reset();
                break;
            }
    if (report_) report_->Changed();
}

}  // namespace platform
