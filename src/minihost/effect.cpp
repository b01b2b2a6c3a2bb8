#include "minihost/effect.h"

#include <cstring>

#include "minihost/command_result.h"
#include "minihost/host_error.h"

namespace minihost {

Effect::Effect(Host& host, const std::filesystem::path& library) : host_(host), library_(library) { setUp(); }

Effect::Effect(Host& host, PF_EntryPointFunc entry, const std::string& name)
    : host_(host), library_(entry, name) {
  setUp();
}

void Effect::setUp() {
  const std::string library = library_.path().string();
  PF_InData in = host_.makeInData();
  PF_OutData out{};
  const PF_Err err =
      host_.call(library_.entryPoint(), PF_Cmd_GLOBAL_SETUP, in, out, nullptr, nullptr, nullptr);
  if (err != PF_Err_NONE) {
    throw HostError("global set-up of " + library + " failed with error " + std::to_string(err) +
                    ShownMessage(out));
  }
  version_ = out.my_version;
  outFlags_ = out.out_flags;
  outFlags2_ = out.out_flags2;
  setUpParams();
}

void Effect::setUpParams() {
  // The host supplies the input layer itself; the effect's registrations follow it.
  PF_ParamDef layer{};
  layer.uu.id = 0;
  layer.param_type = PF_Param_LAYER;
  layer.u.ld.dephault = PF_LayerDefault_MYSELF;
  registered_.add(layer);

  PF_InData in = host_.makeInData(&registered_);
  PF_OutData out{};
  const PF_Err err =
      host_.call(library_.entryPoint(), PF_Cmd_PARAMS_SETUP, in, out, nullptr, nullptr, nullptr);
  if ((out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) != 0) paramsSetupMessage_ = ReturnMessage(out);
  const std::string library = library_.path().string();
  if (err != PF_Err_NONE) {
    throw HostError("parameter set-up of " + library + " failed with error " + std::to_string(err) +
                    ShownMessage(out));
  }
  if (out.num_params != static_cast<A_long>(registered_.size())) {
    throw HostError(
        "parameter set-up of " + library + " reported num_params " + std::to_string(out.num_params) +
        ", but the input layer and the registered controls are " + std::to_string(registered_.size()));
  }
}

std::string Effect::about() {
  PF_InData in = host_.makeInData();
  PF_OutData out{};
  host_.call(library_.entryPoint(), PF_Cmd_ABOUT, in, out, nullptr, nullptr, nullptr);
  return ReturnMessage(out);
}

}  // namespace minihost
