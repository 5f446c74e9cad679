// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace core {

// Truth values at the module boundary are 16 bits wide: -1 is true, 0 is false.
using Truth = std::int16_t;
constexpr Truth kTrue = -1;
constexpr Truth kFalse = 0;

// A native window handle as the services receive it.
using WindowHandle = std::int32_t;

}  // namespace core
