// Any byte string as an image file under each name the tool reads (the first byte picks the extension,
// the rest is the file): no crash, no hang, no sanitizer report, in our code or in the decoders behind it;
// a bad file may only be refused with CliError.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "cli/exit_status.h"
#include "cli/image_io.h"
#include "cli/terminal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static constexpr std::array<const char*, 12> kNames{"fuzz.png", "fuzz.jpg", "fuzz.tif", "fuzz.exr",
                                                      "fuzz.dpx", "fuzz.tga", "fuzz.bmp", "fuzz.webp",
                                                      "fuzz.hdr", "fuzz.ppm", "fuzz.gif", "fuzz"};
  if (size < 1) return 0;
  // Small enough that a declared size the file can hold never runs the fuzzer out of memory.
  SetPixelBudget(2048 * 2048);
  // The libraries' own messages stay on: a sanitizer report must reach the log.
  SetVerbose(true);
  try {
    DecodeImage(kNames[data[0] % kNames.size()], std::span(data + 1, size - 1), nullptr);
  } catch (const CliError&) {
  }
  return 0;
}
