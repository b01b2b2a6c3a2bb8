// The colour types every palette operation and kernel works on.
#pragma once

#include <glm/vec3.hpp>
#include <vector>

// Red, green and blue as 32-bit floats, nominally 0 to 1.
using Color3 = glm::vec3;

// An ordered list of colours stored contiguously: the custom palette, and what a swatch file yields.
using ColorList = std::vector<Color3>;
