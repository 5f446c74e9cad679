// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace dx {

// The main window's highlight pictures (the `Image1` control array), as the keyboard reader
// sees them: it only ever shows one.
class HighlightPictures {
  public:
    virtual ~HighlightPictures() = default;
    // Makes Image1(index) visible; an index outside the array raises subscript out of range.
    virtual void ShowImage1(int index) = 0;
};

}  // namespace dx
