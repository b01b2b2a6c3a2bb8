// Collects every colour of a swatch file as RGB, in file order; groups and names are dropped.
#pragma once

#include "ase/color_callback.h"
#include "palette/color.h"

class ASEPopulateRGB final : public ase::ColorCallback {
 public:
  void GroupBegin(const std::u16string&) override {}
  void GroupEnd() override {}
  void GrayColor(const std::u16string& name, float gray) override;
  void RGBColor(const std::u16string& name, const Color3& rgb) override;
  void LABColor(const std::u16string& name, const float& l, const float& a, const float& b) override;
  void CMYKColor(const std::u16string& name, const float& cyan, const float& magenta, const float& yellow,
                 const float& black) override;

  ColorList colors;
};
