// The effect driven through SmartFX as After Effects drives it (minihost's smartRender): a whole frame
// equals PF_Cmd_RENDER byte for byte, any requested part equals the same pixels of the whole, error
// diffusion hands back its whole frame, and a pre-render without a render leaves nothing behind.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "plugin/param_indices.h"
#include "support/custom_palette_fixture.h"
#include "support/noise_frame.h"
#include "support/seeded_generator.h"

namespace {

constexpr A_long kPatterns = 26;
// Popup values of the error-diffusion patterns ("Floyd Steinberg" .. "Atkinson").
bool Diffuses(A_long pattern) { return pattern >= 2 && pattern <= 12; }

const Colors kCustom = {{0.0f, 0.0f, 0.0f},  {1.0f, 1.0f, 1.0f},   {0.8f, 0.1f, 0.2f},   {0.1f, 0.7f, 0.3f},
                        {0.2f, 0.25f, 0.9f}, {0.95f, 0.85f, 0.1f}, {0.45f, 0.2f, 0.55f}, {0.3f, 0.6f, 0.65f}};

std::string RectText(const PF_LRect& r) {
  std::string text("[");
  for (A_long corner : {r.left, r.top, r.right}) {
    text += std::to_string(corner);
    text += ", ";
  }
  text += std::to_string(r.bottom);
  text += ")";
  return text;
}

bool SameRect(const PF_LRect& a, const PF_LRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

PF_LRect Clip(const PF_LRect& r, const PF_LRect& bounds) {
  PF_LRect c{std::max(r.left, bounds.left), std::max(r.top, bounds.top), std::min(r.right, bounds.right),
             std::min(r.bottom, bounds.bottom)};
  if (c.right <= c.left || c.bottom <= c.top) return PF_LRect{0, 0, 0, 0};
  return c;
}

std::size_t PixelBytes(const minihost::World& world) {
  return world.depth() == minihost::Depth::Sixteen ? 8 : 4;
}

// The bytes of `part` against the same layer pixels of `whole`, each world placed in the layer at its
// origin: an empty string when every byte matches, else where the first row differs.
std::string CompareWithWhole(const minihost::World& part, const minihost::World& whole) {
  const PF_EffectWorld& p = part.pf();
  const std::size_t bytes = static_cast<std::size_t>(p.width) * PixelBytes(part);
  for (A_long v = 0; v < p.height; ++v) {
    const auto* got =
        reinterpret_cast<const unsigned char*>(p.data) + static_cast<std::ptrdiff_t>(v) * p.rowbytes;
    const auto* want = reinterpret_cast<const unsigned char*>(whole.pf().data) +
                       static_cast<std::ptrdiff_t>(p.origin_y - whole.pf().origin_y + v) * whole.rowbytes() +
                       static_cast<std::ptrdiff_t>(p.origin_x - whole.pf().origin_x) *
                           static_cast<std::ptrdiff_t>(PixelBytes(part));
    if (std::memcmp(got, want, bytes) != 0) {
      std::string text("layer row ");
      text += std::to_string(p.origin_y + v);
      text += " differs";
      return text;
    }
  }
  return {};
}

class SmartRender : public CustomPaletteTest {
 protected:
  // Pattern controls away from their defaults, and blocks of 3 so that the block grid does not line up
  // with the requests, the pattern cells or the bands of rows.
  minihost::Instance Configured(const char* swatch) {
    minihost::Instance instance = WithPalette(kCustom);
    instance.params().setFloat(kParamOffsetX, 5.0);
    instance.params().setFloat(kParamOffsetY, -2.0);
    instance.params().setFixed(kParamScale, 3 << 16);
    instance.params().setFloat(kParamThresholdRed, 40.0);
    instance.params().setFloat(kParamThresholdBlue, 12.5);
    instance.params().setPopup(kParamSwatch, std::string(swatch));
    return instance;
  }

  // PF_Cmd_RENDER of the whole layer.
  static minihost::World Rendered(minihost::Instance& instance, minihost::World& layer) {
    minihost::World output(layer.width(), layer.height(), layer.depth());
    EXPECT_EQ(instance.render(layer, output), PF_Err_NONE);
    return output;
  }

  // One SmartFX request and what must hold of any answer: no error, the output world over the
  // result_rect, that rect the request within the layer (the whole layer, returned as extra pixels, for
  // error diffusion), the largest result the layer whatever the request, and its pixels those of `whole`.
  // The layer's pixel (0, 0) lies at `origin`.
  void ExpectPartOfWhole(minihost::Instance& instance, const minihost::World& layer, PF_Point origin,
                         const PF_LRect& request, bool diffuses, const minihost::World& whole,
                         const std::string& what) {
    const PF_LRect bounds{origin.h, origin.v, origin.h + layer.width(), origin.v + layer.height()};
    const minihost::SmartFrame frame = instance.smartRender(layer, origin, request);
    const std::string where = what + ", request " + RectText(request);
    ASSERT_EQ(frame.err, PF_Err_NONE) << where;
    EXPECT_TRUE(SameRect(frame.preRender.max_result_rect, bounds)) << where;
    const PF_LRect inside = Clip(request, bounds);
    const PF_LRect expected = diffuses && inside.right > inside.left ? bounds : inside;
    ASSERT_TRUE(SameRect(frame.preRender.result_rect, expected))
        << where << ": result " << RectText(frame.preRender.result_rect);
    EXPECT_EQ((frame.preRender.flags & PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS) != 0, diffuses) << where;
    if (expected.right <= expected.left) {
      EXPECT_FALSE(frame.rendered) << where;
      return;
    }
    ASSERT_TRUE(frame.output) << where;
    EXPECT_EQ(CompareWithWhole(*frame.output, whole), "") << where;
  }

  void ExpectNoHostProblems() {
    const std::vector<std::string> problems = loaded_.host.problems();
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_EQ(loaded_.host.suitesHeld(), 0);
  }
};

// The whole layer requested gives exactly PF_Cmd_RENDER's bytes: every pattern, both depths, a custom
// palette and a built-in one.
TEST_F(SmartRender, WholeFrameEqualsTheRenderCommand) {
  for (const char* swatch : {"Custom", "PICO-8"}) {
    minihost::Instance instance = Configured(swatch);
    for (minihost::Depth depth : {minihost::Depth::Eight, minihost::Depth::Sixteen}) {
      minihost::World layer = NoiseFrame(31, 19, depth, depth == minihost::Depth::Eight ? 21u : 22u);
      for (A_long pattern = 1; pattern <= kPatterns; ++pattern) {
        instance.params().setPopup(kParamPattern, pattern);
        const std::string what = std::string(swatch) + ", pattern " + std::to_string(pattern) + ", " +
                                 std::to_string(static_cast<int>(depth)) + " bits";
        const minihost::World whole = Rendered(instance, layer);
        const minihost::SmartFrame frame = instance.smartRender(layer, PF_LRect{0, 0, 31, 19});
        ASSERT_EQ(frame.err, PF_Err_NONE) << what;
        ASSERT_TRUE(frame.output) << what;
        EXPECT_EQ(frame.output->pf().origin_x, 0);
        EXPECT_EQ(frame.output->packedBytes(), whole.packedBytes()) << what;
        EXPECT_TRUE(frame.output->paddingIntact()) << what;
      }
    }
  }
  ExpectNoHostProblems();
}

// Random requests, inside the layer, across its edges, wholly outside it and empty, give exactly the
// pixels of the whole frame at the same layer positions, whatever their corners: the patterns and the
// blocks of "Scale" belong to the layer, not to the request.
TEST_F(SmartRender, AnyRequestGivesThePixelsOfTheWholeFrame) {
  minihost::Instance instance = Configured("Custom");
  palettrix_test::SeededGenerator random(2026);
  for (minihost::Depth depth : {minihost::Depth::Eight, minihost::Depth::Sixteen}) {
    minihost::World layer = NoiseFrame(29, 23, depth, depth == minihost::Depth::Eight ? 31u : 32u);
    for (A_long pattern = 1; pattern <= kPatterns; ++pattern) {
      instance.params().setPopup(kParamPattern, pattern);
      const std::string what =
          "pattern " + std::to_string(pattern) + ", " + std::to_string(static_cast<int>(depth)) + " bits";
      const minihost::World whole = Rendered(instance, layer);
      // Corners from -4 to 4 past the layer; a request may come out empty or reversed.
      auto corner = [&random](A_long size) { return static_cast<A_long>(random.below(size + 9)) - 4; };
      std::vector<PF_LRect> requests = {
          {1, 1, 2, 2}, {28, 22, 29, 23}, {-5, -5, 40, 40}, {30, 0, 35, 5}, {4, 4, 4, 9}};
      for (int i = 0; i < 12; ++i) {
        const A_long x = corner(29), y = corner(23);
        requests.push_back(PF_LRect{x, y, x + corner(29) + 4, y + corner(23) + 4});
      }
      for (const PF_LRect& request : requests) {
        ExpectPartOfWhole(instance, layer, PF_Point{0, 0}, request, Diffuses(pattern), whole, what);
      }
    }
  }
  ExpectNoHostProblems();
}

// A layer whose pixels do not start at layer position 0 (one an earlier effect grew or moved): any request
// gives the pixels of its whole frame. Threshold and error diffusion do not depend on where the layer lies,
// so its whole frame is PF_Cmd_RENDER's bytes; for the ordered patterns, blocks of 3 from layer position 0
// start before the layer's first column, so that column stays transparent.
TEST_F(SmartRender, LayersAwayFromTheOriginRenderTheirPartsAsTheirWhole) {
  minihost::Instance instance = Configured("Custom");
  palettrix_test::SeededGenerator random(77);
  for (const PF_Point origin : {PF_Point{-7, -4}, PF_Point{5, 3}}) {
    for (minihost::Depth depth : {minihost::Depth::Eight, minihost::Depth::Sixteen}) {
      minihost::World layer = NoiseFrame(23, 17, depth, 91);
      const PF_LRect bounds{origin.h, origin.v, origin.h + 23, origin.v + 17};
      for (A_long pattern = 1; pattern <= kPatterns; ++pattern) {
        instance.params().setPopup(kParamPattern, pattern);
        const std::string what =
            "pattern " + std::to_string(pattern) + ", origin " + std::to_string(origin.h);
        const minihost::SmartFrame whole = instance.smartRender(layer, origin, bounds);
        ASSERT_EQ(whole.err, PF_Err_NONE) << what;
        ASSERT_TRUE(whole.output) << what;
        ASSERT_EQ(whole.output->pf().origin_x, origin.h) << what;
        if (pattern == 1 || Diffuses(pattern)) {
          EXPECT_EQ(whole.output->packedBytes(), Rendered(instance, layer).packedBytes()) << what;
        } else {
          for (A_long v = 0; v < 17; ++v) {
            const auto* first = reinterpret_cast<const unsigned char*>(whole.output->pf().data) +
                                static_cast<std::ptrdiff_t>(v) * whole.output->rowbytes();
            EXPECT_EQ(std::vector<unsigned char>(first, first + PixelBytes(layer)),
                      std::vector<unsigned char>(PixelBytes(layer), 0))
                << what << ", row " << v;
          }
        }
        auto corner = [&random](A_long from, A_long size) {
          return from + static_cast<A_long>(random.below(static_cast<uint64_t>(size) + 9)) - 4;
        };
        for (int i = 0; i < 8; ++i) {
          const A_long x = corner(origin.h, 23), y = corner(origin.v, 17);
          const PF_LRect request{x, y, x + corner(0, 23) + 4, y + corner(0, 17) + 4};
          ExpectPartOfWhole(instance, layer, origin, request, Diffuses(pattern), *whole.output, what);
        }
      }
    }
  }
  ExpectNoHostProblems();
}

// A pre-render alone (the host wanting only the bounds, or finding the output unused) and an empty
// request leave nothing held: the host deletes the pre-render data through the effect's function, and
// every suite and parameter checkout is given back.
TEST_F(SmartRender, PreRenderWithoutRenderLeavesNothing) {
  minihost::Instance instance = Configured("PICO-8");
  minihost::World layer = NoiseFrame(9, 7, minihost::Depth::Eight, 41);
  for (A_long pattern : {1, 2, 13}) {
    instance.params().setPopup(kParamPattern, pattern);
    for (const PF_LRect& request : {PF_LRect{0, 0, 9, 7}, PF_LRect{0, 0, 0, 0}}) {
      const minihost::SmartFrame frame = instance.smartRender(layer, request, false);
      EXPECT_EQ(frame.err, PF_Err_NONE) << pattern;
      EXPECT_FALSE(frame.rendered);
      EXPECT_NE(frame.preRender.delete_pre_render_data_func, nullptr) << pattern;
      EXPECT_TRUE(SameRect(frame.preRender.max_result_rect, PF_LRect{0, 0, 9, 7})) << pattern;
    }
  }
  ExpectNoHostProblems();
}

// 32 bits a channel is not rendered yet: the pre-render refuses the frame before checking anything out.
TEST_F(SmartRender, FloatFramesAreRefused) {
  minihost::Instance instance = Configured("PICO-8");
  minihost::World layer(6, 4, minihost::Depth::ThirtyTwo);
  const minihost::SmartFrame frame = instance.smartRender(layer, PF_LRect{0, 0, 6, 4});
  EXPECT_EQ(frame.err, PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_FALSE(frame.rendered);
  EXPECT_TRUE(frame.checkouts.empty());
  ExpectNoHostProblems();
}

// SmartFX callbacks of the test's own, for worlds minihost's smartRender never hands out: the input's
// extent is `layer`, and the render gets `input` and `output` as they are set, null ones included.
struct OwnCallbacks {
  static inline PF_LRect layer{};
  static inline PF_EffectWorld* input = nullptr;
  static inline PF_EffectWorld* output = nullptr;
  static inline int outputCheckouts = 0;

  static PF_Err CheckoutLayer(PF_ProgPtr, PF_ParamIndex, A_long, const PF_RenderRequest* req, A_long, A_long,
                              A_u_long, PF_CheckoutResult* result) {
    *result = PF_CheckoutResult{};
    result->result_rect = Clip(req->rect, layer);
    result->max_result_rect = layer;
    result->par = PF_RationalScale{1, 1};
    return PF_Err_NONE;
  }
  static PF_Err GuidMixIn(PF_ProgPtr, A_u_long, const void*) { return PF_Err_NONE; }
  static PF_Err Pixels(PF_ProgPtr, A_long, PF_EffectWorld** world) {
    *world = input;
    return PF_Err_NONE;
  }
  static PF_Err Checkin(PF_ProgPtr, A_long) { return PF_Err_NONE; }
  static PF_Err Output(PF_ProgPtr, PF_EffectWorld** world) {
    ++outputCheckouts;
    *world = output;
    return PF_Err_NONE;
  }
};

// Pre-render and render of the whole of OwnCallbacks::layer through the entry point; the pre-render data
// is deleted after, as the host deletes it.
PF_Err RenderWithOwnCallbacks(LoadedEffect& loaded, minihost::Instance& instance, A_short bitdepth) {
  PF_InData in = loaded.host.makeInData(&instance.params());
  in.sequence_data = instance.sequenceData();
  PF_PreRenderInput preInput{};
  preInput.output_request.rect = OwnCallbacks::layer;
  preInput.output_request.channel_mask = PF_ChannelMask_ARGB;
  preInput.bitdepth = bitdepth;
  PF_PreRenderOutput preOutput{};
  PF_PreRenderCallbacks preCallbacks{OwnCallbacks::CheckoutLayer, OwnCallbacks::GuidMixIn};
  PF_PreRenderExtra preExtra{&preInput, &preOutput, &preCallbacks};
  PF_OutData out{};
  PF_Err err = loaded.host.call(loaded.effect.entryPoint(), PF_Cmd_SMART_PRE_RENDER, in, out, nullptr,
                                nullptr, &preExtra);
  if (err != PF_Err_NONE) return err;
  PF_SmartRenderInput input{};
  input.output_request = preInput.output_request;
  input.bitdepth = bitdepth;
  input.pre_render_data = preOutput.pre_render_data;
  PF_SmartRenderCallbacks callbacks{OwnCallbacks::Pixels, OwnCallbacks::Checkin, OwnCallbacks::Output};
  PF_SmartRenderExtra extra{&input, &callbacks};
  err = loaded.host.call(loaded.effect.entryPoint(), PF_Cmd_SMART_RENDER, in, out, nullptr, nullptr, &extra);
  if (preOutput.delete_pre_render_data_func != nullptr)
    preOutput.delete_pre_render_data_func(input.pre_render_data);
  return err;
}

// A checkout that gives no world renders nothing and is no error: no input (the output is then never
// asked for), or no output.
TEST_F(SmartRender, NoWorldFromACheckoutRendersNothing) {
  minihost::Instance instance = Configured("PICO-8");
  minihost::World layer = NoiseFrame(6, 5, minihost::Depth::Eight, 51);
  OwnCallbacks::layer = PF_LRect{0, 0, 6, 5};
  for (A_long pattern : {1, 2, 13}) {
    instance.params().setPopup(kParamPattern, pattern);
    OwnCallbacks::input = nullptr;
    OwnCallbacks::output = nullptr;
    OwnCallbacks::outputCheckouts = 0;
    EXPECT_EQ(RenderWithOwnCallbacks(loaded_, instance, 8), PF_Err_NONE) << pattern;
    EXPECT_EQ(OwnCallbacks::outputCheckouts, 0) << pattern;
    OwnCallbacks::input = &layer.pf();
    EXPECT_EQ(RenderWithOwnCallbacks(loaded_, instance, 8), PF_Err_NONE) << pattern;
    EXPECT_EQ(OwnCallbacks::outputCheckouts, 1) << pattern;
  }
  ExpectNoHostProblems();
}

// Error diffusion into an output world that covers only part of the frame (a host that does not take the
// whole frame it was offered) still diffuses over the whole input: the part holds the whole render's
// pixels, at both depths.
TEST_F(SmartRender, DiffusionIntoPartOfTheFrameGivesThePixelsOfTheWhole) {
  minihost::Instance instance = Configured("Custom");
  instance.params().setPopup(kParamPattern, 2);  // "Floyd Steinberg"
  for (minihost::Depth depth : {minihost::Depth::Eight, minihost::Depth::Sixteen}) {
    minihost::World layer = NoiseFrame(17, 11, depth, 61);
    const minihost::World whole = Rendered(instance, layer);
    minihost::World part(9, 4, depth);
    part.pf().origin_x = 5;
    part.pf().origin_y = 6;
    OwnCallbacks::layer = PF_LRect{0, 0, 17, 11};
    OwnCallbacks::input = &layer.pf();
    OwnCallbacks::output = &part.pf();
    ASSERT_EQ(RenderWithOwnCallbacks(loaded_, instance, static_cast<A_short>(depth)), PF_Err_NONE);
    EXPECT_EQ(CompareWithWhole(part, whole), "") << static_cast<int>(depth) << " bits";
    EXPECT_TRUE(part.paddingIntact());
  }
  ExpectNoHostProblems();
}

}  // namespace
