// SmartFX as After Effects drives it: the pre-render with its layer checkouts, the render with its pixel
// and output checkouts, and the disposal of the effect's pre-render data, with the host's checks on how
// the effect uses the checkouts.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "minihost/host_error.h"
#include "minihost/host_impl.h"
#include "minihost/instance.h"

namespace minihost {

// One layer checkout of a pre-render: what was asked and answered, and its pixels once taken.
struct SmartCheckout {
  PF_ParamIndex index = 0;
  A_long time = 0;
  A_long timeStep = 0;
  A_u_long timeScale = 0;
  PF_RenderRequest request{};
  PF_CheckoutResult result{};
  bool pixelsTaken = false;
  bool checkedIn = false;
  std::unique_ptr<World> pixels;
};

struct SmartSession {
  enum class Phase { PreRender, Render };
  std::mutex mutex;
  Phase phase = Phase::PreRender;
  const World* layer = nullptr;
  PF_Point origin{};  // the layer position of the layer world's pixel (0, 0)
  std::map<A_long, SmartCheckout> checkouts;
  PF_LRect outputRect{};
  bool inputTaken = false;
  std::unique_ptr<World> output;
};

namespace {

bool Empty(const PF_LRect& r) { return r.right <= r.left || r.bottom <= r.top; }

PF_LRect Intersect(const PF_LRect& a, const PF_LRect& b) {
  const PF_LRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                   std::min(a.bottom, b.bottom)};
  return Empty(r) ? PF_LRect{0, 0, 0, 0} : r;
}

bool Contains(const PF_LRect& outer, const PF_LRect& inner) {
  return Empty(inner) || (inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
                          inner.bottom <= outer.bottom);
}

std::string RectText(const PF_LRect& r) {
  std::string text("[");
  text += std::to_string(r.left);
  text += ", ";
  text += std::to_string(r.top);
  text += ", ";
  text += std::to_string(r.right);
  text += ", ";
  text += std::to_string(r.bottom);
  text += ")";
  return text;
}

// A world over `rect` in layer coordinates, its origin at the rectangle's top-left.
std::unique_ptr<World> WorldOver(const PF_LRect& rect, Depth depth) {
  auto world = std::make_unique<World>(rect.right - rect.left, rect.bottom - rect.top, depth);
  world->pf().origin_x = rect.left;
  world->pf().origin_y = rect.top;
  return world;
}

// The session of the command running with `effectRef`, when it is in `phase`; else records why not.
SmartSession* SessionOf(PF_ProgPtr effectRef, SmartSession::Phase phase, const char* what) {
  CallContext* context = ContextOf(effectRef);
  SmartSession* session = context != nullptr ? context->smart.load() : nullptr;
  if (session != nullptr && session->phase == phase) return session;
  if (Host::Impl* impl = ImplFor(effectRef)) {
    impl->problem(std::string(what) + (context == nullptr ? " with an unknown effect reference"
                                       : phase == SmartSession::Phase::PreRender
                                           ? " outside PF_Cmd_SMART_PRE_RENDER"
                                           : " outside PF_Cmd_SMART_RENDER"));
  }
  return nullptr;
}

void Report(PF_ProgPtr effectRef, const std::string& text) {
  if (Host::Impl* impl = ImplFor(effectRef)) impl->problem(text);
}

PF_Err CheckoutLayer(PF_ProgPtr effectRef, PF_ParamIndex index, A_long checkoutId,
                     const PF_RenderRequest* req, A_long whatTime, A_long timeStep, A_u_long timeScale,
                     PF_CheckoutResult* result) {
  SmartSession* session = SessionOf(effectRef, SmartSession::Phase::PreRender, "checkout_layer");
  if (session == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  const std::string id = "checkout_layer id " + std::to_string(checkoutId);
  if (req == nullptr || result == nullptr) {
    Report(effectRef, id + " with no request or no result pointer");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  if (index != 0) {
    Report(effectRef,
           id + " of parameter " + std::to_string(index) + ": only the input layer (0) has pixels");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  if (checkoutId < 0) {
    Report(effectRef, id + ": ids are not negative");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  try {
    std::lock_guard lock(session->mutex);
    if (session->checkouts.count(checkoutId) != 0) {
      Report(effectRef, id + " used twice in one pre-render");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    const PF_LRect bounds{session->origin.h, session->origin.v, session->origin.h + session->layer->width(),
                          session->origin.v + session->layer->height()};
    SmartCheckout& checkout = session->checkouts[checkoutId];
    checkout.index = index;
    checkout.time = whatTime;
    checkout.timeStep = timeStep;
    checkout.timeScale = timeScale;
    checkout.request = *req;
    checkout.result = PF_CheckoutResult{};
    checkout.result.result_rect = Intersect(req->rect, bounds);
    checkout.result.max_result_rect = bounds;
    checkout.result.par = PF_RationalScale{1, 1};
    checkout.result.ref_width = session->layer->width();
    checkout.result.ref_height = session->layer->height();
    *result = checkout.result;
    return PF_Err_NONE;
  } catch (const std::bad_alloc&) {
    return PF_Err_OUT_OF_MEMORY;
  }
}

PF_Err GuidMixIn(PF_ProgPtr, A_u_long, const void*) { return PF_Err_NONE; }

PF_Err CheckoutLayerPixels(PF_ProgPtr effectRef, A_long checkoutId, PF_EffectWorld** pixels) {
  SmartSession* session = SessionOf(effectRef, SmartSession::Phase::Render, "checkout_layer_pixels");
  if (session == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  const std::string id = "checkout_layer_pixels of id " + std::to_string(checkoutId);
  if (pixels == nullptr) {
    Report(effectRef, id + " with no result pointer");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  *pixels = nullptr;
  try {
    std::lock_guard lock(session->mutex);
    auto found = session->checkouts.find(checkoutId);
    if (found == session->checkouts.end()) {
      Report(effectRef, id + ", which the pre-render did not check out");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    SmartCheckout& checkout = found->second;
    if (checkout.pixelsTaken) {
      Report(effectRef, id + " a second time: one pixel checkout per id");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    checkout.pixelsTaken = true;
    session->inputTaken = true;
    const PF_LRect& rect = checkout.result.result_rect;
    if (Empty(rect)) return PF_Err_NONE;  // nothing there: a null world, and no error
    const World& layer = *session->layer;
    checkout.pixels = WorldOver(rect, layer.depth());
    const std::size_t pixelSize = static_cast<std::size_t>(layer.depth()) / 2;  // four channels of depth bits
    const std::size_t rowBytes = static_cast<std::size_t>(rect.right - rect.left) * pixelSize;
    const auto* from = reinterpret_cast<const unsigned char*>(layer.pf().data) +
                       static_cast<std::size_t>(rect.left - session->origin.h) * pixelSize;
    auto* to = reinterpret_cast<unsigned char*>(checkout.pixels->pf().data);
    for (A_long y = rect.top; y < rect.bottom; ++y) {
      std::memcpy(
          to + static_cast<std::size_t>(y - rect.top) * static_cast<std::size_t>(checkout.pixels->rowbytes()),
          from + static_cast<std::size_t>(y - session->origin.v) * static_cast<std::size_t>(layer.rowbytes()),
          rowBytes);
    }
    *pixels = &checkout.pixels->pf();
    return PF_Err_NONE;
  } catch (const std::bad_alloc&) {
    return PF_Err_OUT_OF_MEMORY;
  } catch (const HostError&) {
    return PF_Err_OUT_OF_MEMORY;
  }
}

PF_Err CheckinLayerPixels(PF_ProgPtr effectRef, A_long checkoutId) {
  SmartSession* session = SessionOf(effectRef, SmartSession::Phase::Render, "checkin_layer_pixels");
  if (session == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  std::lock_guard lock(session->mutex);
  auto found = session->checkouts.find(checkoutId);
  if (found == session->checkouts.end() || !found->second.pixelsTaken || found->second.checkedIn) {
    Report(effectRef,
           "checkin_layer_pixels of id " + std::to_string(checkoutId) + ", which is not checked out");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  found->second.checkedIn = true;
  // Gone at once, so that use after the checkin reads freed memory, as it may in After Effects.
  found->second.pixels.reset();
  return PF_Err_NONE;
}

PF_Err CheckoutOutput(PF_ProgPtr effectRef, PF_EffectWorld** output) {
  SmartSession* session = SessionOf(effectRef, SmartSession::Phase::Render, "checkout_output");
  if (session == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  if (output == nullptr) {
    Report(effectRef, "checkout_output with no result pointer");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  *output = nullptr;
  try {
    std::lock_guard lock(session->mutex);
    if (!session->inputTaken && !session->checkouts.empty()) {
      Report(effectRef, "checkout_output before any checkout_layer_pixels");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (!session->output) session->output = WorldOver(session->outputRect, session->layer->depth());
    *output = &session->output->pf();
    return PF_Err_NONE;
  } catch (const std::bad_alloc&) {
    return PF_Err_OUT_OF_MEMORY;
  } catch (const HostError&) {
    return PF_Err_OUT_OF_MEMORY;
  }
}

// Clears the context's session however the commands end.
class SessionScope {
 public:
  SessionScope(CallContext& context, SmartSession& session) : context_(context) {
    context_.smart.store(&session);
  }
  ~SessionScope() { context_.smart.store(nullptr); }
  SessionScope(const SessionScope&) = delete;
  SessionScope& operator=(const SessionScope&) = delete;

 private:
  CallContext& context_;
};

}  // namespace

SmartFrame Instance::smartRender(const World& layer, const PF_LRect& request, bool render, PF_OutData* out) {
  return smartRender(layer, PF_Point{0, 0}, request, render, out);
}

SmartFrame Instance::smartRender(const World& layer, PF_Point origin, const PF_LRect& request, bool render,
                                 PF_OutData* out) {
  requireActive("smart render");
  if ((effect_->outFlags2() & PF_OutFlag2_SUPPORTS_SMART_RENDER) == 0) {
    throw HostError("smart render of an effect that did not declare PF_OutFlag2_SUPPORTS_SMART_RENDER");
  }
  Host& host = effect_->host();
  Host::Impl& impl = host.impl();
  SmartSession session;
  session.layer = &layer;
  session.origin = origin;
  CallContext& context = *impl.context(&params_);
  SessionScope scope(context, session);
  const A_short bitdepth = static_cast<A_short>(layer.depth());

  SmartFrame frame;
  PF_PreRenderInput preInput{};
  preInput.output_request.rect = request;
  preInput.output_request.field = PF_Field_FRAME;
  preInput.output_request.channel_mask = PF_ChannelMask_ARGB;
  preInput.bitdepth = bitdepth;
  preInput.what_gpu = PF_GPU_Framework_NONE;
  PF_PreRenderCallbacks preCallbacks{CheckoutLayer, GuidMixIn};
  PF_PreRenderExtra preExtra{&preInput, &frame.preRender, &preCallbacks};
  PF_OutData outData{};
  frame.err = send(PF_Cmd_SMART_PRE_RENDER, outData, nullptr, &preExtra, &layer);

  const PF_PreRenderOutput& result = frame.preRender;
  if (frame.err == PF_Err_NONE && (result.flags & PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS) == 0 &&
      !Contains(request, result.result_rect)) {
    impl.problem("PF_Cmd_SMART_PRE_RENDER returned result_rect " + RectText(result.result_rect) +
                 " beyond the request " + RectText(request) + " without RETURNS_EXTRA_PIXELS");
  }
  if (frame.err == PF_Err_NONE && render && !Empty(result.result_rect)) {
    {
      std::lock_guard lock(session.mutex);
      session.phase = SmartSession::Phase::Render;
      session.outputRect = result.result_rect;
    }
    PF_SmartRenderInput input{};
    input.output_request = preInput.output_request;
    input.bitdepth = bitdepth;
    input.pre_render_data = result.pre_render_data;
    input.what_gpu = PF_GPU_Framework_NONE;
    PF_SmartRenderCallbacks callbacks{CheckoutLayerPixels, CheckinLayerPixels, CheckoutOutput};
    PF_SmartRenderExtra extra{&input, &callbacks};
    outData = PF_OutData{};
    frame.rendered = true;
    frame.err = send(PF_Cmd_SMART_RENDER, outData, nullptr, &extra, &layer);
    frame.output = std::move(session.output);
    if (frame.output && !frame.output->paddingIntact()) {
      impl.problem("PF_Cmd_SMART_RENDER wrote past the rows of the output world");
    }
  }
  for (const auto& [id, checkout] : session.checkouts) {
    frame.checkouts.push_back(SmartCheckoutRecord{id, checkout.index, checkout.time, checkout.request.rect,
                                                  checkout.result.result_rect, checkout.pixelsTaken});
  }
  // The host owns the data from the end of the pre-render, and disposes of it whatever followed.
  if (result.pre_render_data != nullptr) {
    if (result.delete_pre_render_data_func != nullptr) {
      Host::Scope current(host);
      result.delete_pre_render_data_func(result.pre_render_data);
    } else {
      impl.problem("PF_Cmd_SMART_PRE_RENDER left pre_render_data without delete_pre_render_data_func");
    }
    frame.preRender.pre_render_data = nullptr;
  }
  if (out != nullptr) *out = outData;
  return frame;
}

}  // namespace minihost
