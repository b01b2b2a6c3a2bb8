// A small effect that exercises the host as a real one does: global set-up flags, the about text,
// parameter registration with an options-button name, a render that clears and inverts through fill
// and iterate, a UI update, and scripted misbehaviour for the tests of the host's checks.
#include <cstring>
#include <stdexcept>

#include "fake_effect_script.h"

namespace {

template <typename Suite>
const Suite* Acquire(PF_InData* in, const char* name, int32_t version) {
  const void* suite = nullptr;
  if (in->pica_basicP == nullptr || in->pica_basicP->AcquireSuite(name, version, &suite) != kSPNoError) {
    return nullptr;
  }
  return static_cast<const Suite*>(suite);
}

PF_Err InvertPixel8(void*, A_long, A_long, PF_Pixel* in, PF_Pixel* out) {
  *out = PF_Pixel{in->alpha, static_cast<A_u_char>(255 - in->red), static_cast<A_u_char>(255 - in->green),
                  static_cast<A_u_char>(255 - in->blue)};
  return PF_Err_NONE;
}

PF_Err InvertPixel16(void*, A_long, A_long, PF_Pixel16* in, PF_Pixel16* out) {
  *out = PF_Pixel16{in->alpha, static_cast<A_u_short>(32768 - in->red),
                    static_cast<A_u_short>(32768 - in->green), static_cast<A_u_short>(32768 - in->blue)};
  return PF_Err_NONE;
}

PF_Err ParamsSetup(PF_InData* in, PF_OutData* out) {
  // The choices live in a buffer that is overwritten after add_param: the host must have copied them.
  char choices[] = "Red|Green|Blue";
  PF_ParamDef def{};
  def.param_type = PF_Param_POPUP;
  in->utils->ansi.strcpy(def.name, "Channel");
  def.u.pd.value = 2;
  def.u.pd.num_choices = 3;
  def.u.pd.dephault = 2;
  def.u.pd.u.namesptr = choices;
  if (PF_Err err = in->inter.add_param(in->effect_ref, -1, &def)) return err;
  std::memset(choices, 'x', sizeof(choices) - 1);

  def = PF_ParamDef{};
  def.param_type = PF_Param_FLOAT_SLIDER;
  in->utils->ansi.strcpy(def.name, "Amount");
  def.u.fs_d.valid_max = 10.0f;
  if (PF_Err err = in->inter.add_param(in->effect_ref, -1, &def)) return err;

  if (auto* ui = Acquire<PF_EffectUISuite1>(in, kPFEffectUISuite, kPFEffectUISuiteVersion1)) {
    ui->PF_SetOptionsButtonName(in->effect_ref, "Load Things");
    in->pica_basicP->ReleaseSuite(kPFEffectUISuite, kPFEffectUISuiteVersion1);
  }
  out->num_params = 3;
  return PF_Err_NONE;
}

PF_Err Render(PF_InData* in, PF_ParamDef* params[], PF_LayerDef* output) {
  if (params == nullptr || params[in->num_params] != nullptr || params[0]->param_type != PF_Param_LAYER) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  auto* handles = Acquire<PF_HandleSuite1>(in, kPFHandleSuite, kPFHandleSuiteVersion1);
  if (handles == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  PF_Handle scratch = handles->host_new_handle(16);
  std::memset(handles->host_lock_handle(scratch), 0x5A, 16);
  handles->host_unlock_handle(scratch);
  handles->host_dispose_handle(scratch);
  in->pica_basicP->ReleaseSuite(kPFHandleSuite, kPFHandleSuiteVersion1);

  in->utils->fill(in->effect_ref, nullptr, nullptr, output);
  PF_EffectWorld* input = &params[0]->u.ld;
  if ((output->world_flags & PF_WorldFlag_DEEP) != 0) {
    return in->utils->iterate16(in, 0, output->height, input, nullptr, nullptr, InvertPixel16, output);
  }
  return in->utils->iterate(in, 0, output->height, input, nullptr, nullptr, InvertPixel8, output);
}

PF_Err UpdateParamsUI(PF_InData* in, PF_ParamDef* params[]) {
  auto* utils = Acquire<PF_ParamUtilsSuite3>(in, kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3);
  if (utils == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  PF_ParamDef copy = *params[2];
  in->utils->ansi.strcpy(copy.name, "Renamed");
  const PF_Err err = utils->PF_UpdateParamUI(in->effect_ref, 2, &copy);
  in->pica_basicP->ReleaseSuite(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3);
  return err;
}

PF_Err RunScript(PF_InData* in, PF_OutData* out, fake::Script& script) {
  SPBasicSuite* basic = in->pica_basicP;
  PF_UtilCallbacks* utils = in->utils;
  switch (script.action) {
    case fake::Action::LeakSuite:
      script.spErr = basic->AcquireSuite(kPFANSISuite, kPFANSISuiteVersion1, &script.suite);
      break;
    case fake::Action::ReleaseUnacquired:
      script.spErr = basic->ReleaseSuite(kPFHandleSuite, kPFHandleSuiteVersion1);
      break;
    case fake::Action::AcquireAndRelease:
      script.spErr = basic->AcquireSuite(script.name, script.version, &script.suite);
      if (script.spErr == kSPNoError) basic->ReleaseSuite(script.name, script.version);
      break;
    case fake::Action::LeakHandle:
      script.handle = utils->host_new_handle(8);
      break;
    case fake::Action::DoubleDispose:
      script.handle = utils->host_new_handle(8);
      utils->host_dispose_handle(script.handle);
      utils->host_dispose_handle(script.handle);
      break;
    case fake::Action::UseAfterDispose:
      script.handle = utils->host_new_handle(8);
      utils->host_dispose_handle(script.handle);
      script.locked = utils->host_lock_handle(script.handle);
      break;
    case fake::Action::UnbalancedUnlock:
      script.handle = utils->host_new_handle(8);
      utils->host_lock_handle(script.handle);
      utils->host_unlock_handle(script.handle);
      utils->host_unlock_handle(script.handle);
      utils->host_dispose_handle(script.handle);
      break;
    case fake::Action::FormatThroughSuite:
      if (auto* ansi = Acquire<PF_ANSICallbacksSuite1>(in, kPFANSISuite, kPFANSISuiteVersion1)) {
        script.written = ansi->sprintf(script.text, "%s %d/%03d %.2f", "frame", 7, 42, 2.5);
        ansi->strcpy(script.copy, "Reset palette");
        basic->ReleaseSuite(kPFANSISuite, kPFANSISuiteVersion1);
      }
      break;
    case fake::Action::AddParamLate: {
      PF_ParamDef def{};
      def.param_type = PF_Param_GROUP_END;
      script.err = in->inter.add_param(in->effect_ref, -1, &def);
      break;
    }
    case fake::Action::FillReturnMessage:
      std::memset(out->return_msg, 'm', sizeof(out->return_msg));
      break;
    case fake::Action::Throw:
      throw std::runtime_error("escaped");
  }
  return PF_Err_NONE;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) PF_Err EntryPoint(PF_Cmd cmd, PF_InData* in,
                                                                    PF_OutData* out, PF_ParamDef* params[],
                                                                    PF_LayerDef* output, void* extra) {
  switch (cmd) {
    case PF_Cmd_GLOBAL_SETUP:
      if (in->appl_id == fake::kFailingApplId) {
        out->out_flags = PF_OutFlag_DISPLAY_ERROR_MESSAGE;
        in->utils->ansi.strcpy(out->return_msg, "no memory for the tables");
        return PF_Err_OUT_OF_MEMORY;
      }
      out->my_version = fake::kVersion;
      out->out_flags = fake::kOutFlags;
      out->out_flags2 = fake::kOutFlags2;
      return PF_Err_NONE;
    case PF_Cmd_ABOUT:
      in->utils->ansi.sprintf(out->return_msg, "%s v%d.%d\r%s", "Fake Effect", 2, 1, "for host tests");
      return PF_Err_NONE;
    case PF_Cmd_PARAMS_SETUP:
      return ParamsSetup(in, out);
    case PF_Cmd_RENDER:
      return Render(in, params, output);
    case PF_Cmd_UPDATE_PARAMS_UI:
      return UpdateParamsUI(in, params);
    case fake::kScriptCommand:
      return RunScript(in, out, *static_cast<fake::Script*>(extra));
    default:
      return PF_Err_NONE;
  }
}
