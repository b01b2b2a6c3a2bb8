#include "minihost/saved_state.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

#include "bytes/byte_order.h"
#include "minihost/host_error.h"

namespace minihost {
namespace {

constexpr char kMagic[4] = {'P', 'L', 'X', 'S'};
constexpr uint32_t kVersion = 1;
constexpr std::size_t kHeaderSize = 12;
constexpr std::size_t kRecordHeadSize = 8;

enum class ValueKind { None, Integer, Real };

// How a type's value is stored, or false for a type the layout does not know.
bool KindOf(PF_ParamType type, ValueKind& kind) {
  switch (type) {
    case PF_Param_POPUP:
    case PF_Param_FIX_SLIDER:
      kind = ValueKind::Integer;
      return true;
    case PF_Param_FLOAT_SLIDER:
      kind = ValueKind::Real;
      return true;
    case PF_Param_LAYER:
    case PF_Param_GROUP_START:
    case PF_Param_GROUP_END:
    case PF_Param_BUTTON:
      kind = ValueKind::None;
      return true;
    default:
      return false;
  }
}

std::string TypeName(PF_ParamType type) {
  switch (type) {
    case PF_Param_LAYER:
      return "layer";
    case PF_Param_FIX_SLIDER:
      return "fixed slider";
    case PF_Param_POPUP:
      return "popup";
    case PF_Param_FLOAT_SLIDER:
      return "float slider";
    case PF_Param_GROUP_START:
      return "group start";
    case PF_Param_GROUP_END:
      return "group end";
    case PF_Param_BUTTON:
      return "button";
    default:
      return "parameter of type " + std::to_string(type);
  }
}

// Reads the byte string front to back; every read checks that the bytes are there.
class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

  std::size_t remaining() const { return bytes_.size() - position_; }

  // False when fewer than `count` bytes remain.
  bool has(std::size_t count) const { return remaining() >= count; }

  uint32_t u32() { return byte_order::ReadLittle<uint32_t>(take(4)); }
  uint64_t u64() { return byte_order::ReadLittle<uint64_t>(take(8)); }

  const uint8_t* take(std::size_t count) {
    const uint8_t* start = bytes_.data() + position_;
    position_ += count;
    return start;
  }

 private:
  const std::vector<uint8_t>& bytes_;
  std::size_t position_ = 0;
};

[[noreturn]] void Refuse(const std::string& why) { throw HostError("saved state refused: " + why); }

}  // namespace

std::vector<uint8_t> EncodeSavedState(const ParamSet& params, const std::vector<uint8_t>& sequenceData) {
  std::vector<uint8_t> out(kMagic, kMagic + sizeof kMagic);
  byte_order::AppendLittle<uint32_t>(out, kVersion);
  byte_order::AppendLittle<uint32_t>(out, static_cast<uint32_t>(params.size()));
  for (std::size_t i = 0; i < params.size(); ++i) {
    const PF_ParamDef& def = params[i];
    ValueKind kind;
    if (!KindOf(def.param_type, kind)) {
      throw HostError("parameter " + std::to_string(i) + " is a " + TypeName(def.param_type) +
                      ", whose value a saved state cannot hold");
    }
    byte_order::AppendLittle<uint32_t>(out, static_cast<uint32_t>(i));
    byte_order::AppendLittle<uint32_t>(out, static_cast<uint32_t>(def.param_type));
    if (def.param_type == PF_Param_POPUP)
      byte_order::AppendLittle<uint32_t>(out, static_cast<uint32_t>(def.u.pd.value));
    if (def.param_type == PF_Param_FIX_SLIDER)
      byte_order::AppendLittle<uint32_t>(out, static_cast<uint32_t>(def.u.fd.value));
    if (def.param_type == PF_Param_FLOAT_SLIDER)
      byte_order::AppendLittle<uint64_t>(out, std::bit_cast<uint64_t>(def.u.fs_d.value));
  }
  byte_order::AppendLittle<uint64_t>(out, sequenceData.size());
  out.insert(out.end(), sequenceData.begin(), sequenceData.end());
  return out;
}

SavedState DecodeSavedState(const std::vector<uint8_t>& bytes) {
  Reader reader(bytes);
  if (!reader.has(kHeaderSize)) {
    Refuse(std::to_string(bytes.size()) + " bytes are too few for its " + std::to_string(kHeaderSize) +
           "-byte header");
  }
  if (std::memcmp(reader.take(sizeof kMagic), kMagic, sizeof kMagic) != 0) {
    Refuse("it does not start with \"PLXS\"");
  }
  const uint32_t version = reader.u32();
  if (version != kVersion) {
    Refuse("version " + std::to_string(version) + " is not supported (this host reads version " +
           std::to_string(kVersion) + ")");
  }
  const uint32_t count = reader.u32();

  SavedState state;
  // The count comes from the bytes: reserve no more than the remaining bytes could hold.
  state.values.reserve(std::min<std::size_t>(count, reader.remaining() / kRecordHeadSize));
  for (uint32_t i = 0; i < count; ++i) {
    if (!reader.has(kRecordHeadSize)) Refuse("it ends inside parameter record " + std::to_string(i));
    SavedValue value;
    value.index = static_cast<PF_ParamIndex>(reader.u32());
    value.type = static_cast<PF_ParamType>(reader.u32());
    ValueKind kind;
    if (!KindOf(value.type, kind)) {
      Refuse("parameter record " + std::to_string(i) + " has unknown type " + std::to_string(value.type));
    }
    const std::size_t size = kind == ValueKind::Real ? 8 : kind == ValueKind::Integer ? 4 : 0;
    if (!reader.has(size)) Refuse("it ends inside parameter record " + std::to_string(i));
    if (kind == ValueKind::Integer) value.integer = static_cast<A_long>(reader.u32());
    if (kind == ValueKind::Real) value.real = std::bit_cast<double>(reader.u64());
    state.values.push_back(value);
  }

  if (!reader.has(8)) Refuse("it ends before the length of its sequence data");
  const uint64_t length = reader.u64();
  if (length > reader.remaining()) {
    Refuse("it ends inside its sequence data (" + std::to_string(length) + " bytes declared, " +
           std::to_string(reader.remaining()) + " present)");
  }
  const uint8_t* data = reader.take(static_cast<std::size_t>(length));
  state.sequenceData.assign(data, data + length);
  if (const std::size_t extra = reader.remaining(); extra != 0) {
    Refuse(std::to_string(extra) + (extra == 1 ? " byte follows" : " bytes follow") + " its sequence data");
  }
  return state;
}

void ApplySavedValues(const SavedState& state, ParamSet& params) {
  if (state.values.size() != params.size()) {
    Refuse("it holds " + std::to_string(state.values.size()) + " parameters, the effect registered " +
           std::to_string(params.size()));
  }
  ParamSet updated(params);
  for (std::size_t i = 0; i < state.values.size(); ++i) {
    const SavedValue& value = state.values[i];
    if (value.index < 0 || static_cast<std::size_t>(value.index) != i) {
      Refuse("record " + std::to_string(i) + " is for parameter " + std::to_string(value.index) +
             ", expected parameter " + std::to_string(i));
    }
    const PF_ParamDef& def = updated[i];
    if (value.type != def.param_type) {
      Refuse("parameter " + std::to_string(i) + " is saved as a " + TypeName(value.type) +
             ", the effect registered a " + TypeName(def.param_type));
    }
    switch (value.type) {
      case PF_Param_POPUP:
        if (def.u.pd.num_choices >= 1) {
          updated.setPopup(i, std::clamp<A_long>(value.integer, 1, def.u.pd.num_choices));
        }
        break;
      case PF_Param_FIX_SLIDER:
        updated.setFixed(i, value.integer);
        break;
      case PF_Param_FLOAT_SLIDER:
        if (std::isnan(value.real)) Refuse("parameter " + std::to_string(i) + " holds NaN");
        updated.setFloat(i, value.real);
        break;
      default:
        break;
    }
  }
  params = std::move(updated);
}

}  // namespace minihost
