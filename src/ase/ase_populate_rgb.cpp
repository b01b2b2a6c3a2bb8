#include "ase/ase_populate_rgb.h"

#include <algorithm>

#include "ase/lab_to_srgb.h"

namespace {

// Ink over the paper: black darkens every channel, and a sum past full coverage is simply black.
// Values outside 0..1 are kept as they come, like RGB and grey values.
float InkToLight(float ink, float black) { return 1.0f - std::min(1.0f, ink * (1.0f - black) + black); }

}  // namespace

void ASEPopulateRGB::GrayColor(const std::u16string&, float gray) { colors.emplace_back(gray, gray, gray); }

void ASEPopulateRGB::RGBColor(const std::u16string&, const Color3& rgb) { colors.push_back(rgb); }

void ASEPopulateRGB::LABColor(const std::u16string&, const float& l, const float& a, const float& b) {
  colors.push_back(LabToSrgb(l, a, b));
}

void ASEPopulateRGB::CMYKColor(const std::u16string&, const float& cyan, const float& magenta,
                               const float& yellow, const float& black) {
  colors.emplace_back(InkToLight(cyan, black), InkToLight(magenta, black), InkToLight(yellow, black));
}
