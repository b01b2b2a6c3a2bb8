#include "minihost/instance.h"

#include <cstring>
#include <exception>
#include <string>
#include <utility>

#include "minihost/command_result.h"
#include "minihost/host_error.h"
#include "minihost/host_impl.h"

namespace minihost {
namespace {

bool IsSequenceCommand(PF_Cmd cmd) {
  return cmd == PF_Cmd_SEQUENCE_SETUP || cmd == PF_Cmd_SEQUENCE_RESETUP || cmd == PF_Cmd_SEQUENCE_FLATTEN ||
         cmd == PF_Cmd_SEQUENCE_SETDOWN;
}

std::string CommandName(PF_Cmd cmd) {
  switch (cmd) {
    case PF_Cmd_SEQUENCE_SETUP:
      return "PF_Cmd_SEQUENCE_SETUP";
    case PF_Cmd_SEQUENCE_RESETUP:
      return "PF_Cmd_SEQUENCE_RESETUP";
    case PF_Cmd_SEQUENCE_FLATTEN:
      return "PF_Cmd_SEQUENCE_FLATTEN";
    case PF_Cmd_SEQUENCE_SETDOWN:
      return "PF_Cmd_SEQUENCE_SETDOWN";
    default:
      return "command " + std::to_string(cmd);
  }
}

std::vector<uint8_t> HandleBytes(Host& host, PF_Handle handle) {
  if (handle == nullptr) return {};
  const auto size = static_cast<std::size_t>(host.handleSize(handle));
  const auto* data = static_cast<const uint8_t*>(host.handleData(handle));
  if (data == nullptr) return {};
  return std::vector<uint8_t>(data, data + size);
}

PF_Handle HandleWithBytes(Host& host, const std::vector<uint8_t>& bytes) {
  PF_Handle handle = host.newHandle(bytes.size());
  if (!bytes.empty()) std::memcpy(host.handleData(handle), bytes.data(), bytes.size());
  return handle;
}

}  // namespace

Instance::Instance(Effect& effect) : effect_(&effect), params_(effect.registeredParams()) {
  sequenceCommand(PF_Cmd_SEQUENCE_SETUP);
  active_ = true;
}

Instance::Instance(Effect& effect, ParamSet params, PF_Handle flatHandle)
    : effect_(&effect),
      params_(std::move(params)),
      sequenceData_(flatHandle),
      flat_(flatHandle != nullptr),
      active_(true) {}

Instance Instance::load(Effect& effect, const std::vector<uint8_t>& saved) {
  const SavedState state = DecodeSavedState(saved);
  ParamSet params = effect.registeredParams();
  ApplySavedValues(state, params);
  Instance instance(effect, std::move(params), HandleWithBytes(effect.host(), state.sequenceData));
  instance.resetup();
  return instance;
}

Instance::~Instance() { removeQuietly(); }

Instance::Instance(Instance&& other) noexcept
    : effect_(other.effect_),
      params_(std::move(other.params_)),
      sequenceData_(std::exchange(other.sequenceData_, nullptr)),
      flat_(std::exchange(other.flat_, false)),
      active_(std::exchange(other.active_, false)) {}

Instance& Instance::operator=(Instance&& other) noexcept {
  if (this != &other) {
    removeQuietly();
    effect_ = other.effect_;
    params_ = std::move(other.params_);
    sequenceData_ = std::exchange(other.sequenceData_, nullptr);
    flat_ = std::exchange(other.flat_, false);
    active_ = std::exchange(other.active_, false);
  }
  return *this;
}

std::vector<uint8_t> Instance::save() {
  requireActive("save");
  // After a failed re-setup the handle is still the flat one: its bytes are what there is to save.
  if (!flat_) flatten();
  std::vector<uint8_t> flatBytes = HandleBytes(effect_->host(), sequenceData_);
  if (flat_) resetup();
  return EncodeSavedState(params_, flatBytes);
}

Instance Instance::duplicate() {
  requireActive("duplicate");
  if (!flat_) flatten();
  Host& host = effect_->host();
  PF_Handle copyHandle = flat_ ? HandleWithBytes(host, HandleBytes(host, sequenceData_)) : nullptr;
  ParamSet copyParams = params_;
  // UI updates were sent to the original; the copy has received none.
  copyParams.uiUpdates.clear();
  Instance copy(*effect_, std::move(copyParams), copyHandle);
  if (flat_) resetup();
  if (copy.flat_) copy.resetup();
  return copy;
}

void Instance::remove() {
  if (!active_) return;
  active_ = false;
  if (flat_) {
    flat_ = false;
    effect_->host().disposeHandle(std::exchange(sequenceData_, nullptr));
    return;
  }
  PF_OutData out{};
  const PF_Err err = send(PF_Cmd_SEQUENCE_SETDOWN, out, nullptr, nullptr);
  // Whatever the effect did, the handle is no longer the instance's: it disposes it itself, and one it
  // failed to dispose stays live for the host's count to show.
  sequenceData_ = nullptr;
  if (err != PF_Err_NONE) {
    throw HostError("PF_Cmd_SEQUENCE_SETDOWN failed with error " + std::to_string(err) + ShownMessage(out));
  }
}

void Instance::removeQuietly() noexcept {
  try {
    remove();
  } catch (const std::exception& error) {
    effect_->host().impl().problem(error.what());
  } catch (...) {
    effect_->host().impl().problem("removing an instance failed");
  }
}

PF_Err Instance::render(World& input, World& output, PF_OutData* out) {
  requireActive("render");
  if (input.depth() == Depth::ThirtyTwo || output.depth() == Depth::ThirtyTwo) {
    throw HostError("PF_Cmd_RENDER takes 8- and 16-bit worlds only; float worlds go through SmartFX");
  }
  PF_LayerDef& layer = params_[0].u.ld;
  const A_long dephault = layer.dephault;
  layer = input.pf();
  layer.dephault = dephault;
  const PF_Err err = command(PF_Cmd_RENDER, &output.pf(), nullptr, out);
  // The layer is only valid for this frame: later commands must not see the caller's pixels.
  layer = PF_LayerDef{};
  layer.dephault = dephault;
  return err;
}

PF_Err Instance::pressButton(PF_ParamIndex index, PF_OutData* out) {
  PF_UserChangedParamExtra extra{index};
  return command(PF_Cmd_USER_CHANGED_PARAM, nullptr, &extra, out);
}

PF_Err Instance::changed(PF_ParamIndex index, PF_OutData* out) {
  if (index < 0 || static_cast<std::size_t>(index) >= params_.size()) {
    throw HostError("no parameter " + std::to_string(index));
  }
  if ((params_[static_cast<std::size_t>(index)].flags & PF_ParamFlag_SUPERVISE) != 0) {
    if (const PF_Err err = pressButton(index, out); err != PF_Err_NONE) return err;
  }
  return refreshUI();
}

PF_Err Instance::refreshUI() { return command(PF_Cmd_UPDATE_PARAMS_UI); }

PF_Err Instance::optionsButton(PF_OutData* out) { return command(PF_Cmd_DO_DIALOG, nullptr, nullptr, out); }

PF_Handle Instance::flattenedCopy() {
  requireActive("PF_Cmd_GET_FLATTENED_SEQUENCE_DATA");
  Host& host = effect_->host();
  const PF_Handle own = sequenceData_;
  const std::vector<uint8_t> before = HandleBytes(host, own);
  PF_OutData out{};
  // A value the effect must overwrite: leaving the field as it was is a fault a host would crash on.
  out.sequence_data = own;
  const PF_Err err = send(PF_Cmd_GET_FLATTENED_SEQUENCE_DATA, out, nullptr, nullptr);
  PF_Handle copy = out.sequence_data;
  if (err != PF_Err_NONE) {
    throw HostError("PF_Cmd_GET_FLATTENED_SEQUENCE_DATA failed with error " + std::to_string(err) +
                    ShownMessage(out));
  }
  if (own != nullptr && copy == own) {
    throw HostError("PF_Cmd_GET_FLATTENED_SEQUENCE_DATA gave the instance's own sequence data, not a copy");
  }
  if (own == nullptr && copy != nullptr) {
    host.disposeHandle(copy);
    throw HostError("PF_Cmd_GET_FLATTENED_SEQUENCE_DATA gave a handle for an instance without sequence data");
  }
  if (HandleBytes(host, own) != before) {
    if (copy != nullptr) host.disposeHandle(copy);
    throw HostError("PF_Cmd_GET_FLATTENED_SEQUENCE_DATA changed the instance's own sequence data");
  }
  return copy;
}

PF_Err Instance::command(PF_Cmd cmd, PF_EffectWorld* output, void* extra, PF_OutData* out) {
  requireActive(("command " + std::to_string(cmd)).c_str());
  PF_OutData outData{};
  const PF_Err err = send(cmd, outData, output, extra);
  if (err == PF_Err_NONE && IsSequenceCommand(cmd)) {
    sequenceData_ = outData.sequence_data;
    flat_ = cmd == PF_Cmd_SEQUENCE_FLATTEN && sequenceData_ != nullptr;
    if (cmd == PF_Cmd_SEQUENCE_SETDOWN) active_ = false;
  }
  if (out != nullptr) *out = outData;
  return err;
}

PF_Err Instance::send(PF_Cmd cmd, PF_OutData& out, PF_EffectWorld* output, void* extra,
                      const World* smartLayer) {
  Host& host = effect_->host();
  PF_InData in = host.makeInData(&params_);
  if (output != nullptr) {
    in.width = output->width;
    in.height = output->height;
    in.extent_hint = output->extent_hint;
  }
  if (smartLayer != nullptr) {
    in.width = smartLayer->width();
    in.height = smartLayer->height();
    in.extent_hint = PF_LRect{0, 0, smartLayer->width(), smartLayer->height()};
  }
  in.sequence_data = sequenceData_;
  if (CallContext* context = ContextOf(in.effect_ref)) context->sequenceData.store(sequenceData_);
  in.num_params = static_cast<A_long>(params_.size());
  return host.call(effect_->entryPoint(), cmd, in, out, smartLayer == nullptr ? params_.array() : nullptr,
                   output, extra);
}

void Instance::sequenceCommand(PF_Cmd cmd) {
  PF_OutData out{};
  const PF_Err err = send(cmd, out, nullptr, nullptr);
  if (err != PF_Err_NONE) {
    throw HostError(CommandName(cmd) + " failed with error " + std::to_string(err) + ShownMessage(out));
  }
  sequenceData_ = out.sequence_data;
  flat_ = cmd == PF_Cmd_SEQUENCE_FLATTEN && sequenceData_ != nullptr;
}

void Instance::flatten() { sequenceCommand(PF_Cmd_SEQUENCE_FLATTEN); }

void Instance::resetup() { sequenceCommand(PF_Cmd_SEQUENCE_RESETUP); }

void Instance::requireActive(const char* what) const {
  if (!active_) throw HostError(std::string(what) + " of an instance that was removed or moved from");
}

}  // namespace minihost
