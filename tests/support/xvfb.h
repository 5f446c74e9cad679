#pragma once

#include <sys/types.h>
#include <string>

typedef struct _XDisplay Display;

namespace testing_support {

// A virtual X server for one test: started on a free display, stopped with the object.
class Xvfb {
  public:
    Xvfb();
    ~Xvfb();
    bool running() const { return pid_ > 0; }
    const std::string& display() const { return display_; }
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    std::string display_;
};

// A window of another program on the display, holding the keyboard focus.
class FocusedWindow {
  public:
    explicit FocusedWindow(const std::string& display);
    ~FocusedWindow();
    bool HasFocus() const;

  private:
    Display* display_;
    unsigned long window_ = 0;
};

// Runs a command line with DISPLAY set to the given display; true when it exits 0.
bool RunOnDisplay(const std::string& display, const std::string& command);

}  // namespace testing_support
