#include "runtime/error_report.h"

#include <QMessageBox>
#include <cstdlib>
#include <new>

#include "core/run_time_error.h"
#include "runtime/services.h"

namespace runtime {
namespace {

// Numbers the form runtime gives the errors that are not its own run-time errors.
constexpr int kOutOfMemory = 7;
constexpr int kInternalError = 51;

bool programEnding = false;
ErrorReportHandler reportHandler;
ProgramEndHandler endHandler;

std::pair<int, QString> Describe(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const core::RunTimeError& runTimeError) {
        return {runTimeError.number(), QString::fromStdString(runTimeError.description())};
    } catch (const std::bad_alloc&) {
        return {kOutOfMemory, QStringLiteral("Недостаточно памяти")};
    } catch (const std::exception& other) {
        return {kInternalError, QString::fromStdString(other.what())};
    } catch (...) {
        return {kInternalError, QStringLiteral("Внутренняя ошибка")};
    }
}

void ShowReport(int number, const QString& description) {
    if (reportHandler) {
        reportHandler(number, description);
        return;
    }
    QMessageBox::critical(nullptr, kProgramTitle, ErrorReportText(number, description));
}

}  // namespace

bool ProgramEnding() noexcept {
    return programEnding;
}

void ReportUnhandledError(std::exception_ptr error) noexcept {
    if (programEnding) return;
    programEnding = true;
    try {
        const auto [number, description] = Describe(error);
        ShowReport(number, description);
    } catch (...) {
        // The report itself failed; ending the program is all that is left.
    }
    if (endHandler) {
        endHandler();
        return;
    }
    std::_Exit(EXIT_FAILURE);
}

QString ErrorReportText(int number, const QString& description) {
    return QStringLiteral("Ошибка выполнения '%1':\n\n%2").arg(number).arg(description);
}

void SetErrorReportHandler(ErrorReportHandler handler) {
    reportHandler = std::move(handler);
}
void SetProgramEndHandler(ProgramEndHandler handler) {
    endHandler = std::move(handler);
}
void ResetProgramEnding() {
    programEnding = false;
}

}  // namespace runtime
