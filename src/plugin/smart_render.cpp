#include "plugin/smart_render.h"

#include <cstring>
#include <memory>
#include <vector>

#include "plugin/param_indices.h"
#include "plugin/render_command.h"
#include "plugin/render_sequence_data.h"
#include "plugin/suite_cache.h"
#include "render/pattern_catalogue.h"

namespace {

// Checkout ids of the input layer. Error diffusion first learns the input's largest extent under one id,
// then checks out all of it under the other.
constexpr A_long kInputId = 0;
constexpr A_long kExtentId = 1;

// What the pre-render decided, for the render that may follow. The host owns it once the pre-render has
// returned and frees it through DeletePreRenderData.
struct PreRenderData {
  A_long inputId = kInputId;
  bool wholeFrame = false;  // error diffusion: the input's whole extent in, the whole frame out
  std::uint64_t block = 1;  // the side of the blocks the input was checked out for
};

void DeletePreRenderData(void* data) { delete static_cast<PreRenderData*>(data); }

bool Empty(const PF_LRect& r) { return r.right <= r.left || r.bottom <= r.top; }

PF_LRect Intersect(const PF_LRect& a, const PF_LRect& b) {
  const PF_LRect r{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
                   a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
  return Empty(r) ? PF_LRect{0, 0, 0, 0} : r;
}

// The controls of one frame, checked out from the host at the frame's time and checked in again however
// the command ends. Parameters the render does not read stay null.
class CheckedOutControls {
 public:
  explicit CheckedOutControls(PF_InData* inData) : inData_(inData) {}
  // Throws the host's error when a checkout fails; those made before it are still checked in.
  void checkOut() {
    for (PF_ParamIndex index : {kParamPattern, kParamOffsetX, kParamOffsetY, kParamScale, kParamThresholdRed,
                                kParamThresholdGreen, kParamThresholdBlue, kParamSwatch}) {
      PF_ParamDef& def = defs_[index];
      std::memset(&def, 0, sizeof def);
      const PF_Err err = inData_->inter.checkout_param(inData_->effect_ref, index, inData_->current_time,
                                                       inData_->time_step, inData_->time_scale, &def);
      if (err != PF_Err_NONE) throw err;
      pointers_[index] = &def;
    }
  }
  ~CheckedOutControls() {
    for (PF_ParamDef* def : pointers_) {
      if (def != nullptr) inData_->inter.checkin_param(inData_->effect_ref, def);
    }
  }
  CheckedOutControls(const CheckedOutControls&) = delete;
  CheckedOutControls& operator=(const CheckedOutControls&) = delete;

  PF_ParamDef** params() { return pointers_; }

 private:
  PF_InData* inData_;
  PF_ParamDef defs_[kParamCount];
  PF_ParamDef* pointers_[kParamCount] = {};
};

RenderSettings ReadSettings(PF_InData* inData) {
  if (inData->inter.checkout_param == nullptr || inData->inter.checkin_param == nullptr)
    throw PF_Err_BAD_CALLBACK_PARAM;
  CheckedOutControls controls(inData);
  controls.checkOut();
  RenderSettings settings;
  FillRenderSettings(settings, controls.params());
  return settings;
}

bool DiffusesError(const RenderSettings& settings) {
  return settings.pattern >= 0 && static_cast<uint64_t>(settings.pattern) < kPatternCount &&
         PatternCatalogue[static_cast<std::size_t>(settings.pattern)].family == PatternFamily::ErrorDiffusion;
}

// The side of the blocks an output pixel reads its colour from: "Scale" for the ordered patterns, else 1.
std::uint64_t BlockSize(const RenderSettings& settings) {
  const bool ordered =
      settings.pattern >= 0 && static_cast<uint64_t>(settings.pattern) < kPatternCount &&
      PatternCatalogue[static_cast<std::size_t>(settings.pattern)].family == PatternFamily::Ordered;
  return ordered && settings.scale > 1 ? static_cast<std::uint64_t>(settings.scale) : 1;
}

// Only 8 and 16 bits a channel are rendered; a 32-bit frame is refused before anything is checked out.
PixelDepth DepthOf(A_short bitdepth) {
  if (bitdepth == 8) return PixelDepth::Eight;
  if (bitdepth == 16) return PixelDepth::Sixteen;
  throw PF_Err_BAD_CALLBACK_PARAM;
}

ImageView ViewOf(const PF_EffectWorld& world, PixelDepth depth) {
  ImageView view{world.data, world.rowbytes, world.width, world.height, depth};
  view.originX = world.origin_x;
  view.originY = world.origin_y;
  return view;
}

std::size_t PixelBytes(PixelDepth depth) { return depth == PixelDepth::Sixteen ? 8 : 4; }

// Error diffusion over the whole input, into an output that covers another part of the layer: the frame
// goes through a work frame of the input's size, and the part the output covers is copied out.
PF_Err DiffuseThroughWorkFrame(PF_InData* inData, const FrameDescription& frame, const ImageView& input,
                               const ImageView& output) {
  const std::size_t pixelBytes = PixelBytes(input.depth);
  const std::size_t rowBytes = static_cast<std::size_t>(input.width) * pixelBytes;
  std::vector<unsigned char> work(rowBytes * static_cast<std::size_t>(input.height));
  ImageView whole{work.data(), static_cast<std::ptrdiff_t>(rowBytes), input.width, input.height, input.depth};
  whole.originX = input.originX;
  whole.originY = input.originY;
  const PF_Err err = RunKernel(inData, frame, input, whole);
  if (err != PF_Err_NONE) return err;
  const Span columns = WrittenSpan(output.originX, output.width, input.originX, input.width, 1);
  const Span lines = WrittenSpan(output.originY, output.height, input.originY, input.height, 1);
  if (columns.end <= columns.first) return PF_Err_NONE;
  const std::size_t bytes = static_cast<std::size_t>(columns.end - columns.first) * pixelBytes;
  for (std::int64_t y = lines.first; y < lines.end; ++y) {
    const auto* from =
        static_cast<const unsigned char*>(whole.data) + (y - whole.originY) * whole.rowBytes +
        static_cast<std::ptrdiff_t>(columns.first - whole.originX) * static_cast<std::ptrdiff_t>(pixelBytes);
    auto* to =
        static_cast<unsigned char*>(output.data) + (y - output.originY) * output.rowBytes +
        static_cast<std::ptrdiff_t>(columns.first - output.originX) * static_cast<std::ptrdiff_t>(pixelBytes);
    std::memcpy(to, from, bytes);
  }
  return PF_Err_NONE;
}

}  // namespace

PF_Err SmartPreRender(PF_InData* inData, PF_OutData*, PF_PreRenderExtra* extra) {
  SuiteCache suites(inData);
  if (extra == nullptr || extra->input == nullptr || extra->output == nullptr || extra->cb == nullptr ||
      extra->cb->checkout_layer == nullptr)
    throw PF_Err_BAD_CALLBACK_PARAM;
  DepthOf(extra->input->bitdepth);
  const RenderSettings settings = ReadSettings(inData);
  auto data = std::make_unique<PreRenderData>();
  data->wholeFrame = DiffusesError(settings);
  data->block = BlockSize(settings);

  PF_RenderRequest request = extra->input->output_request;
  const PF_LRect asked = request.rect;
  PF_CheckoutResult input{};
  auto checkout = [&](A_long id, PF_CheckoutResult& result) {
    const PF_Err err =
        extra->cb->checkout_layer(inData->effect_ref, kParamInput, id, &request, inData->current_time,
                                  inData->time_step, inData->time_scale, &result);
    if (err != PF_Err_NONE) throw err;
  };
  PF_PreRenderOutput& out = *extra->output;
  if (data->wholeFrame) {
    // Every pixel depends on all the pixels before it, so no part can be rendered alone: an empty request
    // gives the input's extent, all of which is checked out and rendered, and cached as a whole.
    PF_CheckoutResult extent{};
    request.rect = PF_LRect{0, 0, 0, 0};
    checkout(kExtentId, extent);
    request.rect = extent.max_result_rect;
    checkout(kInputId, input);
    out.max_result_rect = input.max_result_rect;
    // A request that meets none of the frame needs no render.
    out.result_rect =
        Empty(Intersect(asked, input.max_result_rect)) ? PF_LRect{0, 0, 0, 0} : input.result_rect;
    out.flags |= PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS;
  } else {
    // An output pixel reads the top-left pixel of its block, which may lie left of or above the request.
    // The largest result is the input's: blocks that start inside the input are cut off at its edges,
    // and a pixel whose block starts outside it stays clear.
    if (!Empty(asked)) {
      request.rect.left = static_cast<A_long>(BlockOrigin(asked.left, data->block));
      request.rect.top = static_cast<A_long>(BlockOrigin(asked.top, data->block));
    }
    checkout(kInputId, input);
    out.max_result_rect = input.max_result_rect;
    out.result_rect = Intersect(asked, input.result_rect);
  }
  out.pre_render_data = data.release();
  out.delete_pre_render_data_func = DeletePreRenderData;
  return PF_Err_NONE;
}

PF_Err SmartRender(PF_InData* inData, PF_OutData* outData, PF_SmartRenderExtra* extra) {
  SuiteCache suites(inData);
  if (extra == nullptr || extra->input == nullptr || extra->cb == nullptr ||
      extra->cb->checkout_layer_pixels == nullptr || extra->cb->checkout_output == nullptr ||
      extra->input->pre_render_data == nullptr)
    throw PF_Err_BAD_CALLBACK_PARAM;
  const PixelDepth depth = DepthOf(extra->input->bitdepth);
  const auto& data = *static_cast<const PreRenderData*>(extra->input->pre_render_data);
  const RenderSettings settings = ReadSettings(inData);
  // The pattern decided what the pre-render checked out; a render must not read more than that.
  if (DiffusesError(settings) != data.wholeFrame || BlockSize(settings) != data.block)
    throw PF_Err_BAD_CALLBACK_PARAM;

  PF_EffectWorld* input = nullptr;
  PF_Err err = extra->cb->checkout_layer_pixels(inData->effect_ref, data.inputId, &input);
  if (err != PF_Err_NONE) return err;
  // No input pixels (an adjustment layer over nothing) or no output: nothing to render.
  if (input == nullptr) return PF_Err_NONE;
  PF_EffectWorld* output = nullptr;
  err = extra->cb->checkout_output(inData->effect_ref, &output);
  if (err != PF_Err_NONE) return err;
  if (output == nullptr) return PF_Err_NONE;
  // Worlds of another depth than the frame's would be read with the wrong pixel size.
  const bool deep = depth == PixelDepth::Sixteen;
  if (((input->world_flags & PF_WorldFlag_DEEP) != 0) != deep ||
      ((output->world_flags & PF_WorldFlag_DEEP) != 0) != deep)
    throw PF_Err_BAD_CALLBACK_PARAM;

  const RenderPalette custom(suites, inData);
  FrameDescription frame;
  const bool valid = DescribeFrame(settings, custom, frame);
  inData->utils->fill(inData->effect_ref, nullptr, nullptr, output);
  RefuseUnrenderableFrame(valid, settings, custom, outData);

  const ImageView in = ViewOf(*input, depth);
  const ImageView out = ViewOf(*output, depth);
  if (data.wholeFrame && (in.originX != out.originX || in.originY != out.originY || in.width != out.width ||
                          in.height != out.height)) {
    err = DiffuseThroughWorkFrame(inData, frame, in, out);
  } else {
    err = RunKernel(inData, frame, in, out);
  }
  if (extra->cb->checkin_layer_pixels != nullptr)
    extra->cb->checkin_layer_pixels(inData->effect_ref, data.inputId);
  return err;
}
