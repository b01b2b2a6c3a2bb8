// What the swatch exchange parser reports, one operation per group boundary and per colour entry.
#pragma once

#include <string>

#include "palette/color.h"

namespace ase {

// Names are the file's UTF-16 code units in host order, exactly as many as the file declares; a
// terminating zero unit, where the writer stored one, stays part of the name.
class ColorCallback {
 public:
  virtual void GroupBegin(const std::u16string& name) = 0;
  virtual void GroupEnd() = 0;
  virtual void GrayColor(const std::u16string& name, float gray) = 0;
  virtual void RGBColor(const std::u16string& name, const Color3& rgb) = 0;
  virtual void LABColor(const std::u16string& name, const float& l, const float& a, const float& b) = 0;
  virtual void CMYKColor(const std::u16string& name, const float& cyan, const float& magenta,
                         const float& yellow, const float& black) = 0;

 protected:
  // Receivers are owned by whoever starts the parse and never deleted through this interface.
  ~ColorCallback() = default;
};

}  // namespace ase
