// What the host keeps of an instance when a project is saved: its control values and the flat bytes of
// its sequence data, as one byte string that can be stored anywhere and read back on any platform.
//
// Layout, version 1. Integers are little-endian two's complement, floats little-endian IEEE-754.
//
//   offset  size  content
//   0       4     magic "PLXS"
//   4       4     u32 version, 1
//   8       4     u32 n, the number of parameter records; one per registered parameter, layer included
//   12            n records, the record at position i being that of parameter i:
//                   u32 parameter index (= i)
//                   i32 parameter type (PF_Param_*)
//                   the value, by type:
//                     PF_Param_POPUP         i32  the 1-based choice
//                     PF_Param_FLOAT_SLIDER  f64  the value
//                     PF_Param_FIX_SLIDER    i32  the 16.16 fixed-point value
//                     PF_Param_LAYER, PF_Param_GROUP_START, PF_Param_GROUP_END, PF_Param_BUTTON: nothing
//   then    8     u64 m, the length of the flat sequence data
//           m     the flat sequence data, as the effect gave it in PF_Cmd_SEQUENCE_FLATTEN
//
// Nothing follows the sequence data. A state whose flattening gave no handle has m = 0.
#pragma once

#include <cstdint>
#include <vector>

#include "minihost/params.h"

namespace minihost {

// One parameter record. `integer` holds a popup choice or a fixed-point value, `real` a float slider's.
struct SavedValue {
  PF_ParamIndex index = 0;
  PF_ParamType type = PF_Param_LAYER;
  A_long integer = 0;
  double real = 0.0;
};

struct SavedState {
  std::vector<SavedValue> values;
  std::vector<uint8_t> sequenceData;
};

// The saved state of `params` with `sequenceData` as its flat part. Throws HostError for a parameter
// type whose value the layout cannot hold.
std::vector<uint8_t> EncodeSavedState(const ParamSet& params, const std::vector<uint8_t>& sequenceData);

// Reads a saved state; throws HostError naming what is wrong (magic, version, unknown type, truncation,
// bytes left over). Says nothing yet about whether it fits an effect: that is ApplySavedValues.
SavedState DecodeSavedState(const std::vector<uint8_t>& bytes);

// Sets the values of `params` from `state`, each held to its control's range as the host's controls
// hold it. Throws HostError, leaving `params` unchanged, when the records do not match the registered
// parameters one for one in index and type, or a float value is not a number.
void ApplySavedValues(const SavedState& state, ParamSet& params);

}  // namespace minihost
