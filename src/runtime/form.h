// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/truth.h"
#include "runtime/control_design.h"
#include "runtime/mouse_events.h"

class QAbstractButton;
class QEventLoop;
class QLabel;
class QPixmap;
class QPushButton;

namespace runtime {

class Services;
class Timer;

// A top-level window built from a fixed design. The constructor creates every control of the
// table, in its order, with its design settings; Show() then runs the load handler and shows the
// window centred on the screen. Unload (the close box too) runs the unload handler and hides the
// window for good; the object itself belongs to whoever made it. The services outlive the form.
class Form : public QWidget {
  public:
    Form(Services& services, const FormDesign& form, std::span<const ControlDesign> controls);
    ~Form() override;

    // Loads the window if it is not loaded yet (load handler first), then shows it.
    void Show();
    bool IsLoaded() const { return loaded_; }

    // The native handle of the window, as the platform services take it.
    core::WindowHandle hWnd();

    // A control of the design by name, and index for an element of a control array. Asking for
    // a control the design does not have, or as the wrong kind, is a programming error.
    template <class Control>
    Control& Get(std::string_view name, int index = kNoIndex) const {
        auto* control = dynamic_cast<Control*>(Find(name, index));
        if (!control) FailLookup(name, index);
        return *control;
    }

    Services& services() const { return services_; }

    // Event handlers. Each runs through the services' Guard.
    void OnClick(QAbstractButton& control, std::function<void()> handler);
    void OnMouseMove(QWidget& control, MouseHandler handler);
    void OnMouseDown(QWidget& control, MouseHandler handler);
    void OnMouseUp(QWidget& control, MouseHandler handler);

  protected:
    virtual void OnLoad() {}
    virtual void OnUnload() {}

    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;

  private:
    struct Entry {
        std::string name;
        int index;
        QObject* object;
        int tabIndex;
    };
    friend void ShowModal(Form& form);

    QObject* Find(std::string_view name, int index) const;
    [[noreturn]] static void FailLookup(std::string_view name, int index);
    void CreateControl(const ControlDesign& design);
    std::vector<QWidget*> TabOrder() const;  // focusable controls by tab index
    std::vector<QWidget*> TabStops() const;  // those that can take the focus now
    void ApplyTabOrder();
    void FocusFirstTabStop();
    void CentreOnScreen();
    void ClickIfEnabled(QPushButton* button);

    Services& services_;
    std::vector<Entry> controls_;
    std::vector<std::pair<Timer*, bool>> timersAtLoad_;  // and whether each ticks once loaded
    MouseEvents* mouseEvents_;
    QPushButton* defaultButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QEventLoop* modalLoop_ = nullptr;
    bool loaded_ = false;
    bool shownBefore_ = false;
};

// Shows the form modally: the call returns only when the form has been unloaded. Meanwhile the
// other windows take no mouse or keyboard input, but their timers keep ticking.
void ShowModal(Form& form);

// Runs the form's unload handler, then closes the window. When no window is left, the program
// ends (Qt's quit on last window closed).
void Unload(Form& form);

// Shows the picture in a picture box or image control, which takes the picture's size.
void SetPicture(QLabel& control, const QPixmap& picture);

}  // namespace runtime
