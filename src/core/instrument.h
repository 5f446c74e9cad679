// SPDX-License-Identifier: MIT
#pragma once

namespace core {

// The instruments that can be chosen; the guitar is shown but cannot be.
enum class Instrument { kPiano, kOrgan };

}  // namespace core
