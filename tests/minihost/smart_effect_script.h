// What the SmartFX stand-in effect does, chosen by its one popup control, and the per-pixel function it
// applies: the tests work the expected pixels out from the same rules.
#pragma once

#include "sdk/ae_effect.h"

namespace smart {

// The popup's choices, 1-based as popups are.
enum Mode : A_long {
  kCopy = 1,           // output = Shifted(input) over the request
  kPixelsTwice = 2,    // takes the input pixels of id 0 twice
  kOutputFirst = 3,    // takes the output before any input
  kUnknownId = 4,      // takes the pixels of an id the pre-render never checked out
  kEmptyCheckout = 5,  // also checks out id 1 with an empty request, and fails unless its pixels are null
  kParamLeftOut = 6,   // leaves its checkout of the popup open
  kBeyondRequest = 7,  // answers the layer's whole bounds whatever the request, without saying so
};
constexpr char kModeChoices[] =
    "Copy|Pixels twice|Output first|Unknown id|Empty checkout|Param left out|Beyond request";

// The output channel values at layer position (x, y) from the input's, for a channel maximum of `max`
// (255 or 32768): red moves by x and green by 2y, wrapping past the maximum; alpha and blue are kept.
constexpr A_long ShiftedRed(A_long red, A_long x, A_long max) { return (red + x) % (max + 1); }
constexpr A_long ShiftedGreen(A_long green, A_long y, A_long max) { return (green + 2 * y) % (max + 1); }
// Float channels do not wrap: red moves by x/8 and green by y/4, exact in single precision here.
constexpr float ShiftedRed(float red, A_long x) { return red + static_cast<float>(x) * 0.125f; }
constexpr float ShiftedGreen(float green, A_long y) { return green + static_cast<float>(y) * 0.25f; }

}  // namespace smart
