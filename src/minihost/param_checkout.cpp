// checkout_param and checkin_param: a parameter's value as the host holds it, which is how an effect
// reads its controls in the commands that pass no parameter array (the SmartFX ones).
#include <string>

#include "minihost/host_impl.h"
#include "minihost/params.h"

namespace minihost {
namespace {

void Report(PF_ProgPtr effectRef, const std::string& text) {
  if (Host::Impl* impl = ImplFor(effectRef)) impl->problem(text);
}

}  // namespace

PF_Err CheckoutParam(PF_ProgPtr effectRef, PF_ParamIndex index, A_long, A_long, A_u_long,
                     PF_ParamDef* param) {
  CallContext* context = ContextOf(effectRef);
  if (context == nullptr || context->registry == nullptr || param == nullptr) {
    Report(effectRef, "checkout_param with an unknown effect reference, no parameters or no result pointer");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  const ParamSet& params = *context->registry;
  if (index < 0 || static_cast<std::size_t>(index) >= params.size()) {
    Report(effectRef, "checkout_param of parameter " + std::to_string(index) + ", which does not exist");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  // Parameters do not vary over time here: every time gets the current value.
  *param = params[static_cast<std::size_t>(index)];
  if (int* open = CurrentParamCheckouts()) ++*open;
  return PF_Err_NONE;
}

PF_Err CheckinParam(PF_ProgPtr effectRef, PF_ParamDef* param) {
  if (param == nullptr) {
    Report(effectRef, "checkin_param with no parameter");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  if (int* open = CurrentParamCheckouts()) {
    if (*open == 0) {
      Report(effectRef, "checkin_param without a checkout");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    --*open;
  }
  return PF_Err_NONE;
}

}  // namespace minihost
