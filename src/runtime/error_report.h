// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <exception>
#include <utility>

namespace runtime {

// The number and description an error report gives an error: a run-time error's own, 7 for
// memory running out, 51 for anything else.
std::pair<int, QString> DescribeError(std::exception_ptr error);

// "Ошибка выполнения '9':\n\nИндекс вне допустимого диапазона"
QString ErrorReportText(int number, const QString& description);

}  // namespace runtime
