// Any byte string through the swatch reader: no crash, no hang, no sanitizer report.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "ase/ase_populate_rgb.h"
#include "ase/load.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  ASEPopulateRGB collector;
  ase::LoadFromStream(collector, in);
  return 0;
}
