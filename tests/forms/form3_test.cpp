// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <vector>

#include "forms/form3.h"
#include "forms/form3_layout.h"
#include "recording_services.h"
#include "runtime/color.h"

namespace {

using forms::Form3;
using forms::kLinkHover;
using forms::kLinkNormal;
using forms::kLinkPressed;
using runtime::ForeColor;
using testing_support::RecordingServices;

TEST(Form3, LayoutTextsAndColours) {
    RecordingServices services;
    Form3 form(services);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("О программе"));
    EXPECT_EQ(form.size(), QSize(357, 146));
    EXPECT_EQ(form.windowType(), Qt::Dialog);
    EXPECT_FALSE(form.windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));

    EXPECT_EQ(form.Get<QWidget>("Frame2").geometry(), QRect(4, 84, 349, 57));
    EXPECT_EQ(form.Get<QPushButton>("Command1").geometry(), QRect(216, 12, 125, 29));
    EXPECT_EQ(form.Get<QLabel>("Label1").text(), QStringLiteral("Автор программы: Нотописцев"));
    EXPECT_EQ(form.Get<QLabel>("Label3").text(), QStringLiteral("Версия программы: 1.01 beta"));
    const auto& description = form.Get<QLabel>("Label4");
    EXPECT_EQ(description.geometry(), QRect(8, 16, 285, 33));
    EXPECT_EQ(description.parentWidget(), &form.Get<QWidget>("Frame2"));

    auto& link = form.Get<QLabel>("Label2");
    EXPECT_EQ(link.geometry(), QRect(8, 60, 333, 17));
    EXPECT_EQ(link.text().toStdString(), forms::kLinkCaption);
    EXPECT_FALSE(link.font().bold() || link.font().underline());
    EXPECT_EQ(ForeColor(link), runtime::Rgb(0, 0, 255));
    // The label paints its own background.
    const QImage painted = link.grab().toImage();
    EXPECT_EQ(painted.pixelColor(painted.width() - 2, painted.height() / 2), QColor(128, 128, 255));
}

// The boxes are tight: a font a little too wide cuts the author's name or the description's
// last line.
TEST(Form3, EveryTextFitsItsBox) {
    RecordingServices services;
    Form3 form(services);
    for (const char* name : {"Label1", "Label2", "Label3"}) {
        const auto& label = form.Get<QLabel>(name);
        const QFontMetrics metrics = label.fontMetrics();
        EXPECT_LE(metrics.horizontalAdvance(label.text()), label.width()) << name;
        EXPECT_LE(metrics.height(), label.height()) << name;
    }
    const auto& description = form.Get<QLabel>("Label4");
    EXPECT_LE(description.heightForWidth(description.width()), description.height());
    const auto& close = form.Get<QPushButton>("Command1");
    EXPECT_LE(close.sizeHint().width(), close.width());
}

TEST(Form3, CloseButtonHasTheFocusAndEscUnloads) {
    RecordingServices services;
    Form3 form(services);
    form.Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_EQ(form.focusWidget(), &form.Get<QPushButton>("Command1"));
    QTest::keyClick(form.focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(form.IsLoaded());
}

// A shown About window, with the shell's calls recorded and the mouse driven through the window
// system, so that the press on the link captures the mouse as a real press does.
class LinkOnScreen : public ::testing::Test {
  protected:
    void SetUp() override {
        form.Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        // Qt drops a move to where the pointer already is; start from a known bare spot.
        Move(BareForm());
    }
    void TearDown() override { runtime::Unload(form); }

    // Window coordinates of a point given in a control's own coordinates (its centre by default).
    QPoint At(const char* control, QPoint inControl = {-1, -1}) const {
        const auto& widget = form.Get<QWidget>(control);
        if (inControl == QPoint(-1, -1)) inControl = widget.rect().center();
        return widget.mapTo(&form, inControl);
    }
    QPoint BareFrame1() const { return At("Frame1", {200, 50}); }
    static QPoint BareForm() { return {2, 100}; }

    void Move(QPoint to) { QTest::mouseMove(form.windowHandle(), to); }
    void Press(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mousePress(form.windowHandle(), button, {}, at);
    }
    void Release(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseRelease(form.windowHandle(), button, {}, at);
    }
    runtime::Color LinkColor() const { return ForeColor(form.Get<QLabel>("Label2")); }

    RecordingServices services;  // the desktop takes no call: the window must not care
    Form3 form{services};
    const std::vector<runtime::ShellExecuteCall>& calls = services.shellCalls;
};

TEST_F(LinkOnScreen, TurnsOrangeUnderThePointerAndBlueOverTheRestOfTheWindow) {
    const QPoint blueAreas[] = {BareFrame1(), At("Frame2", {320, 30}), At("Label3"), At("Label4"),
                                BareForm()};
    for (const QPoint& area : blueAreas) {
        Move(At("Label2"));
        EXPECT_EQ(LinkColor(), kLinkHover);
        Move(area);
        EXPECT_EQ(LinkColor(), kLinkNormal) << "at " << area.x() << "," << area.y();
    }
    EXPECT_TRUE(calls.empty()) << "moving the pointer opened the link";
}

TEST_F(LinkOnScreen, LeavingOntoLabel1OrTheButtonKeepsItOrange) {
    Move(At("Label2"));
    Move(At("Label1"));
    EXPECT_EQ(LinkColor(), kLinkHover);
    Move(At("Command1"));
    EXPECT_EQ(LinkColor(), kLinkHover);
    Move(BareFrame1());
    EXPECT_EQ(LinkColor(), kLinkNormal);
}

TEST_F(LinkOnScreen, PressGreysUntilTheDragAndAReleaseOffTheLabelStillOpens) {
    Move(At("Label2"));
    Press(At("Label2"));
    EXPECT_EQ(LinkColor(), kLinkPressed);
    EXPECT_TRUE(calls.empty()) << "the press alone opened the link";

    Move(BareFrame1());  // still the link's move: it holds the mouse
    EXPECT_EQ(LinkColor(), kLinkHover);
    Release(BareFrame1());
    EXPECT_EQ(LinkColor(), kLinkHover) << "the release must not change the colour";
    ASSERT_EQ(calls.size(), 1u);
    const runtime::ShellExecuteCall& call = calls.front();
    EXPECT_EQ(call.owner, 0);
    EXPECT_EQ(call.operation, "open");
    EXPECT_EQ(call.file, forms::kLinkTarget);
    EXPECT_NE(call.file, forms::kLinkCaption);
    EXPECT_EQ(call.parameters, "");
    EXPECT_EQ(call.directory, "");
    EXPECT_EQ(call.showCommand, runtime::SW_SHOWMAXIMIZED);
    EXPECT_TRUE(form.IsLoaded()) << "a failed shell call must leave the window open";

    Move(BareFrame1() + QPoint(0, 2));  // the capture ended with the release
    EXPECT_EQ(LinkColor(), kLinkNormal);
}

TEST_F(LinkOnScreen, AnyButtonGreysItAndAReleaseInPlaceOpensLeavingItGrey) {
    for (const Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        Move(BareForm());
        Press(At("Label2"), button);
        EXPECT_EQ(LinkColor(), kLinkPressed);
        Release(At("Label2"), button);
        EXPECT_EQ(LinkColor(), kLinkPressed);
    }
    EXPECT_EQ(calls.size(), 3u);
}

TEST_F(LinkOnScreen, ADoubleClickOpensTheLinkTwice) {
    QTest::mouseDClick(form.windowHandle(), Qt::LeftButton, {}, At("Label2"));
    EXPECT_EQ(calls.size(), 2u);
}

TEST(Form3, EveryShowingStartsWithABlueLink) {
    for (int showing = 0; showing < 2; ++showing) {
        RecordingServices services;
        Form3 form(services);
        QTimer::singleShot(0, [&] {
            auto& link = form.Get<QLabel>("Label2");
            EXPECT_EQ(ForeColor(link), kLinkNormal) << "showing " << showing;
            // A point of its own each time: Qt drops a move to where the pointer already is.
            const QPoint onLink = link.rect().topLeft() + QPoint(showing, 0);
            QTest::mouseMove(form.windowHandle(), link.mapTo(&form, onLink));
            EXPECT_EQ(ForeColor(link), kLinkHover);
            runtime::Unload(form);
        });
        runtime::ShowModal(form);
    }
}

}  // namespace
