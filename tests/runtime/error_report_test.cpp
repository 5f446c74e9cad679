// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>
#include <stdexcept>

#include "core/run_time_error.h"
#include "recording_services.h"
#include "runtime/form.h"
#include "runtime/timer.h"
#include "wait.h"

namespace {

using runtime_test::WaitUntil;
using testing_support::RecordingServices;
using Report = std::pair<int, QString>;

TEST(ErrorReport, AnErrorEscapingAHandlerIsReportedOnceAndEndsTheProgram) {
    RecordingServices services;
    services.Guard([] { throw core::SubscriptOutOfRange(); });
    ASSERT_EQ(services.errors.size(), 1u);
    EXPECT_EQ(services.errors[0], (Report{9, "Индекс вне допустимого диапазона"}));
    EXPECT_EQ(services.ends, 1);

    // Nothing runs after the report, not even another error.
    bool ranLater = false;
    services.Guard([&] { ranLater = true; });
    services.Guard([] { throw core::Overflow(); });
    EXPECT_FALSE(ranLater);
    EXPECT_EQ(services.errors.size(), 1u);
    EXPECT_EQ(services.ends, 1);
}

TEST(ErrorReport, WorkLeftToFinishRunsAfterTheReportAndBeforeTheEnd) {
    RecordingServices services;
    std::vector<std::pair<std::size_t, int>> seen;  // reports and ends as each piece ran
    services.BeforeEnd([&] { seen.emplace_back(services.errors.size(), services.ends); });
    services.BeforeEnd([] { throw std::runtime_error("a piece of work that fails"); });
    services.BeforeEnd([&] { seen.emplace_back(services.errors.size(), services.ends); });
    services.Guard([] { throw core::Overflow(); });
    EXPECT_EQ(seen, (std::vector<std::pair<std::size_t, int>>{{1, 0}, {1, 0}}))
        << "each ran once, a failing one stopping no other";
    EXPECT_EQ(services.ends, 1);
}

TEST(ErrorReport, AnyOtherExceptionIsReportedToo) {
    RecordingServices services;
    services.Guard([] { throw std::out_of_range("vector::at"); });
    ASSERT_EQ(services.errors.size(), 1u);
    EXPECT_EQ(services.errors[0], (Report{51, "vector::at"}));
    EXPECT_EQ(services.ends, 1);
}

constexpr runtime::ControlDesign kControls[] = {
    {.name = "Timer1", .kind = runtime::ControlKind::Timer, .interval = 40},
    {.name = "Command1",
     .kind = runtime::ControlKind::CommandButton,
     .place = {150, 150, 1500, 600},
     .caption = "Кнопка"},
};
constexpr runtime::FormDesign kWindow{"Окно", 3000, 1500, runtime::BorderStyle::FixedSingle};

class FailingLoad : public runtime::Form {
  public:
    explicit FailingLoad(runtime::Services& services) : Form(services, kWindow, kControls) {}

  protected:
    void OnLoad() override { throw core::Overflow(); }
};

TEST(ErrorReport, ClicksTicksAndLoadHandlersRunGuarded) {
    RecordingServices clicked, ticked, loaded;
    runtime::Form form(clicked, kWindow, kControls);
    form.OnClick(form.Get<QPushButton>("Command1"), [] { throw core::Overflow(); });
    form.Get<QPushButton>("Command1").click();  // an escaping exception would fail the test
    EXPECT_EQ(clicked.errors, (std::vector<Report>{{6, "Переполнение"}}));

    runtime::Form ticking(ticked, kWindow, kControls);
    ticking.Get<runtime::Timer>("Timer1").OnTick([] { throw core::SubscriptOutOfRange(); });
    ticking.Show();
    EXPECT_TRUE(WaitUntil([&] { return ticked.errors.size() == 1; }));
    EXPECT_EQ(ticked.errors.back().first, 9);
    runtime::Unload(ticking);

    FailingLoad failing(loaded);
    failing.Show();
    EXPECT_EQ(loaded.errors.size(), 1u);
    EXPECT_EQ(loaded.ends, 1);
}

TEST(ErrorReportBox, ShowsTheNumberAndDescriptionThenEndsTheProgram) {
    QString title;
    QString text;
    bool endedWhileBoxOpen = false;
    int ends = 0;
    auto hooks = runtime::Services::Desktop();
    hooks.endProgram = [&] { ++ends; };
    runtime::Services services(hooks);
    runtime_test::CloseModalAfter(50, [&](QWidget& modal) {
        auto& box = dynamic_cast<QMessageBox&>(modal);
        title = box.windowTitle();
        text = box.text();
        endedWhileBoxOpen = ends > 0;
    });
    services.Guard([] { throw core::SubscriptOutOfRange(); });

    EXPECT_EQ(title, "Тонариум");
    EXPECT_EQ(text, "Ошибка выполнения '9':\n\nИндекс вне допустимого диапазона");
    EXPECT_FALSE(endedWhileBoxOpen);
    EXPECT_EQ(ends, 1);
}

}  // namespace
