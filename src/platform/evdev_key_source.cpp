#include "platform/evdev_key_source.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <span>
#include <string>

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
    : folder_(std::move(folder)), fds_(std::move(fds)) {}

EvdevKeySource::~EvdevKeySource() {
    // Deleted at once, so that none of them outlives the source.
    for (QSocketNotifier* notifier : notifiers_) delete notifier;
    notifiers_.clear();
    CloseAll();
}

void EvdevKeySource::CloseAll() {
    StopWatching();
    for (int fd : fds_) close(fd);
    fds_.clear();
    batch_.End();
}

bool EvdevKeySource::Reopen() {
    if (!reopen_.Due()) return false;
    CloseAll();
    fds_ = OpenKeyboards(folder_);
    Watch();
    return !fds_.empty();
}

void EvdevKeySource::OnChange(std::function<void()> handler) {
    onChange_ = std::move(handler);
    Watch();
}

void EvdevKeySource::Watch() {
    if (!onChange_ || !notifiers_.empty()) return;
    for (int fd : fds_) {
        auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
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

// One batch: every event the device has queued, then one look by the reader, then one more if a
// key was pressed and let go within the batch, so that it reads up again. The key levels still
// come from the kernel's state at each snapshot; the events only say when to look.
void EvdevKeySource::OnReadable(int fd) {
    input_event events[64];
    for (;;) {
        const ssize_t got = read(fd, events, sizeof events);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && errno != EAGAIN) {
            // The keyboard went away: read all up and look for keyboards again at the next poll.
            CloseAll();
            reopen_.Reset();
            onChange_();
            return;
        }
        if (got <= 0) break;
        for (const input_event& event : std::span(events, got / sizeof(input_event))) {
            if (event.type != EV_KEY) continue;
            if (event.value == 1) batch_.Press(event.code);
            if (event.value == 0) batch_.Release(event.code);
        }
    }
    if (batch_.Empty()) return;
    onChange_();
    if (batch_.End()) onChange_();
}

bool EvdevKeySource::Snapshot(KeyboardState& state) {
    state.fill(0);
    if (fds_.empty() && !Reopen()) return false;
    for (int fd : fds_) {
        KeyBits keys{};
        if (ioctl(fd, EVIOCGKEY(sizeof keys), keys) < 0) {
            // A keyboard went away: read this snapshot as all up and find the keyboards again.
            state.fill(0);
            CloseAll();
            reopen_.Reset();
            Reopen();
            return false;
        }
        for (unsigned code = 0; code < state.size(); ++code)
            if (TestBit(keys, code)) state[code] = kKeyDown;
    }
    batch_.AddPresses(state);
    reopen_.Reset();
    return true;
}

}  // namespace platform
