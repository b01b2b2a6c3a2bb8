// A loaded effect: the library, globally set up, and the controls it registered, which every new
// instance of it starts from.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "minihost/effect_library.h"
#include "minihost/host.h"
#include "minihost/params.h"

namespace minihost {

class Effect {
 public:
  // Loads the library, sends PF_Cmd_GLOBAL_SETUP and then PF_Cmd_PARAMS_SETUP once. Throws HostError
  // when the library cannot be loaded, when either command fails (with the effect's message when it
  // asked for one to be shown), or when the num_params it reports is not the number of parameters it
  // registered plus the input layer.
  Effect(Host& host, const std::filesystem::path& library);
  // The same for an effect linked into the host's own binary, reached through `entry`; `name` stands for
  // the library in messages.
  Effect(Host& host, PF_EntryPointFunc entry, const std::string& name);

  Host& host() { return host_; }
  PF_EntryPointFunc entryPoint() const { return library_.entryPoint(); }
  A_u_long version() const { return version_; }
  PF_OutFlags outFlags() const { return outFlags_; }
  PF_OutFlags2 outFlags2() const { return outFlags2_; }

  // The parameter array of a new instance: the input layer (id 0, default "this layer") followed by
  // every definition add_param received, values as the effect sent them.
  const ParamSet& registeredParams() const { return registered_; }
  // The text given to PF_SetOptionsButtonName during parameter set-up; empty when none was.
  const std::string& optionsButtonName() const { return registered_.optionsButtonName; }
  // The return_msg of parameter set-up when it came back with PF_OutFlag_DISPLAY_ERROR_MESSAGE set (a
  // host shows it to the user even when the command succeeds); none when the flag was clear.
  const std::optional<std::string>& paramsSetupMessage() const { return paramsSetupMessage_; }

  // PF_Cmd_ABOUT: the text the effect writes into return_msg.
  std::string about();

 private:
  void setUp();
  void setUpParams();

  Host& host_;
  EffectLibrary library_;
  A_u_long version_ = 0;
  PF_OutFlags outFlags_ = 0;
  PF_OutFlags2 outFlags2_ = 0;
  ParamSet registered_;
  std::optional<std::string> paramsSetupMessage_;
};

}  // namespace minihost
