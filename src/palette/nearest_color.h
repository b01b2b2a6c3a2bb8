// The reference nearest-colour search: a plain scan of the list. Every faster search must give what this
// gives, bit for bit, ties and non-finite inputs included.
#pragma once

#include <cstddef>

#include "palette/color.h"

// The first colour at the least squared distance ((dr * dr + dg * dg) + db * db, in single precision) from
// `in`; `in` itself when no colour is taken (an empty list, or every distance NaN or infinite).
Color3& NearestColor(Color3& out, const Color3& in, const Color3* colors, std::size_t count);
