// SPDX-License-Identifier: MIT
// Form3, «О программе», the About window. Label1 the author, Label3 the version, Label4 what the
// program does, Label2 the web link; Command1 «Закрыть».
#pragma once

#include "runtime/color.h"
#include "runtime/form.h"

namespace forms {

// The About window: author, version, a line on what the program does, and a web link whose
// colour follows the pointer and whose release opens the author's site in the browser.
class Form3 : public runtime::Form {
  public:
    explicit Form3(runtime::Services& services);

  private:
    void SetLinkColor(runtime::Color color);
    void Label2_MouseUp();
};

}  // namespace forms
