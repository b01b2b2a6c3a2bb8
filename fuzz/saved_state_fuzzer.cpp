// Any byte string as an instance's saved state: minihost's reader, then, for what it accepts, the effect's
// re-setup from the stored sequence data (the custom palette's flat bytes) through its entry point, as a
// host opening a damaged project does, and a small frame rendered with the result. No crash, no hang, no
// sanitizer report; a bad state may only be refused with HostError.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "driver/effect_driver.h"
#include "minihost/host_error.h"
#include "minihost/saved_state.h"
#include "minihost/world.h"

namespace {

// As the command finds it: $PALETTRIX_EFFECT when set, else Palettrix.so beside the fuzzer.
std::filesystem::path EffectPath() {
  if (const char* path = std::getenv("PALETTRIX_EFFECT"); path != nullptr && *path != '\0') return path;
  return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "Palettrix.so";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Loaded once; each accepted state replaces the instance, so a frame renders with this input's state.
  static driver::EffectDriver effect(EffectPath());
  const std::vector<uint8_t> bytes(data, data + size);
  try {
    minihost::DecodeSavedState(bytes);
    effect.load(bytes);
    minihost::World input(8, 4, minihost::Depth::Eight), output(8, 4, minihost::Depth::Eight);
    effect.render(input, output);
  } catch (const minihost::HostError&) {
  }
  return 0;
}
