// The error-diffusion work buffer: one Color3 per input pixel, row-major, every channel 0 at the start.
#pragma once

#include <cstddef>
#include <memory>

#include "palette/color.h"
#include "sdk/ae_types.h"

// width x height, counted in 64 bits so that no pair of world sizes overflows; a negative size counts as 0.
std::size_t WorkBufferEntries(A_long width, A_long height);

// A zeroed buffer of `entries` colours. Throws std::bad_alloc (or std::bad_array_new_length when the
// byte size is not addressable) and changes nothing when it cannot be had.
std::unique_ptr<Color3[]> NewWorkBuffer(std::size_t entries);
