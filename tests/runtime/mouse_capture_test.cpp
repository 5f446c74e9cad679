// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QTest>
#include <string>
#include <vector>

#include "runtime/form.h"
#include "wait.h"

namespace {

using runtime::ControlDesign;
using runtime::ControlKind;

constexpr ControlDesign kControls[] = {
    {.name = "Frame1", .kind = ControlKind::Frame, .place = {60, 0, 5235, 1275}, .tabIndex = 0},
    {.name = "Label1",
     .kind = ControlKind::Label,
     .container = "Frame1",
     .place = {120, 180, 2655, 255},
     .caption = "Автор программы",
     .tabIndex = 1},
    {.name = "Label2",
     .kind = ControlKind::Label,
     .container = "Frame1",
     .place = {120, 900, 4995, 255},
     .caption = "ссылка",
     .tabIndex = 2},
};
constexpr runtime::FormDesign kWindow{"О программе", 5355, 2190, runtime::BorderStyle::FixedDialog};

// Records which control each mouse event was reported to: "move Label2", "down Form", ...
class MouseCapture : public ::testing::Test {
  protected:
    void SetUp() override {
        Record(form, "Form");
        Record(Frame(), "Frame1");
        Record(Link(), "Label2");  // Label1 has no handlers
        form.Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        events.clear();
    }
    void TearDown() override { runtime::Unload(form); }

    void Record(QWidget& control, const std::string& name) {
        form.OnMouseMove(
            control, [this, name](const runtime::MouseArgs&) { events.push_back("move " + name); });
        form.OnMouseDown(control, [this, name](const runtime::MouseArgs& args) {
            events.push_back("down " + name + (args.buttons == Qt::RightButton ? " right" : ""));
        });
        form.OnMouseUp(control,
                       [this, name](const runtime::MouseArgs&) { events.push_back("up " + name); });
    }

    QLabel& Link() { return form.Get<QLabel>("Label2"); }
    QGroupBox& Frame() { return form.Get<QGroupBox>("Frame1"); }
    QPoint InWindow(QWidget& control, QPoint at) { return control.mapTo(&form, at); }
    QWindow* Window() { return form.windowHandle(); }

    runtime::Form form{runtime_test::DesktopServices(), kWindow, kControls};
    std::vector<std::string> events;
};

TEST_F(MouseCapture, EventsGoToTheControlUnderThePointerOnly) {
    QTest::mouseMove(Window(), InWindow(Frame(), {4, 4}));
    QTest::mouseMove(Window(), InWindow(Link(), {10, 5}));
    const QPoint onLabel1 = InWindow(form.Get<QLabel>("Label1"), {10, 5});
    QTest::mouseMove(Window(), onLabel1);
    QTest::mouseClick(Window(), Qt::LeftButton, {}, onLabel1);
    QTest::mouseMove(Window(), QPoint(2, form.height() - 2));  // bare client area

    // Label1 has no handlers, and its events must not reach the frame behind it.
    const std::vector<std::string> expected{"move Frame1", "move Label2", "move Form"};
    EXPECT_EQ(events, expected);
}

TEST_F(MouseCapture, AfterAPressTheLabelGetsTheMovesAndTheReleaseUntilTheRelease) {
    const QPoint onLink = InWindow(Link(), {10, 5});
    const QPoint onFrame = InWindow(Frame(), {4, 4});
    QTest::mouseMove(Window(), onLink);
    QTest::mousePress(Window(), Qt::LeftButton, {}, onLink);
    QTest::mouseMove(Window(), onFrame);
    QTest::mouseMove(Window(), QPoint(2, form.height() - 2));
    QTest::mouseRelease(Window(), Qt::LeftButton, {}, QPoint(2, form.height() - 2));
    QTest::mouseMove(Window(), onFrame);  // the capture ends with the release

    const std::vector<std::string> expected{"move Label2", "down Label2", "move Label2",
                                            "move Label2", "up Label2",   "move Frame1"};
    EXPECT_EQ(events, expected);
}

TEST_F(MouseCapture, AnyButtonIsReportedAndADoubleClickReleasesTwice) {
    const QPoint onLink = InWindow(Link(), {10, 5});
    QTest::mouseMove(Window(), onLink);
    QTest::mousePress(Window(), Qt::RightButton, {}, onLink);
    QTest::mouseRelease(Window(), Qt::RightButton, {}, onLink);
    const std::vector<std::string> rightClick{"move Label2", "down Label2 right", "up Label2"};
    EXPECT_EQ(events, rightClick);

    // The second press of a double-click is no button down, but its release is a button up.
    events.clear();
    QTest::mouseDClick(Window(), Qt::LeftButton, {}, onLink);
    const std::vector<std::string> doubleClick{"down Label2", "up Label2", "up Label2"};
    EXPECT_EQ(events, doubleClick);
}

}  // namespace
