// A loaded effect and its instances, driven through the entry point the way the host drives them.
#pragma once

#include <filesystem>
#include <string>

#include "minihost/effect_library.h"
#include "minihost/host.h"
#include "minihost/params.h"
#include "minihost/world.h"

namespace minihost {

// The library, loaded and globally set up (PF_Cmd_GLOBAL_SETUP) on a host.
class Effect {
 public:
  // Throws HostError when the library cannot be loaded or global set-up fails.
  Effect(Host& host, const std::filesystem::path& library);

  Host& host() { return host_; }
  PF_EntryPointFunc entryPoint() const { return library_.entryPoint(); }
  A_u_long version() const { return version_; }
  PF_OutFlags outFlags() const { return outFlags_; }
  PF_OutFlags2 outFlags2() const { return outFlags2_; }

  // PF_Cmd_ABOUT: the text the effect writes into return_msg.
  std::string about();

 private:
  Host& host_;
  EffectLibrary library_;
  A_u_long version_ = 0;
  PF_OutFlags outFlags_ = 0;
  PF_OutFlags2 outFlags2_ = 0;
};

// One application of the effect to a layer: its parameter values and its sequence data.
class Instance {
 public:
  explicit Instance(Effect& effect);

  ParamSet& params() { return params_; }
  const ParamSet& params() const { return params_; }
  PF_Handle sequenceData() const { return sequenceData_; }

  // PF_Cmd_RENDER of one frame: parameter 0 becomes the input world; the output world must exist.
  PF_Err render(World& input, World& output);

  // Any command with this instance's records; `out` receives the out-data record when given.
  PF_Err command(PF_Cmd cmd, PF_EffectWorld* output = nullptr, void* extra = nullptr, PF_OutData* out = nullptr);

 private:
  Effect& effect_;
  ParamSet params_;
  PF_Handle sequenceData_ = nullptr;
};

}  // namespace minihost
