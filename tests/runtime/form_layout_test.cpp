// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <stdexcept>

#include "runtime/form.h"
#include "runtime/timer.h"
#include "wait.h"

namespace {

using runtime::ControlDesign;
using runtime::ControlKind;

constexpr runtime::FormDesign kDialog{"Справка", 6555, 4155, runtime::BorderStyle::FixedDialog};

// A captioned frame holding a picture box and three options, a plain frame holding two more
// options and a button; tab indexes deliberately out of creation order.
constexpr ControlDesign kControls[] = {
    {.name = "Timer1", .kind = ControlKind::Timer, .interval = 40},
    {.name = "Frame1",
     .kind = ControlKind::Frame,
     .place = {60, 120, 6435, 3255},
     .caption = "Порядок расположения нот на клавиатуре",
     .tabIndex = 0},
    {.name = "Picture1",
     .kind = ControlKind::PictureBox,
     .container = "Frame1",
     .place = {120, 480, 6180, 1200},
     .tabIndex = 1},
    {.name = "Image1",
     .index = 2,
     .kind = ControlKind::Image,
     .container = "Picture1",
     .place = {675, 780, 390, 330},
     .visible = false},
    {.name = "Option1",
     .kind = ControlKind::OptionButton,
     .container = "Frame1",
     .place = {60, 1800, 1875, 375},
     .caption = "Пианино",
     .tabIndex = 5,
     .selected = true},
    {.name = "Option2",
     .kind = ControlKind::OptionButton,
     .container = "Frame1",
     .place = {60, 2520, 1875, 375},
     .caption = "Орган",
     .tabIndex = 3},
    {.name = "Option3",
     .kind = ControlKind::OptionButton,
     .container = "Frame1",
     .place = {60, 2160, 1875, 375},
     .caption = "Гитара",
     .tabIndex = 2,
     .enabled = false},
    {.name = "Frame2", .kind = ControlKind::Frame, .place = {60, 3360, 6435, 735}, .tabIndex = 6},
    {.name = "Option4",
     .kind = ControlKind::OptionButton,
     .container = "Frame2",
     .place = {60, 180, 1500, 375},
     .caption = "А",
     .tabIndex = 9,
     .selected = true},
    {.name = "Option5",
     .kind = ControlKind::OptionButton,
     .container = "Frame2",
     .place = {1560, 180, 1500, 375},
     .caption = "Б",
     .tabIndex = 8},
    {.name = "Command1",
     .kind = ControlKind::CommandButton,
     .container = "Frame2",
     .place = {3480, 180, 2835, 435},
     .caption = "Закрыть",
     .tabIndex = 4,
     .isCancel = true},
};

TEST(FormFont, DesignedCaptionsFitTheirBoxes) {
    constexpr ControlDesign kLabels[] = {
        {.name = "Label1",
         .kind = ControlKind::Label,
         .place = {120, 180, 2655, 255},
         .caption = "Автор программы: Нотописцев"},
        {.name = "Label4",
         .kind = ControlKind::Label,
         .place = {120, 240, 4275, 495},
         .caption = "Программа для воспроизведения игры музыкальных инструментов при помощи "
                    "клавиатуры",
         .wordWrap = true},
    };
    runtime::Form form(runtime_test::DesktopServices(),
                       {"О программе", 5355, 2190, runtime::BorderStyle::FixedDialog}, kLabels);
    for (const char* name : {"Label1", "Label4"}) {
        const auto& label = form.Get<QLabel>(name);
        const QFontMetrics metrics(label.font());
        const QRect needed = metrics.boundingRect(
            label.contentsRect(), label.wordWrap() ? Qt::TextWordWrap : 0, label.text());
        EXPECT_LE(needed.width(), label.width()) << name;
        EXPECT_LE(needed.height(), label.height()) << name;
    }
}

class FormLayout : public ::testing::Test {
  protected:
    runtime::Form form{runtime_test::DesktopServices(), kDialog, kControls};
    QRadioButton& Option(const char* name) { return form.Get<QRadioButton>(name); }
};

TEST_F(FormLayout, PlacesControlsInPixelsInsideTheirContainersClientAreas) {
    EXPECT_EQ(form.size(), QSize(437, 277));
    EXPECT_EQ(form.Get<QGroupBox>("Frame1").geometry(), QRect(4, 8, 429, 217));
    // The frame's caption does not push its children down: Top counts from the frame's edge.
    auto& picture = form.Get<QLabel>("Picture1");
    EXPECT_EQ(picture.parentWidget(), &form.Get<QGroupBox>("Frame1"));
    EXPECT_EQ(picture.geometry(), QRect(8, 32, 412, 80));
    EXPECT_EQ(picture.mapTo(&form, QPoint(0, 0)), QPoint(12, 40));

    auto& image = form.Get<QLabel>("Image1", 2);
    EXPECT_EQ(image.parentWidget(), &picture);
    EXPECT_EQ(image.geometry(), QRect(45, 52, 26, 22));
    EXPECT_TRUE(image.isHidden());

    EXPECT_EQ(form.Get<runtime::Timer>("Timer1").Interval(), 40);
    EXPECT_FALSE(form.Get<QRadioButton>("Option3").isEnabled());
}

TEST_F(FormLayout, LookupOfAMissingControlOrTheWrongKindIsAnError) {
    EXPECT_THROW(form.Get<QLabel>("Image1"), std::logic_error);  // an array needs its index
    EXPECT_THROW(form.Get<QLabel>("Command1"), std::logic_error);
    EXPECT_THROW(form.Get<QLabel>("Label9"), std::logic_error);
}

TEST_F(FormLayout, OptionButtonsAreExclusiveWithinTheirFrameOnly) {
    form.Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_TRUE(Option("Option1").isChecked());
    EXPECT_TRUE(Option("Option4").isChecked());

    QTest::mouseClick(&Option("Option2"), Qt::LeftButton);
    EXPECT_TRUE(Option("Option2").isChecked());
    EXPECT_FALSE(Option("Option1").isChecked());
    EXPECT_TRUE(Option("Option4").isChecked()) << "the other frame's choice must stay";

    QTest::mouseClick(&Option("Option3"), Qt::LeftButton);  // disabled: cannot be chosen
    EXPECT_FALSE(Option("Option3").isChecked());
    EXPECT_TRUE(Option("Option2").isChecked());

    QTest::mouseClick(&Option("Option5"), Qt::LeftButton);
    EXPECT_TRUE(Option("Option5").isChecked());
    EXPECT_FALSE(Option("Option4").isChecked());
    EXPECT_TRUE(Option("Option2").isChecked());
}

TEST_F(FormLayout, FocusStartsOnTheFirstTabStopAndTabFollowsTabIndexes) {
    form.Show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));

    // Frame1 (0) takes no focus, Option3 (2) is disabled, and Tab enters a group of options
    // at its chosen one: Option2 (3) and Option5 (8) are passed over.
    std::vector<QWidget*> visited{QApplication::focusWidget()};
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget());
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    visited.push_back(QApplication::focusWidget());

    auto* picture = &form.Get<QWidget>("Picture1");
    auto* command = &form.Get<QWidget>("Command1");
    auto* option1 = &form.Get<QWidget>("Option1");
    auto* option4 = &form.Get<QWidget>("Option4");
    const std::vector<QWidget*> expected{picture, command, option1, option4, picture, option4};
    EXPECT_EQ(visited, expected);

    QTest::mouseClick(&Option("Option5"), Qt::LeftButton);  // now Tab stops at Option5
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), picture);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), &form.Get<QWidget>("Option5"));
}

TEST_F(FormLayout, EscapeClicksTheCancelButtonWhereverTheFocusIs) {
    int clicks = 0;
    form.OnClick(form.Get<QPushButton>("Command1"), [&] { ++clicks; });
    form.Show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    ASSERT_EQ(QApplication::focusWidget(), &form.Get<QWidget>("Picture1"));

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(clicks, 1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);  // no default button here
    EXPECT_EQ(clicks, 1);
}

}  // namespace
