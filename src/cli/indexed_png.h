// PNG files of frames that hold few colours, stored with a palette: the frames the effect renders hold only
// palette colours, so most fit in 256 palette entries exactly, in a third of the bytes or less.
#pragma once

#include <cstdint>
#include <vector>

#include "minihost/world.h"

// Encodes an 8-bit world as an indexed PNG (colour type 3; with `alpha` a tRNS chunk, so alpha survives
// exactly, else every pixel taken as opaque) into `png`, with as few bits an index as the colours need (1, 2,
// 4 or 8). Every pixel reads back as it was. Returns false, leaving `png` empty, when the world holds more
// than 256 distinct colours (or colour and alpha pairs). Throws std::runtime_error when the encoder fails.
bool EncodeIndexedPng(const minihost::World& world, bool alpha, std::vector<unsigned char>& png);
