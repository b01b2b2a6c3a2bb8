// Renders a fixed set of frames through the effect library, loaded as a host loads it, and writes each
// as a binary PPM file, with a list of the frames and a hash of all their bytes (alpha included) in
// frames.txt. Built for Linux and for Windows from this one source, the two runs must leave identical
// files: the plug-in renders the same bits under either loader, runtime library and thread count.
//
//   render_frames EFFECT_LIBRARY SWATCH_FILE OUTPUT_DIR
//
// The frames: every pattern, at 8 and 16 bits per channel, with two generated palettes ("9-bit RGB",
// "1-bit Gray"), a colour table ("PICO-8") and a custom palette read from SWATCH_FILE, on a synthetic
// picture whose top row holds colours that sit on rounding and nearest-colour boundaries.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ase/load_swatch_colors.h"
#include "minihost/instance.h"
#include "minihost/saved_state.h"
#include "support/seeded_generator.h"

namespace {

constexpr A_long kWidth = 53;
constexpr A_long kHeight = 37;

// 8-bit colours whose result turns on the last bit of a sum or a rounding: with "1-bit Gray" the first
// three give black, white and black only when the luma is added in the effect's order and rounded half
// away from zero exactly (the first has luma 0.49999997); the others are nearest-colour ties and near
// ties of the colour tables.
constexpr int kBoundaryColors[][3] = {{1, 179, 196},  {2, 201, 75},   {0, 201, 81},
                                      {204, 14, 182}, {217, 113, 38}, {221, 221, 103}};

// The boundary colours along the top row; below, gradients in three directions with noise on top, so
// that every pattern has edges and flat areas to work on; a band of half and zero alpha on the right.
minihost::World Picture(minihost::Depth depth) {
  minihost::World world(kWidth, kHeight, depth);
  palettrix_test::SeededGenerator noise(0x5EED);
  for (A_long y = 0; y < kHeight; ++y) {
    for (A_long x = 0; x < kWidth; ++x) {
      // Channels on a 0..32768 scale; the 8-bit picture takes them rounded to 0..255.
      const int n = static_cast<int>(noise.below(2049)) - 1024;
      int r = std::clamp(x * 32768 / (kWidth - 1) + n, 0, 32768);
      int g = std::clamp(y * 32768 / (kHeight - 1) - n / 2, 0, 32768);
      int b = std::clamp((x + kHeight - 1 - y) * 32768 / (kWidth + kHeight - 2) + n / 4, 0, 32768);
      const int a = x >= kWidth - 4 ? (y % 2 == 0 ? 0 : 16384) : 32768;
      if (y == 0) {
        // Exactly the 8-bit values after the conversion below.
        const int* c = kBoundaryColors[static_cast<std::size_t>(x) % std::size(kBoundaryColors)];
        auto deep = [](int v) { return (v * 32768 + 127) / 255; };
        r = deep(c[0]);
        g = deep(c[1]);
        b = deep(c[2]);
      }
      if (depth == minihost::Depth::Sixteen) {
        world.pixel16(x, y) = {static_cast<A_u_short>(a), static_cast<A_u_short>(r),
                               static_cast<A_u_short>(g), static_cast<A_u_short>(b)};
      } else {
        auto eight = [](int v) { return static_cast<A_u_char>((v * 255 + 16384) / 32768); };
        world.pixel8(x, y) = {eight(a), eight(r), eight(g), eight(b)};
      }
    }
  }
  return world;
}

// The custom palette's stored form: per colour red, green and blue as little-endian 32-bit floats.
std::vector<uint8_t> FlatColors(const ColorList& colors) {
  std::vector<uint8_t> bytes;
  for (const Color3& color : colors) {
    for (float channel : {color.r, color.g, color.b}) {
      const uint32_t bits = std::bit_cast<uint32_t>(channel);
      for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(bits >> (8 * i)));
    }
  }
  return bytes;
}

uint64_t Fnv1a(const std::vector<unsigned char>& bytes) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char byte : bytes) hash = (hash ^ byte) * 0x100000001b3ull;
  return hash;
}

// P6 with maxval 255, or with maxval 32768 (two bytes a sample, most significant first) for deep worlds,
// so that the host's 16-bit scale is kept as it is.
void WritePpm(const std::filesystem::path& path, const minihost::World& world) {
  const bool deep = world.depth() == minihost::Depth::Sixteen;
  std::string data = "P6\n" + std::to_string(world.width()) + " " + std::to_string(world.height()) + "\n" +
                     (deep ? "32768" : "255") + "\n";
  for (A_long y = 0; y < world.height(); ++y) {
    for (A_long x = 0; x < world.width(); ++x) {
      if (deep) {
        const PF_Pixel16& p = world.pixel16(x, y);
        for (A_u_short v : {p.red, p.green, p.blue}) {
          data += static_cast<char>(v >> 8);
          data += static_cast<char>(v & 0xFF);
        }
      } else {
        const PF_Pixel8& p = world.pixel8(x, y);
        for (A_u_char v : {p.red, p.green, p.blue}) data += static_cast<char>(v);
      }
    }
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::size_t Control(const minihost::ParamSet& params, const char* name) {
  const std::optional<std::size_t> index = params.find(name, PF_Param_POPUP);
  if (!index) throw std::runtime_error(std::string("the effect has no popup \"") + name + "\"");
  return *index;
}

int Run(const std::filesystem::path& library, const std::string& swatchFile,
        const std::filesystem::path& dir) {
  const ColorList custom = LoadSwatchColors(swatchFile);
  if (custom.empty()) throw std::runtime_error("no colours in " + swatchFile);
  std::filesystem::create_directories(dir);

  minihost::Host host;
  minihost::Effect effect(host, library);
  struct Palette {
    const char* tag;
    const char* swatch;
  };
  const Palette palettes[] = {
      {"rgb9", "9-bit RGB"}, {"gray1", "1-bit Gray"}, {"table", "PICO-8"}, {"custom", "Custom"}};
  std::ofstream list(dir / "frames.txt", std::ios::binary | std::ios::trunc);
  int frames = 0;
  for (const Palette& palette : palettes) {
    // The custom palette reaches the instance as a saved project would bring it.
    minihost::Instance instance(effect);
    instance =
        minihost::Instance::load(effect, minihost::EncodeSavedState(instance.params(), FlatColors(custom)));
    const std::size_t patternIndex = Control(instance.params(), "Pattern");
    const std::size_t swatchIndex = Control(instance.params(), "Swatch");
    instance.params().setPopup(swatchIndex, std::string(palette.swatch));
    const std::vector<std::string> patterns = instance.params().popupChoices(patternIndex);
    for (minihost::Depth depth : {minihost::Depth::Eight, minihost::Depth::Sixteen}) {
      minihost::World input = Picture(depth);
      for (std::size_t p = 0; p < patterns.size(); ++p) {
        instance.params().setPopup(patternIndex, static_cast<A_long>(p + 1));
        minihost::World output(kWidth, kHeight, depth);
        const PF_Err err = instance.render(input, output);
        char name[64];
        std::snprintf(name, sizeof name, "%s-%02d-%02d.ppm", palette.tag, static_cast<int>(depth),
                      static_cast<int>(p + 1));
        if (err != PF_Err_NONE)
          throw std::runtime_error(std::string(name) + ": error " + std::to_string(err));
        WritePpm(dir / name, output);
        char line[160];
        std::snprintf(line, sizeof line, "%s %016llx %s\n", name,
                      static_cast<unsigned long long>(Fnv1a(output.packedBytes())), patterns[p].c_str());
        list << line;
        ++frames;
      }
    }
  }
  list.close();
  if (!list) throw std::runtime_error("cannot write frames.txt");
  if (!host.problems().empty()) throw std::runtime_error("the host saw a problem: " + host.problems()[0]);
  std::printf("%d frames written to %s\n", frames, dir.string().c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: render_frames EFFECT_LIBRARY SWATCH_FILE OUTPUT_DIR\n");
    return 2;
  }
  try {
    return Run(argv[1], argv[2], argv[3]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "render_frames: %s\n", e.what());
    return 1;
  }
}
