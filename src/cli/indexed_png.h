// PNG files of frames that hold few colours, stored with a palette: the frames the effect renders hold only
// palette colours, so most fit in 256 palette entries exactly, in a third of the bytes or less.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Encodes `pixels` (width x height, 3 or 4 8-bit samples a pixel: red, green, blue and alpha) as an indexed
// PNG (colour type 3; a tRNS chunk when there are 4 samples, so alpha survives exactly) into `png`, with as
// few bits an index as the colours need (1, 2, 4 or 8). Every pixel reads back as it was. Returns false,
// leaving `png` empty, when the pixels hold more than 256 distinct colours (or colour and alpha pairs).
// Throws std::runtime_error when the encoder fails.
bool EncodeIndexedPng(std::span<const uint8_t> pixels, int width, int height, int channels,
                      std::vector<unsigned char>& png);
