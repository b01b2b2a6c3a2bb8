#include "minihost/instance.h"

#include <cstring>

#include "minihost/host_error.h"

namespace minihost {
namespace {

std::string ReturnMessage(const PF_OutData& out) {
  return std::string(out.return_msg, strnlen(out.return_msg, sizeof(out.return_msg)));
}

}  // namespace

Effect::Effect(Host& host, const std::filesystem::path& library) : host_(host), library_(library) {
  PF_InData in = host_.makeInData();
  PF_OutData out{};
  const PF_Err err =
      host_.call(library_.entryPoint(), PF_Cmd_GLOBAL_SETUP, in, out, nullptr, nullptr, nullptr);
  if (err != PF_Err_NONE) {
    std::string message =
        "global set-up of " + library.string() + " failed with error " + std::to_string(err);
    if ((out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) != 0) message += ": " + ReturnMessage(out);
    throw HostError(message);
  }
  version_ = out.my_version;
  outFlags_ = out.out_flags;
  outFlags2_ = out.out_flags2;
}

std::string Effect::about() {
  PF_InData in = host_.makeInData();
  PF_OutData out{};
  host_.call(library_.entryPoint(), PF_Cmd_ABOUT, in, out, nullptr, nullptr, nullptr);
  return ReturnMessage(out);
}

Instance::Instance(Effect& effect) : effect_(effect), params_(DefaultEffectParams()) {}

PF_Err Instance::render(World& input, World& output) {
  PF_LayerDef& layer = params_[0].u.ld;
  const A_long dephault = layer.dephault;
  layer = input.pf();
  layer.dephault = dephault;
  const PF_Err err = command(PF_Cmd_RENDER, &output.pf());
  // The layer is only valid for this frame: later commands must not see the caller's pixels.
  layer = PF_LayerDef{};
  layer.dephault = dephault;
  return err;
}

PF_Err Instance::command(PF_Cmd cmd, PF_EffectWorld* output, void* extra, PF_OutData* out) {
  Host& host = effect_.host();
  PF_InData in = host.makeInData(&params_);
  if (output != nullptr) {
    in.width = output->width;
    in.height = output->height;
    in.extent_hint = output->extent_hint;
  }
  in.sequence_data = sequenceData_;
  in.num_params = static_cast<A_long>(params_.size());
  PF_OutData outData{};
  const PF_Err err = host.call(effect_.entryPoint(), cmd, in, outData, params_.array(), output, extra);
  if (out != nullptr) *out = outData;
  return err;
}

}  // namespace minihost
