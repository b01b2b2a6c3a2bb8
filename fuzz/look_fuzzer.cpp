// Any byte string as a look file, applied to an instance of the real effect: no crash, no hang, no
// sanitizer report; a bad look may only be refused with CliError.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cli/exit_status.h"
#include "cli/look_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Loading the effect once: every input starts from a fresh instance's controls all the same, since a
  // look only sets values.
  static EffectSession session;
  try {
    ApplyLookJson(session, std::string(reinterpret_cast<const char*>(data), size), "fuzz.json");
  } catch (const CliError&) {
  }
  return 0;
}
