// Any byte string as an effect's registration resource, as a Windows host reads it before loading the
// effect: no crash, no hang, no sanitizer report; a bad resource may only be refused with HostError.
#include <cstddef>
#include <cstdint>

#include "minihost/host_error.h"
#include "minihost/pipl_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const std::vector<minihost::PiPLProperty> properties = minihost::ParsePiPL(data, size);
    minihost::EffectEntryName(properties);
  } catch (const minihost::HostError&) {
  }
  return 0;
}
