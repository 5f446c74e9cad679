#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>
#include <stdexcept>

#include "core/run_time_error.h"
#include "runtime/error_report.h"
#include "runtime/form.h"
#include "runtime/timer.h"
#include "wait.h"

namespace {

using runtime_test::WaitUntil;

struct Report {
    int number;
    QString description;
    bool operator==(const Report&) const = default;
};

class ErrorReport : public ::testing::Test {
  protected:
    void SetUp() override {
        runtime::SetErrorReportHandler([this](int number, const QString& description) {
            reports.push_back({number, description});
        });
        runtime::SetProgramEndHandler([this] { ++ends; });
    }
    void TearDown() override {
        runtime::SetErrorReportHandler({});
        runtime::SetProgramEndHandler({});
        runtime::ResetProgramEnding();
    }

    std::vector<Report> reports;
    int ends = 0;
};

TEST_F(ErrorReport, AnErrorEscapingAHandlerIsReportedOnceAndEndsTheProgram) {
    runtime::Guard([] { throw core::SubscriptOutOfRange(); });
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], (Report{9, "Индекс вне допустимого диапазона"}));
    EXPECT_EQ(ends, 1);

    // Nothing runs after the report, not even another error.
    bool ranLater = false;
    runtime::Guard([&] { ranLater = true; });
    runtime::Guard([] { throw core::Overflow(); });
    EXPECT_FALSE(ranLater);
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(ends, 1);
}

TEST_F(ErrorReport, AnyOtherExceptionIsReportedToo) {
    runtime::Guard([] { throw std::out_of_range("vector::at"); });
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], (Report{51, "vector::at"}));
    EXPECT_EQ(ends, 1);
}

constexpr runtime::ControlDesign kControls[] = {
    {.name = "Timer1", .kind = runtime::ControlKind::Timer, .interval = 40},
    {.name = "Command1",
     .kind = runtime::ControlKind::CommandButton,
     .place = {150, 150, 1500, 600},
     .caption = "Кнопка"},
};
constexpr runtime::FormDesign kSpec{"Окно", 3000, 1500, runtime::BorderStyle::FixedSingle};

class FailingLoad : public runtime::Form {
  public:
    FailingLoad() : Form(kSpec, kControls) {}

  protected:
    void OnLoad() override { throw core::Overflow(); }
};

TEST_F(ErrorReport, ClicksTicksAndLoadHandlersRunGuarded) {
    runtime::Form form(kSpec, kControls);
    form.OnClick(form.Get<QPushButton>("Command1"), [] { throw core::Overflow(); });
    form.Get<QPushButton>("Command1").click();  // an escaping exception would fail the test
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], (Report{6, "Переполнение"}));

    runtime::ResetProgramEnding();
    form.Get<runtime::Timer>("Timer1").OnTick([] { throw core::SubscriptOutOfRange(); });
    form.Show();
    EXPECT_TRUE(WaitUntil([&] { return reports.size() == 2; }));
    EXPECT_EQ(reports.back().number, 9);
    runtime::Unload(form);

    runtime::ResetProgramEnding();
    FailingLoad failing;
    failing.Show();
    EXPECT_EQ(reports.size(), 3u);
    EXPECT_EQ(ends, 3);
}

TEST(ErrorReportBox, ShowsTheNumberAndDescriptionThenEndsTheProgram) {
    QString title;
    QString text;
    bool endedWhileBoxOpen = false;
    int ends = 0;
    runtime::SetProgramEndHandler([&] { ++ends; });
    runtime_test::CloseModalAfter(50, [&](QWidget& modal) {
        auto& box = dynamic_cast<QMessageBox&>(modal);
        title = box.windowTitle();
        text = box.text();
        endedWhileBoxOpen = ends > 0;
    });
    runtime::Guard([] { throw core::SubscriptOutOfRange(); });
    runtime::SetProgramEndHandler({});
    runtime::ResetProgramEnding();

    EXPECT_EQ(title, "Тонариум");
    EXPECT_EQ(text, "Ошибка выполнения '9':\n\nИндекс вне допустимого диапазона");
    EXPECT_FALSE(endedWhileBoxOpen);
    EXPECT_EQ(ends, 1);
}

}  // namespace
