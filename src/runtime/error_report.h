#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <utility>

namespace runtime {

// Every event handler, timer tick, load and unload handler runs through Guard: an error that
// escapes the handler never reaches Qt's event loop. It is shown in one error report and then
// the program ends at once. Once an error has been reported no guarded handler runs again, not
// even from the report's own modal loop.
void ReportUnhandledError(std::exception_ptr error) noexcept;
bool ProgramEnding() noexcept;

template <class Handler>
void Guard(Handler&& handler) noexcept {
    if (ProgramEnding()) return;
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        ReportUnhandledError(std::current_exception());
    }
}

// "Ошибка выполнения '9':\n\nИндекс вне допустимого диапазона"
QString ErrorReportText(int number, const QString& description);

// Test hooks. An empty function restores the default: a critical message box, then
// std::_Exit(1). ResetProgramEnding lets guarded handlers run again after a reported error.
using ErrorReportHandler = std::function<void(int number, const QString& description)>;
using ProgramEndHandler = std::function<void()>;
void SetErrorReportHandler(ErrorReportHandler handler);
void SetProgramEndHandler(ProgramEndHandler handler);
void ResetProgramEnding();

}  // namespace runtime
