#include "palette/palette_table.h"

#include <cstdint>

#include "palette/byte_channel.h"
#include "palette/color_tables.h"
#include "palette/custom_palette.h"
#include "palette/grey_ramp.h"
#include "palette/rgb_cube.h"

namespace {

template <const auto& kColors>
Color3& QuantizeTable(Color3& out, const Color3& in, const RenderSettings& /*settings*/) {
  return NearestColor(out, in, kColors.data(), kColors.size());
}

// A palette's spread in 1/255 per channel. For the table palettes it is the largest gap between
// neighbouring sorted channel values of the table (ColorListSpread), for "VIC-20" without its two
// trailing blacks; for the generated ones it is near the level step but not always equal to it.
template <std::uint32_t R, std::uint32_t G, std::uint32_t B>
Color3& ConstantSpread(Color3& out, const RenderSettings& /*settings*/) {
  out = Color3(ChannelFromByte(R), ChannelFromByte(G), ChannelFromByte(B));
  return out;
}

}  // namespace

constinit const std::array<PaletteEntry, kPaletteCount> PaletteTable = {{
    {&QuantizeCustom, &SpreadCustom},                                  // "Custom"
    {&QuantizeGreyRamp<1>, &ConstantSpread<255, 255, 255>},            // "1-bit Gray"
    {&QuantizeGreyRamp<4>, &ConstantSpread<63, 63, 63>},               // "2-bit Gray"
    {&QuantizeGreyRamp<16>, &ConstantSpread<15, 15, 15>},              // "4-bit Gray"
    {&QuantizeRgbCube<1>, &ConstantSpread<255, 255, 255>},             // "3-bit RGB"
    {&QuantizeRgbCube<3>, &ConstantSpread<85, 85, 85>},                // "6-bit RGB"
    {&QuantizeRgbCube<7>, &ConstantSpread<32, 32, 32>},                // "9-bit RGB"
    {&QuantizeTable<kPico8>, &ConstantSpread<61, 39, 73>},             // "PICO-8"
    {&QuantizeTable<kGameboy>, &ConstantSpread<91, 74, 33>},           // "Gameboy"
    {&QuantizeTable<kAppleII>, &ConstantSpread<50, 53, 63>},           // "AppleII"
    {&QuantizeTable<kCga>, &ConstantSpread<85, 85, 85>},               // "CGA"
    {&QuantizeTable<kVga2Bit>, &ConstantSpread<170, 170, 170>},        // "VGA 2-bit"
    {&QuantizeTable<kVga8Bit>, &ConstantSpread<20, 20, 20>},           // "VGA 8-bit"
    {&QuantizeTable<kVic20>, &ConstantSpread<29, 46, 41>},             // "VIC-20"
    {&QuantizeTable<kAmstradCpc>, &ConstantSpread<128, 128, 128>},     // "Amstrad CPC"
    {&QuantizeTable<kMsx>, &ConstantSpread<58, 85, 65>},               // "MSX"
    {&QuantizeTable<kZxSpectrum>, &ConstantSpread<170, 170, 170>},     // "ZX Spectrum"
    {&QuantizeTable<kCommodore64>, &ConstantSpread<82, 66, 57>},       // "Commodore 64"
    {&QuantizeTable<kCommodore64Orrel>, &ConstantSpread<71, 45, 74>},  // "Commodore 64 - Orrel"
    {&QuantizeTable<kNes>, &ConstantSpread<60, 24, 36>},               // "NES"
    {&QuantizeTable<kFamiCubeIven>, &ConstantSpread<15, 21, 19>},      // "FamiCube - Iven"
    {&QuantizeRgbCube<5>, &ConstantSpread<51, 51, 51>},                // "Web Safe"
}};
