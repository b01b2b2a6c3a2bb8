// Float work rows for error diffusion, asked for in one piece before any pixel is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "palette/color.h"

// rows x columns colours, counted in 64 bits so that no pair of world sizes overflows; a negative count
// counts as 0. Throws std::bad_alloc (or std::bad_array_new_length when the byte size is not addressable)
// when it cannot be had; the contents are not set.
std::unique_ptr<Color3[]> NewWorkRows(std::int64_t rows, std::int64_t columns);
