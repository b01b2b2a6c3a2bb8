// The registration resource (PiPL) the host reads to find and describe the effect, as the little-endian
// bytes of a Windows "PiPL" resource.
#pragma once

#include <cstdint>
#include <vector>

std::vector<uint8_t> BuildPiPL();
