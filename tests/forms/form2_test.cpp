// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <cstdlib>

#include "fake_backends.h"
#include "forms/form1.h"
#include "forms/form2.h"
#include "recording_services.h"

namespace {

using forms::Form2;
using testing_support::RecordingServices;

QPoint CentreInWindow(const QWidget& control) {
    return control.mapTo(control.window(), control.rect().center());
}

TEST(Form2, FixedDialogLaidOutInPixelsAroundTheWholeChart) {
    RecordingServices services;
    Form2 form(services);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Справка"));
    EXPECT_EQ(form.size(), QSize(437, 277));
    EXPECT_EQ(form.windowType(), Qt::Dialog);
    EXPECT_FALSE(form.windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));

    EXPECT_EQ(form.Get<QWidget>("Frame1").geometry(), QRect(4, 8, 429, 217));
    EXPECT_EQ(form.Get<QWidget>("Frame2").geometry(), QRect(4, 224, 429, 49));
    EXPECT_EQ(form.Get<QPushButton>("Command1").geometry(), QRect(232, 12, 189, 29));
    const auto& picture = form.Get<QLabel>("Picture1");
    EXPECT_EQ(picture.pixmap().deviceIndependentSize(), QSizeF(412, 144));
    EXPECT_EQ(picture.geometry(), QRect(8, 32, 412, 144));
}

TEST(Form2, FocusStartsOnThePictureTabReachesTheButtonEscUnloads) {
    RecordingServices services;
    Form2 form(services);
    form.Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    auto& picture = form.Get<QLabel>("Picture1");
    EXPECT_EQ(form.focusWidget(), &picture);
    QTest::keyClick(&form, Qt::Key_Tab);
    EXPECT_EQ(form.focusWidget(), &form.Get<QPushButton>("Command1"));
    QTest::keyClick(&form, Qt::Key_Tab);
    EXPECT_EQ(form.focusWidget(), &picture);
    QTest::keyClick(&picture, Qt::Key_Escape);
    EXPECT_FALSE(form.IsLoaded());
}

TEST(Form2, EachShowingIsCentredAndClosesWithItsButton) {
    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    QPoint firstPlace;
    for (int showing = 0; showing < 2; ++showing) {
        RecordingServices services;
        Form2 form(services);
        form.Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        // Centring places the whole window, title bar and border included.
        const QMargins frame = form.windowHandle()->frameMargins();
        const QPoint offset = form.geometry().center() - screenCentre;
        EXPECT_LE(std::abs(offset.x()), frame.left() + 1) << "showing " << showing;
        EXPECT_LE(std::abs(offset.y()), frame.top() + 1) << "showing " << showing;
        if (showing == 0) firstPlace = form.pos();
        EXPECT_EQ(form.pos(), firstPlace);

        QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {},
                          CentreInWindow(form.Get<QPushButton>("Command1")));
        EXPECT_FALSE(form.IsLoaded());
        EXPECT_FALSE(form.isVisible());
    }
}

Form2* OpenForm2() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* form = dynamic_cast<Form2*>(window); form && form->isVisible()) return form;
    return nullptr;
}

TEST(Form2, KeysKeepPlayingOnTheMainWindowBehindIt) {
    QTemporaryDir samples;  // empty: every sample is missing
    RecordingServices services;
    services.appPath = samples.path().toStdString();
    testing_support::LoopbackBackends backends;
    forms::Form1 form1(services, backends.Make());
    form1.Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form1));
    const auto missingFiles = services.messages.size();

    constexpr int kKeyOfNote1 = 2;  // the "1" key
    Form2* dialog = nullptr;
    bool dialogModal = false;
    bool note1Lit = false;
    bool note2Lit = true;
    QTimer::singleShot(0, [&] {
        dialog = OpenForm2();
        if (!dialog) return;
        dialogModal = QApplication::activeModalWidget() == dialog;
        // A click on the main window goes nowhere while the chart is open.
        QTest::mouseClick(form1.windowHandle(), Qt::LeftButton, {},
                          CentreInWindow(form1.Get<QRadioButton>("Option2")));
        backends.keyboard.Press(kKeyOfNote1);
        note1Lit = QTest::qWaitFor([&] { return form1.Image1(1).isVisible(); }, 2000);
        note2Lit = form1.Image1(2).isVisible();
        backends.keyboard.Release(kKeyOfNote1);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !form1.Image1(1).isVisible(); }, 2000));
        runtime::Unload(*dialog);
    });
    form1.Get<QPushButton>("Command2").click();  // returns once the chart is closed

    ASSERT_NE(dialog, nullptr) << "Command2 did not show Form2";
    EXPECT_TRUE(dialogModal);
    EXPECT_TRUE(note1Lit) << "Timer1 stopped playing keys behind the dialog";
    EXPECT_FALSE(note2Lit);
    EXPECT_FALSE(form1.Get<QRadioButton>("Option2").isChecked());
    EXPECT_EQ(services.messages.size(), missingFiles) << "a click reached the instrument choice";
    EXPECT_EQ(OpenForm2(), nullptr);
    runtime::Unload(form1);
}

}  // namespace
