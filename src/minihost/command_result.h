// Reading what a command left in the out-data record, for the host's error reports.
#pragma once

#include <cstring>
#include <string>

#include "sdk/ae_effect.h"

namespace minihost {

// The return_msg field up to its terminator, or all of it when the effect left none.
inline std::string ReturnMessage(const PF_OutData& out) {
  return std::string(out.return_msg, strnlen(out.return_msg, sizeof(out.return_msg)));
}

// ": message" when the effect asked the host to show its message, else nothing: the tail of a failure
// report.
inline std::string ShownMessage(const PF_OutData& out) {
  return (out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) != 0 ? ": " + ReturnMessage(out) : "";
}

}  // namespace minihost
