// A stand-in for an effect that renders through SmartFX only: it checks out its input over the request,
// keeps its mode in pre-render data held in a host handle (so a data the host never deletes shows as a
// live handle), and writes a function of each pixel's layer position, so that output depending on the
// request shows up. Its popup control chooses a misuse of the checkouts for the host's checks.
#include <cstring>
#include <type_traits>

#include "smart_effect_script.h"

namespace {

struct PreRenderData {
  A_long mode;
  void (*dispose)(PF_Handle);
};

void DeletePreRenderData(void* data) {
  auto handle = static_cast<PF_Handle>(data);
  static_cast<PreRenderData*>(*handle)->dispose(handle);
}

PF_Err ParamsSetup(PF_InData* in, PF_OutData* out) {
  PF_ParamDef def{};
  def.param_type = PF_Param_POPUP;
  std::strcpy(def.name, "Mode");
  def.u.pd.value = smart::kCopy;
  def.u.pd.dephault = smart::kCopy;
  def.u.pd.num_choices = 7;
  def.u.pd.u.namesptr = smart::kModeChoices;
  if (PF_Err err = in->inter.add_param(in->effect_ref, -1, &def)) return err;
  out->num_params = 2;
  return PF_Err_NONE;
}

PF_Err PreRender(PF_InData* in, PF_PreRenderExtra* extra) {
  PF_ParamDef mode{};
  if (PF_Err err = in->inter.checkout_param(in->effect_ref, 1, in->current_time, in->time_step,
                                            in->time_scale, &mode)) {
    return err;
  }
  const A_long chosen = mode.u.pd.value;
  if (chosen != smart::kParamLeftOut) {
    if (PF_Err err = in->inter.checkin_param(in->effect_ref, &mode)) return err;
  }

  PF_RenderRequest request = extra->input->output_request;
  PF_CheckoutResult input{};
  if (PF_Err err = extra->cb->checkout_layer(in->effect_ref, 0, 0, &request, in->current_time, in->time_step,
                                             in->time_scale, &input)) {
    return err;
  }
  if (chosen == smart::kEmptyCheckout) {
    PF_RenderRequest none = request;
    none.rect = PF_LRect{0, 0, 0, 0};
    PF_CheckoutResult nothing{};
    if (PF_Err err = extra->cb->checkout_layer(in->effect_ref, 0, 1, &none, in->current_time, in->time_step,
                                               in->time_scale, &nothing)) {
      return err;
    }
  }
  extra->output->result_rect = chosen == smart::kBeyondRequest ? input.max_result_rect : input.result_rect;
  extra->output->max_result_rect = input.max_result_rect;

  PF_Handle handle = in->utils->host_new_handle(sizeof(PreRenderData));
  if (handle == nullptr) return PF_Err_OUT_OF_MEMORY;
  *static_cast<PreRenderData*>(*handle) = PreRenderData{chosen, in->utils->host_dispose_handle};
  extra->output->pre_render_data = handle;
  extra->output->delete_pre_render_data_func = DeletePreRenderData;
  return PF_Err_NONE;
}

template <typename Pixel>
void Shift(const PF_EffectWorld& input, PF_EffectWorld& output, A_long max) {
  for (A_long v = 0; v < output.height; ++v) {
    for (A_long u = 0; u < output.width; ++u) {
      const A_long x = output.origin_x + u;
      const A_long y = output.origin_y + v;
      auto* out = reinterpret_cast<Pixel*>(reinterpret_cast<char*>(output.data) + v * output.rowbytes) + u;
      const A_long inU = x - input.origin_x;
      const A_long inV = y - input.origin_y;
      if (inU < 0 || inV < 0 || inU >= input.width || inV >= input.height) continue;
      const auto* in =
          reinterpret_cast<const Pixel*>(reinterpret_cast<const char*>(input.data) + inV * input.rowbytes) +
          inU;
      using Channel = decltype(in->red);
      if constexpr (std::is_same_v<Pixel, PF_PixelFloat>) {
        *out = Pixel{in->alpha, smart::ShiftedRed(in->red, x), smart::ShiftedGreen(in->green, y), in->blue};
      } else {
        *out = Pixel{in->alpha, static_cast<Channel>(smart::ShiftedRed(in->red, x, max)),
                     static_cast<Channel>(smart::ShiftedGreen(in->green, y, max)), in->blue};
      }
    }
  }
}

PF_Err Render(PF_InData* in, PF_SmartRenderExtra* extra) {
  const PF_ProgPtr ref = in->effect_ref;
  const PF_SmartRenderCallbacks& cb = *extra->cb;
  const A_long mode =
      static_cast<const PreRenderData*>(*static_cast<PF_Handle>(extra->input->pre_render_data))->mode;
  PF_EffectWorld* input = nullptr;
  PF_EffectWorld* output = nullptr;
  if (mode == smart::kOutputFirst) return cb.checkout_output(ref, &output);
  if (mode == smart::kUnknownId) return cb.checkout_layer_pixels(ref, 99, &input);
  if (PF_Err err = cb.checkout_layer_pixels(ref, 0, &input)) return err;
  if (mode == smart::kPixelsTwice) return cb.checkout_layer_pixels(ref, 0, &input);
  if (mode == smart::kEmptyCheckout) {
    PF_EffectWorld stale{};
    PF_EffectWorld* empty = &stale;
    if (PF_Err err = cb.checkout_layer_pixels(ref, 1, &empty)) return err;
    if (empty != nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
  if (PF_Err err = cb.checkout_output(ref, &output)) return err;
  if (input == nullptr || output == nullptr) return PF_Err_NONE;
  if (extra->input->bitdepth == 32) {
    Shift<PF_PixelFloat>(*input, *output, 0);
  } else if (extra->input->bitdepth == 16) {
    Shift<PF_Pixel16>(*input, *output, PF_MAX_CHAN16);
  } else {
    Shift<PF_Pixel8>(*input, *output, PF_MAX_CHAN8);
  }
  return cb.checkin_layer_pixels(ref, 0);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) PF_Err EntryPoint(PF_Cmd cmd, PF_InData* in,
                                                                    PF_OutData* out, PF_ParamDef*[],
                                                                    PF_LayerDef*, void* extra) {
  switch (cmd) {
    case PF_Cmd_GLOBAL_SETUP:
      out->my_version = PF_VERSION(1, 0, 0, PF_Stage_DEVELOP, 1);
      out->out_flags = PF_OutFlag_DEEP_COLOR_AWARE;
      out->out_flags2 = PF_OutFlag2_SUPPORTS_SMART_RENDER;
      return PF_Err_NONE;
    case PF_Cmd_PARAMS_SETUP:
      return ParamsSetup(in, out);
    case PF_Cmd_SMART_PRE_RENDER:
      return PreRender(in, static_cast<PF_PreRenderExtra*>(extra));
    case PF_Cmd_SMART_RENDER:
      return Render(in, static_cast<PF_SmartRenderExtra*>(extra));
    default:
      return PF_Err_NONE;
  }
}
