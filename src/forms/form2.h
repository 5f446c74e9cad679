// SPDX-License-Identifier: MIT
// Form2, «Справка», the note-order help. Frame1 with Picture1, the numbered keyboard chart;
// Frame2 with Command1 «Закрыть».
#pragma once

#include "runtime/form.h"

namespace forms {

// The note-order help: a drawing of the keyboard with every note key numbered, and a close
// button. It keeps nothing; each showing is a new window.
class Form2 : public runtime::Form {
  public:
    explicit Form2(runtime::Services& services);
};

}  // namespace forms
