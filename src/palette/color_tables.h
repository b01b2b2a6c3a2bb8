// The fixed colour tables of the table palettes. Entry order matters: nearest-colour search gives the
// earliest of equally near entries. Every component is an exact k / 255.
#pragma once

#include <array>

#include "palette/color.h"

extern const std::array<Color3, 16> kPico8;
extern const std::array<Color3, 4> kGameboy;
extern const std::array<Color3, 14> kAppleII;
extern const std::array<Color3, 16> kCga;
extern const std::array<Color3, 4> kVga2Bit;
extern const std::array<Color3, 246> kVga8Bit;
extern const std::array<Color3, 16> kVic20;
extern const std::array<Color3, 27> kAmstradCpc;
extern const std::array<Color3, 15> kMsx;
extern const std::array<Color3, 15> kZxSpectrum;
extern const std::array<Color3, 16> kCommodore64;
extern const std::array<Color3, 16> kCommodore64Orrel;
extern const std::array<Color3, 55> kNes;
extern const std::array<Color3, 64> kFamiCubeIven;
