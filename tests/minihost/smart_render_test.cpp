// SmartFX as the host drives it, through a stand-in effect that writes a function of each pixel's layer
// position: output in layer coordinates does not depend on the request, the pre-render data is deleted
// whether or not a render follows, and each misuse of the checkouts is reported.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "minihost/host_error.h"
#include "minihost/instance.h"
#include "smart_effect_script.h"
#include "test_support.h"

namespace minihost {
namespace {

using testing::FakeEffectTest;

std::array<float, 4> Floats(A_long a, A_long r, A_long g, A_long b) {
  return {static_cast<float>(a), static_cast<float>(r), static_cast<float>(g), static_cast<float>(b)};
}

std::array<A_long, 4> Corners(const PF_LRect& r) { return {r.left, r.top, r.right, r.bottom}; }

class SmartRenderTest : public ::testing::Test {
 protected:
  // A layer whose channels all differ, from a small seeded generator; float ones run from -0.25 to about
  // 1.74, beyond the 0..1 of white.
  static World Layer(Depth depth) {
    World layer(13, 9, depth);
    uint32_t state = 12345;
    const A_long max = depth == Depth::Sixteen ? PF_MAX_CHAN16 : PF_MAX_CHAN8;
    auto next = [&] {
      state = state * 1664525u + 1013904223u;
      return static_cast<A_long>((state >> 8) % static_cast<uint32_t>(max + 1));
    };
    for (A_long y = 0; y < layer.height(); ++y) {
      for (A_long x = 0; x < layer.width(); ++x) {
        if (depth == Depth::ThirtyTwo) {
          auto channel = [&] { return static_cast<float>(next() - 32) / 128.0f; };
          layer.pixelFloat(x, y) = PF_PixelFloat{channel(), channel(), channel(), channel()};
        } else if (depth == Depth::Sixteen) {
          layer.pixel16(x, y) = PF_Pixel16{static_cast<A_u_short>(next()), static_cast<A_u_short>(next()),
                                           static_cast<A_u_short>(next()), static_cast<A_u_short>(next())};
        } else {
          layer.pixel8(x, y) = PF_Pixel8{static_cast<A_u_char>(next()), static_cast<A_u_char>(next()),
                                         static_cast<A_u_char>(next()), static_cast<A_u_char>(next())};
        }
      }
    }
    return layer;
  }

  // Channels (alpha, red, green, blue) of a world's pixel at layer position (x, y); integer channels are
  // exact as floats.
  static std::array<float, 4> At(const World& world, A_long x, A_long y) {
    const A_long u = x - world.pf().origin_x;
    const A_long v = y - world.pf().origin_y;
    if (world.depth() == Depth::ThirtyTwo) {
      const PF_PixelFloat& p = world.pixelFloat(u, v);
      return {p.alpha, p.red, p.green, p.blue};
    }
    if (world.depth() == Depth::Sixteen) {
      const PF_Pixel16& p = world.pixel16(u, v);
      return Floats(p.alpha, p.red, p.green, p.blue);
    }
    const PF_Pixel8& p = world.pixel8(u, v);
    return Floats(p.alpha, p.red, p.green, p.blue);
  }

  // The stand-in's output at (x, y) worked from its input: integer red and green wrap past the maximum.
  static std::array<float, 4> Expected(const World& layer, A_long x, A_long y) {
    const std::array<float, 4> in = At(layer, x, y);
    if (layer.depth() == Depth::ThirtyTwo) {
      return {in[0], in[1] + static_cast<float>(x) / 8.0f, in[2] + static_cast<float>(y) / 4.0f, in[3]};
    }
    const int max = layer.depth() == Depth::Sixteen ? 32768 : 255;
    return {in[0], static_cast<float>((static_cast<int>(in[1]) + x) % (max + 1)),
            static_cast<float>((static_cast<int>(in[2]) + 2 * y) % (max + 1)), in[3]};
  }

  SmartFrame run(smart::Mode mode, const World& layer, const PF_LRect& request, bool render = true) {
    instance.params().setPopup(1, mode);
    return instance.smartRender(layer, request, render);
  }

  Host host{Host::Options{1, PF_ApplID_AfterEffects}};
  Effect effect{host, SMART_EFFECT_PATH};
  Instance instance{effect};
};

TEST_F(SmartRenderTest, SubRectanglesGiveTheFullFramesPixelsInLayerCoordinates) {
  for (Depth depth : {Depth::Eight, Depth::Sixteen, Depth::ThirtyTwo}) {
    SCOPED_TRACE(static_cast<int>(depth));
    const World layer = Layer(depth);
    const std::size_t handles = host.liveHandles();
    const SmartFrame full = run(smart::kCopy, layer, PF_LRect{0, 0, 13, 9});
    ASSERT_EQ(full.err, PF_Err_NONE);
    ASSERT_TRUE(full.output);
    EXPECT_EQ(full.output->pf().origin_x, 0);
    EXPECT_EQ(full.output->pf().origin_y, 0);
    EXPECT_EQ(full.output->depth(), depth);
    for (A_long y = 0; y < 9; ++y) {
      for (A_long x = 0; x < 13; ++x) {
        ASSERT_EQ(At(*full.output, x, y), Expected(layer, x, y)) << x << ", " << y;
      }
    }
    // Requests inside, across the edges and beyond the layer: the result is the request within the layer.
    const struct {
      PF_LRect request;
      PF_LRect result;
    } cases[] = {
        {{3, 2, 9, 7}, {3, 2, 9, 7}},
        {{12, 8, 13, 9}, {12, 8, 13, 9}},
        {{10, 5, 20, 20}, {10, 5, 13, 9}},
        {{-4, -3, 2, 2}, {0, 0, 2, 2}},
    };
    for (const auto& c : cases) {
      const SmartFrame part = run(smart::kCopy, layer, c.request);
      ASSERT_EQ(part.err, PF_Err_NONE);
      EXPECT_EQ(Corners(part.preRender.result_rect), Corners(c.result));
      ASSERT_TRUE(part.output);
      EXPECT_EQ(part.output->pf().origin_x, c.result.left);
      EXPECT_EQ(part.output->pf().origin_y, c.result.top);
      EXPECT_EQ(part.output->width(), c.result.right - c.result.left);
      EXPECT_EQ(part.output->height(), c.result.bottom - c.result.top);
      for (A_long y = c.result.top; y < c.result.bottom; ++y) {
        for (A_long x = c.result.left; x < c.result.right; ++x) {
          ASSERT_EQ(At(*part.output, x, y), At(*full.output, x, y)) << x << ", " << y;
        }
      }
    }
    EXPECT_EQ(host.liveHandles(), handles);
  }
  EXPECT_TRUE(host.problems().empty());
}

// A layer placed away from layer position 0: the checkouts' bounds, the largest result and the worlds sit
// where it lies, and a request gives the pixels of those layer positions.
TEST_F(SmartRenderTest, ALayerPlacedAwayFromTheOriginIsCheckedOutWhereItLies) {
  World layer = Layer(Depth::Eight);
  layer.pf().origin_x = -3;  // read by At(); smartRender places the layer by its own argument
  layer.pf().origin_y = 5;
  instance.params().setPopup(1, smart::kCopy);
  const SmartFrame part = instance.smartRender(layer, PF_Point{-3, 5}, PF_LRect{-5, 4, 2, 9});
  ASSERT_EQ(part.err, PF_Err_NONE);
  ASSERT_EQ(part.checkouts.size(), 1u);
  EXPECT_EQ(Corners(part.checkouts[0].result), Corners(PF_LRect{-3, 5, 2, 9}));
  EXPECT_EQ(Corners(part.preRender.max_result_rect), Corners(PF_LRect{-3, 5, 10, 14}));
  ASSERT_TRUE(part.output);
  EXPECT_EQ(part.output->pf().origin_x, -3);
  EXPECT_EQ(part.output->pf().origin_y, 5);
  for (A_long y = 5; y < 9; ++y) {
    for (A_long x = -3; x < 2; ++x)
      ASSERT_EQ(At(*part.output, x, y), Expected(layer, x, y)) << x << ", " << y;
  }
  EXPECT_TRUE(host.problems().empty());
}

TEST_F(SmartRenderTest, PreRenderDataIsDeletedWhenNoRenderFollows) {
  const World layer = Layer(Depth::Eight);
  const std::size_t handles = host.liveHandles();
  // The host asks only for bounds; then a request wholly outside the layer, which yields nothing.
  const SmartFrame boundsOnly = run(smart::kCopy, layer, PF_LRect{0, 0, 13, 9}, false);
  const SmartFrame outside = run(smart::kCopy, layer, PF_LRect{20, 20, 30, 30});
  for (const SmartFrame* frame : {&boundsOnly, &outside}) {
    EXPECT_EQ(frame->err, PF_Err_NONE);
    EXPECT_FALSE(frame->rendered);
    EXPECT_FALSE(frame->output);
    EXPECT_EQ(frame->preRender.pre_render_data, nullptr);
    EXPECT_EQ(frame->preRender.max_result_rect.right, 13);
    EXPECT_EQ(frame->preRender.max_result_rect.bottom, 9);
  }
  EXPECT_EQ(host.liveHandles(), handles);
  EXPECT_TRUE(host.problems().empty());
}

TEST_F(SmartRenderTest, MisusedCheckoutsAreReportedAndRefused) {
  const World layer = Layer(Depth::Sixteen);
  const std::size_t handles = host.liveHandles();
  const struct {
    smart::Mode mode;
    PF_Err err;
    const char* problem;
  } cases[] = {
      {smart::kPixelsTwice, PF_Err_BAD_CALLBACK_PARAM, "a second time"},
      {smart::kOutputFirst, PF_Err_BAD_CALLBACK_PARAM, "checkout_output before any checkout_layer_pixels"},
      {smart::kUnknownId, PF_Err_BAD_CALLBACK_PARAM, "id 99, which the pre-render did not check out"},
      {smart::kParamLeftOut, PF_Err_NONE, "parameter checkout(s) not checked in by command 23"},
      {smart::kBeyondRequest, PF_Err_NONE, "result_rect [0, 0, 13, 9) beyond the request [2, 2, 6, 6)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.problem);
    host.clearProblems();
    const SmartFrame frame = run(c.mode, layer, PF_LRect{2, 2, 6, 6});
    EXPECT_EQ(frame.err, c.err);
    EXPECT_TRUE(testing::OneProblemMentioning(host, c.problem));
  }
  EXPECT_EQ(host.liveHandles(), handles);
}

TEST_F(SmartRenderTest, AnEmptyCheckoutGivesANullWorldAndNoError) {
  const SmartFrame frame = run(smart::kEmptyCheckout, Layer(Depth::Eight), PF_LRect{1, 1, 4, 4});
  EXPECT_EQ(frame.err, PF_Err_NONE);  // the effect fails when the world is not null
  EXPECT_TRUE(frame.rendered);
  EXPECT_TRUE(host.problems().empty());
  // Both checkouts were recorded with what was asked and answered, and both had their pixels taken.
  ASSERT_EQ(frame.checkouts.size(), 2u);
  EXPECT_EQ(frame.checkouts[0].id, 0);
  EXPECT_EQ(Corners(frame.checkouts[0].request), Corners(PF_LRect{1, 1, 4, 4}));
  EXPECT_EQ(Corners(frame.checkouts[0].result), Corners(PF_LRect{1, 1, 4, 4}));
  EXPECT_EQ(frame.checkouts[1].id, 1);
  EXPECT_EQ(Corners(frame.checkouts[1].result), Corners(PF_LRect{0, 0, 0, 0}));
  EXPECT_TRUE(frame.checkouts[0].pixelsTaken && frame.checkouts[1].pixelsTaken);
}

TEST_F(FakeEffectTest, AnEffectWithoutSmartRenderIsNotDrivenThroughIt) {
  Instance instance(effect);
  World layer(4, 4, Depth::Eight);
  EXPECT_THROW(instance.smartRender(layer, PF_LRect{0, 0, 4, 4}), HostError);
  // Nor do float worlds go to PF_Cmd_RENDER, which knows 8 and 16 bits only.
  World real(4, 4, Depth::ThirtyTwo);
  EXPECT_THROW(instance.render(real, real), HostError);
  EXPECT_THROW(instance.render(layer, real), HostError);
}

}  // namespace
}  // namespace minihost
