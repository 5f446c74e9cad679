// SPDX-License-Identifier: MIT
#pragma once

#include <stdexcept>
#include <string>

namespace core {

// A run-time error as the form runtime reports it: a number and a description. Anything the
// program does not trap ends it with one error report (see runtime/error_report.h).
class RunTimeError : public std::runtime_error {
  public:
    RunTimeError(int number, const std::string& description)
        : std::runtime_error(description), number_(number) {}
    int number() const { return number_; }
    std::string description() const { return what(); }

  private:
    int number_;
};

namespace error {
constexpr int kOverflow = 6;
constexpr int kSubscriptOutOfRange = 9;
// A failure reported by the sound or input platform, numbered as an HRESULT would be.
constexpr int kPlatformFailure = static_cast<int>(0x80004005u);  // E_FAIL
constexpr int kCannotReadFile = static_cast<int>(0x88780064u);   // sound buffer could not be made
}  // namespace error

RunTimeError Overflow();
RunTimeError SubscriptOutOfRange();

// A file that could not be used, a sample or a song: where, and why. Its description is the
// message the user sees: "не удалось прочитать файл", the path and the reason, a line each.
class LoadError : public RunTimeError {
  public:
    LoadError(std::string path, std::string reason);
    const std::string& path() const { return path_; }
    const std::string& reason() const { return reason_; }

  private:
    std::string path_;
    std::string reason_;
};

}  // namespace core
