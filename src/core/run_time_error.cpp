// SPDX-License-Identifier: MIT
#include "core/run_time_error.h"

namespace core {

RunTimeError Overflow() {
    return RunTimeError(error::kOverflow, "Переполнение");
}

RunTimeError SubscriptOutOfRange() {
    return RunTimeError(error::kSubscriptOutOfRange, "Индекс вне допустимого диапазона");
}

LoadError::LoadError(std::string path, std::string reason)
    : RunTimeError(error::kCannotReadFile, "не удалось прочитать файл\n" + path + "\n" + reason),
      path_(std::move(path)),
      reason_(std::move(reason)) {}

}  // namespace core
