// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "runtime/form.h"
#include "runtime/services.h"
#include "runtime/timer.h"
#include "wait.h"

namespace {

using runtime::ControlDesign;
using runtime::ControlKind;
using runtime_test::CloseModalAfter;
using runtime_test::WaitUntil;

constexpr ControlDesign kMainControls[] = {
    {.name = "Timer1", .kind = ControlKind::Timer, .interval = 40},
    {.name = "Command1",
     .kind = ControlKind::CommandButton,
     .place = {150, 150, 1500, 600},
     .caption = "Кнопка",
     .tabIndex = 0},
};
constexpr runtime::FormDesign kMain{"Главное", 3000, 1500, runtime::BorderStyle::FixedSingle};

constexpr ControlDesign kDialogControls[] = {
    {.name = "Timer1", .kind = ControlKind::Timer, .interval = 40},
};
constexpr runtime::FormDesign kDialog{"Диалог", 2000, 1000, runtime::BorderStyle::FixedDialog};

// A window that counts its ticks, clicks and unloads.
class CountingForm : public runtime::Form {
  public:
    CountingForm(const runtime::FormDesign& design, std::span<const ControlDesign> controls)
        : Form(runtime_test::DesktopServices(), design, controls) {
        Get<runtime::Timer>("Timer1").OnTick([this] { ++ticks; });
    }
    int ticks = 0;
    int unloads = 0;

  protected:
    void OnUnload() override { ++unloads; }
};

QPoint CentreInWindow(QWidget& control) {
    return control.mapTo(control.window(), control.rect().center());
}

TEST(Timer, TicksOnlyOnceLoadedAndStopsWhenUnloaded) {
    CountingForm form(kDialog, kDialogControls);
    QTest::qWait(150);
    EXPECT_EQ(form.ticks, 0);

    form.Show();
    EXPECT_TRUE(WaitUntil([&] { return form.ticks >= 2; }));

    runtime::Unload(form);
    const int ticksAtUnload = form.ticks;
    QTest::qWait(150);
    EXPECT_EQ(form.ticks, ticksAtUnload);
}

TEST(Timer, IsNotReenteredWhileItsHandlerShowsAMessageBox) {
    runtime::Form form(runtime_test::DesktopServices(), kDialog, kDialogControls);
    int ticks = 0;
    int depth = 0;
    int deepest = 0;
    int ticksWhileBoxOpen = -1;
    auto& timer = form.Get<runtime::Timer>("Timer1");
    timer.OnTick([&] {
        ++ticks;
        deepest = std::max(deepest, ++depth);
        if (ticks == 1) {
            timer.SetInterval(40);  // re-arming the timer must not open a way in either
            CloseModalAfter(300, [&](QWidget& box) {
                ticksWhileBoxOpen = ticks;
                EXPECT_NE(qobject_cast<QMessageBox*>(&box), nullptr);
            });
            runtime_test::DesktopServices().MsgBox(
                "файл не найден");  // about seven ticks come due meanwhile
        }
        --depth;
    });
    form.Show();

    EXPECT_TRUE(WaitUntil([&] { return ticks >= 3; }));
    EXPECT_EQ(ticksWhileBoxOpen, 1);
    EXPECT_EQ(deepest, 1);
    runtime::Unload(form);
}

TEST(ShowModal, ReturnsOnUnloadWhileOtherWindowsTickButTakeNoInput) {
    CountingForm main(kMain, kMainControls);
    int clicks = 0;
    main.OnClick(main.Get<QPushButton>("Command1"), [&] { ++clicks; });
    main.Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));

    CountingForm dialog(kDialog, kDialogControls);
    int mainTicksAtStart = -1;
    bool dialogWasModal = false;
    QTimer::singleShot(0, [&] {
        mainTicksAtStart = main.ticks;
        dialogWasModal = QApplication::activeModalWidget() == &dialog;
    });
    QTimer::singleShot(100, [&] {
        QTest::mouseClick(main.windowHandle(), Qt::LeftButton, {},
                          CentreInWindow(main.Get<QPushButton>("Command1")));
    });
    QTimer::singleShot(400, [&] { runtime::Unload(dialog); });
    runtime::ShowModal(dialog);

    EXPECT_TRUE(dialogWasModal);
    EXPECT_EQ(dialog.unloads, 1);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_GE(main.ticks - mainTicksAtStart, 4) << "the main window's timer must keep ticking";
    EXPECT_GE(dialog.ticks, 4);
    EXPECT_EQ(clicks, 0) << "the main window took a click while the dialog was open";

    QTest::mouseClick(main.windowHandle(), Qt::LeftButton, {},
                      CentreInWindow(main.Get<QPushButton>("Command1")));
    EXPECT_EQ(clicks, 1);
    runtime::Unload(main);
}

TEST(ShowModal, TheCloseBoxUnloadsOnceAndEachShowIsAFreshWindow) {
    for (int show = 0; show < 2; ++show) {
        CountingForm dialog(kDialog, kDialogControls);
        QTimer::singleShot(100, [&] { dialog.windowHandle()->close(); });
        runtime::ShowModal(dialog);
        EXPECT_EQ(dialog.unloads, 1);
        EXPECT_FALSE(dialog.IsLoaded());

        runtime::Unload(dialog);  // a second unload finds nothing to do
        EXPECT_EQ(dialog.unloads, 1);
    }
}

}  // namespace
