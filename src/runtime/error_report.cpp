// SPDX-License-Identifier: MIT
#include "runtime/error_report.h"

#include <new>

#include "core/run_time_error.h"

namespace runtime {
namespace {

// Numbers the form runtime gives the errors that are not its own run-time errors.
constexpr int kOutOfMemory = 7;
constexpr int kInternalError = 51;

}  // namespace

std::pair<int, QString> DescribeError(std::exception_ptr error) {
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

QString ErrorReportText(int number, const QString& description) {
    return QStringLiteral("Ошибка выполнения '%1':\n\n%2").arg(number).arg(description);
}

}  // namespace runtime
