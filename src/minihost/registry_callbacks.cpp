// The callbacks through which the effect tells the host about its parameters: add_param,
// PF_UpdateParamUI and PF_SetOptionsButtonName. They reach the registry of the call through the
// effect reference of the in-data record they were made with.
#include <cstring>
#include <new>
#include <string>

#include "minihost/host_impl.h"
#include "minihost/params.h"

namespace minihost {
namespace {

// The registry behind an effect reference; records why there is none on whatever host can be found.
ParamSet* RegistryOf(PF_ProgPtr effectRef, const char* what) {
  CallContext* context = ContextOf(effectRef);
  if (context != nullptr && context->registry != nullptr) return context->registry;
  if (Host::Impl* impl = ImplFor(effectRef)) {
    impl->problem(std::string(what) + (context == nullptr ? " with an unknown effect reference"
                                                          : " on an in-data record made without a registry"));
  }
  return nullptr;
}

void Report(PF_ProgPtr effectRef, const std::string& text) {
  if (Host::Impl* impl = ImplFor(effectRef)) impl->problem(text);
}

// What the host takes from PF_UpdateParamUI into the control the user sees: its looks, never its value
// or its type.
void ApplyCosmeticChanges(const PF_ParamDef& sent, PF_ParamDef& shown) {
  std::memcpy(shown.name, sent.name, sizeof shown.name);
  shown.name[sizeof shown.name - 1] = '\0';
  shown.ui_flags = sent.ui_flags;
  shown.ui_width = sent.ui_width;
  shown.ui_height = sent.ui_height;
  shown.flags = (shown.flags & ~PF_ParamFlag_COLLAPSE_TWIRLY) | (sent.flags & PF_ParamFlag_COLLAPSE_TWIRLY);
  if (sent.param_type != shown.param_type) return;
  if (shown.param_type == PF_Param_FLOAT_SLIDER) {
    shown.u.fs_d.slider_min = sent.u.fs_d.slider_min;
    shown.u.fs_d.slider_max = sent.u.fs_d.slider_max;
    shown.u.fs_d.precision = sent.u.fs_d.precision;
    shown.u.fs_d.display_flags = sent.u.fs_d.display_flags;
  } else if (shown.param_type == PF_Param_FIX_SLIDER) {
    shown.u.fd.slider_min = sent.u.fd.slider_min;
    shown.u.fd.slider_max = sent.u.fd.slider_max;
    shown.u.fd.precision = sent.u.fd.precision;
    shown.u.fd.display_flags = sent.u.fd.display_flags;
  }
}

}  // namespace

PF_Err AddParam(PF_ProgPtr effectRef, PF_ParamIndex index, PF_ParamDefPtr def) {
  try {
    ParamSet* registry = RegistryOf(effectRef, "add_param");
    if (registry == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (def == nullptr) {
      Report(effectRef, "add_param with a null definition");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    // The parameter array is fixed once set up: the effect may hold pointers into it during any other
    // command, so adding then would pull it from under the effect.
    const PF_Cmd cmd = CurrentCommand();
    if (cmd != kNoCommand && cmd != PF_Cmd_PARAMS_SETUP) {
      Report(effectRef, "add_param during command " + std::to_string(cmd) + " instead of parameter set-up");
      return PF_Err_INVALID_CALLBACK;
    }
    // Parameters can only be appended: -1, or exactly the next index.
    if (index != -1 && index != static_cast<PF_ParamIndex>(registry->size())) return PF_Err_INVALID_INDEX;
    registry->add(*def);
    return PF_Err_NONE;
  } catch (const std::bad_alloc&) {
    return PF_Err_OUT_OF_MEMORY;
  } catch (...) {
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
}

PF_Err UpdateParamUI(PF_ProgPtr effectRef, PF_ParamIndex index, const PF_ParamDef* def) {
  try {
    ParamSet* registry = RegistryOf(effectRef, "PF_UpdateParamUI");
    if (registry == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (def == nullptr) {
      Report(effectRef, "PF_UpdateParamUI with a null definition");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (index < 0 || static_cast<std::size_t>(index) >= registry->size()) {
      Report(effectRef, "PF_UpdateParamUI of parameter " + std::to_string(index) + ", which does not exist");
      return PF_Err_INVALID_INDEX;
    }
    registry->uiUpdates.push_back(ParamUIUpdate{index, *def});
    ApplyCosmeticChanges(*def, (*registry)[static_cast<std::size_t>(index)]);
    return PF_Err_NONE;
  } catch (const std::bad_alloc&) {
    return PF_Err_OUT_OF_MEMORY;
  } catch (...) {
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
}

PF_Err SetOptionsButtonName(PF_ProgPtr effectRef, const A_char* name) {
  try {
    ParamSet* registry = RegistryOf(effectRef, "PF_SetOptionsButtonName");
    if (registry == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (name == nullptr) {
      Report(effectRef, "PF_SetOptionsButtonName with a null name");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    registry->optionsButtonName = name;
    return PF_Err_NONE;
  } catch (const std::bad_alloc&) {
    return PF_Err_OUT_OF_MEMORY;
  } catch (...) {
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
}

}  // namespace minihost
