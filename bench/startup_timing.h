// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "wav_fixtures.h"
#include "xvfb.h"

namespace bench {

inline constexpr const char* kMainWindowTitle = "Музыкальный тонариум v 1.01";
// The baseline: an empty Qt Widgets window of the main window's size, titled "empty".
extern const char* const kEmptyWindowExecutable;

// The program as installed, in a folder of its own: its sound settings and the real sample
// library beside it.
class InstalledProgram {
  public:
    // Empty names take the program and the settings of this build.
    InstalledProgram(const std::string& program = {}, const std::string& config = {});
    std::string path() const { return (dir_.path() / "tonarium").string(); }
    std::size_t samples() const { return samples_; }

  private:
    testing_support::TempDir dir_;
    std::size_t samples_ = 0;
};

// Sees top-level windows being mapped, from the moment it is made: the server reports each
// MapNotify on the root window to it, so no window can show unnoticed before we look.
class MapWatcher {
  public:
    using Clock = std::chrono::steady_clock;

    explicit MapWatcher(const testing_support::Xvfb& xvfb);
    ~MapWatcher();
    bool watching() const { return display_ != nullptr; }

    // Forgets the windows mapped so far, before the next program starts.
    void Forget();
    // When the window with this title was mapped; nullopt when none was within the timeout.
    std::optional<Clock::time_point> WaitForMap(const std::string& title,
                                                std::chrono::seconds timeout);

  private:
    std::string Title(unsigned long window);

    Display* display_;
};

// Starts a program on the virtual display.
pid_t Launch(const testing_support::Xvfb& xvfb, const std::string& program,
             const std::vector<std::string>& arguments = {});
void End(pid_t pid);  // SIGTERM, then waits for it

// Start to main window mapped, for the program and for an empty Qt window started in turn
// several times: the median and fastest of each, so that a busy moment of a shared machine does
// not decide the ratio. One line of figures, and the ratios.
struct StartTimes {
    std::string line;
    double medianRatio = 0;
    double fastestRatio = 0;
};
StartTimes TimeStartsBesideEmptyWindow(MapWatcher& watcher, const testing_support::Xvfb& xvfb,
                                       const InstalledProgram& program,
                                       const std::vector<std::string>& arguments = {});

}  // namespace bench
