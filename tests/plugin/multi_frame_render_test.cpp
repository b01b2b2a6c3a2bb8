// The effect under multi-frame rendering as minihost runs it: render copies made from the interface
// instance's flattened data, several frames of one copy at once, copies made and set down while others
// render, and the flattened copy the host asks for.
#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "minihost/render_copy.h"
#include "minihost/saved_state.h"
#include "plugin/param_indices.h"
#include "support/custom_palette_fixture.h"
#include "support/noise_frame.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Nine colours of no regular pattern, so that the nearest-colour search has real work to do.
const std::vector<std::array<float, 3>> kCustom = {
    {0.0f, 0.0f, 0.0f},   {1.0f, 1.0f, 1.0f},   {0.8f, 0.1f, 0.2f},  {0.1f, 0.7f, 0.3f}, {0.2f, 0.25f, 0.9f},
    {0.95f, 0.85f, 0.1f}, {0.45f, 0.2f, 0.55f}, {0.3f, 0.6f, 0.65f}, {0.5f, 0.5f, 0.5f}};

Bytes HandleBytes(minihost::Host& host, PF_Handle handle) {
  const auto* data = static_cast<const uint8_t*>(host.handleData(handle));
  return Bytes(data, data + host.handleSize(handle));
}

class MultiFrameRender : public CustomPaletteTest {
 protected:
  // Two host threads: one frame at a time gets the pool, the others iterate on their own thread.
  MultiFrameRender() : CustomPaletteTest(minihost::Host::Options{2}) {}

  minihost::Instance WithCustomPalette() { return WithPalette(kCustom); }
};

// Frames of one render copy rendered by several threads at once equal the interface instance's serial
// renders byte for byte: every pattern, a custom palette and three built-in kinds, both depths.
TEST_F(MultiFrameRender, ConcurrentFramesOfOneCopyEqualSerialRenders) {
  minihost::Instance instance = WithCustomPalette();
  // Pattern controls away from their defaults, so that the ordered patterns use them.
  instance.params().setFloat(kParamOffsetX, 3.0);
  instance.params().setFloat(kParamOffsetY, -2.0);
  instance.params().setFixed(kParamScale, 2 << 16);
  instance.params().setFloat(kParamThresholdRed, 12.5);
  minihost::RenderCopy copy(instance);

  constexpr int kThreads = 4;
  for (minihost::Depth depth : {minihost::Depth::Eight, minihost::Depth::Sixteen}) {
    minihost::World input = NoiseFrame(29, 17, depth, depth == minihost::Depth::Eight ? 7u : 8u);
    for (const char* swatch : {"Custom", "PICO-8", "6-bit RGB", "2-bit Gray"}) {
      for (A_long pattern = 1; pattern <= 26; ++pattern) {
        instance.params().setPopup(kParamPattern, pattern);
        instance.params().setPopup(kParamSwatch, std::string(swatch));
        const std::string what = std::string(swatch) + ", pattern " + std::to_string(pattern) + ", " +
                                 std::to_string(static_cast<int>(depth)) + " bits";
        minihost::World serial(input.width(), input.height(), depth);
        ASSERT_EQ(instance.render(input, serial), PF_Err_NONE) << what;
        const std::vector<unsigned char> expected = serial.packedBytes();

        std::vector<minihost::World> outputs;
        for (int i = 0; i < 2 * kThreads; ++i) outputs.emplace_back(input.width(), input.height(), depth);
        std::vector<PF_Err> errors(outputs.size(), -1);
        std::vector<std::thread> threads;
        std::atomic<int> ready{0};
        for (int t = 0; t < kThreads; ++t) {
          threads.emplace_back([&, t] {
            // Start together, so that the renders overlap.
            ++ready;
            while (ready.load() < kThreads) std::this_thread::yield();
            for (int k = t; k < 2 * kThreads; k += kThreads) {
              const auto i = static_cast<std::size_t>(k);
              errors[i] = copy.render(input, outputs[i], instance.params());
            }
          });
        }
        for (std::thread& thread : threads) thread.join();
        for (std::size_t i = 0; i < outputs.size(); ++i) {
          ASSERT_EQ(errors[i], PF_Err_NONE) << what;
          ASSERT_EQ(outputs[i].packedBytes(), expected) << what << ", frame " << i;
          ASSERT_TRUE(outputs[i].paddingIntact()) << what;
        }
      }
    }
  }
  EXPECT_TRUE(loaded_.host.problems().empty()) << loaded_.host.problems().front();
  EXPECT_EQ(loaded_.host.suitesHeld(), 0);
}

// The copy renders the palette it was made with, from its own data: the interface instance may change or
// go away meanwhile, and a host without the read-only suite still gets the palette from the in-data record.
TEST_F(MultiFrameRender, ACopyKeepsItsOwnPaletteAndTheInDataRecordStillServes) {
  minihost::Instance instance = WithCustomPalette();
  instance.params().setPopup(kParamSwatch, std::string("Custom"));
  instance.params().setPopup(kParamPattern, std::string("Floyd Steinberg"));
  minihost::World input = NoiseFrame(23, 11, minihost::Depth::Eight, 3);
  minihost::World expected(23, 11, minihost::Depth::Eight), got(23, 11, minihost::Depth::Eight);
  ASSERT_EQ(instance.render(input, expected), PF_Err_NONE);

  auto copy = std::make_unique<minihost::RenderCopy>(instance);
  ASSERT_NE(copy->sequenceData(), instance.sequenceData());
  // The reset button leaves the interface instance with black alone; the copy is not touched.
  ASSERT_EQ(instance.pressButton(kParamResetPalette), PF_Err_NONE);
  instance.remove();
  ASSERT_EQ(copy->render(input, got), PF_Err_NONE);
  EXPECT_EQ(got.packedBytes(), expected.packedBytes());
  copy.reset();

  // Without the suite the render falls back to in_data->sequence_data, which an instance's render carries.
  minihost::Instance again = WithCustomPalette();
  again.params() = instance.params();
  loaded_.host.refuseSuite(kPFEffectSequenceDataSuite);
  ASSERT_EQ(again.render(input, got), PF_Err_NONE);
  EXPECT_EQ(got.packedBytes(), expected.packedBytes());
  loaded_.host.allowAllSuites();
  EXPECT_TRUE(loaded_.host.problems().empty()) << loaded_.host.problems().front();
}

// The host's side of a palette change: the reset button answers FORCE_RERENDER, which replaces the render
// copy; a frame still holding the old copy renders the old palette to the end.
TEST_F(MultiFrameRender, ARerenderReplacesTheCopyAndOldFramesKeepTheirs) {
  minihost::Instance instance = WithCustomPalette();
  instance.params().setPopup(kParamSwatch, std::string("Custom"));
  instance.params().setPopup(kParamPattern, std::string("Threshold"));
  minihost::World input = NoiseFrame(8, 4, minihost::Depth::Eight, 9);
  minihost::World withColours(8, 4, minihost::Depth::Eight);
  ASSERT_EQ(instance.render(input, withColours), PF_Err_NONE);

  minihost::RenderCopies copies(instance);
  const std::shared_ptr<minihost::RenderCopy> old = copies.current();
  ASSERT_EQ(copies.pressButton(kParamResetPalette), PF_Err_NONE);
  ASSERT_NE(copies.current(), old);
  minihost::World out(8, 4, minihost::Depth::Eight);
  ASSERT_EQ(copies.current()->render(input, out), PF_Err_NONE);
  // "Threshold" on black alone: every colour channel 0, alpha kept.
  for (A_long y = 0; y < 4; ++y) {
    for (A_long x = 0; x < 8; ++x) {
      EXPECT_EQ(out.pixel8(x, y).red, 0);
      EXPECT_EQ(out.pixel8(x, y).green, 0);
      EXPECT_EQ(out.pixel8(x, y).blue, 0);
      EXPECT_EQ(out.pixel8(x, y).alpha, input.pixel8(x, y).alpha);
    }
  }
  ASSERT_EQ(old->render(input, out), PF_Err_NONE);
  EXPECT_EQ(out.packedBytes(), withColours.packedBytes());

  // A changed value reaches the copies too.
  instance.params().setPopup(kParamSwatch, std::string("1-bit Gray"));
  const std::shared_ptr<minihost::RenderCopy> before = copies.current();
  ASSERT_EQ(copies.changed(kParamSwatch), PF_Err_NONE);
  EXPECT_NE(copies.current(), before);
  EXPECT_EQ(copies.current()->params()[kParamSwatch].u.pd.value, instance.params()[kParamSwatch].u.pd.value);
  EXPECT_TRUE(loaded_.host.problems().empty()) << loaded_.host.problems().front();
}

// GET_FLATTENED_SEQUENCE_DATA: the bytes flatten writes, in a new handle the host owns; the live data
// untouched and still rendering; with no sequence data, NULL said explicitly.
TEST_F(MultiFrameRender, GetFlattenedGivesAnIndependentCopyOfWhatFlattenWrites) {
  minihost::Host& host = loaded_.host;
  minihost::Instance instance = WithCustomPalette();
  instance.params().setPopup(kParamSwatch, std::string("Custom"));
  minihost::World input = NoiseFrame(16, 9, minihost::Depth::Sixteen, 5);
  minihost::World before(16, 9, minihost::Depth::Sixteen), after(16, 9, minihost::Depth::Sixteen);
  ASSERT_EQ(instance.render(input, before), PF_Err_NONE);

  const PF_Handle live = instance.sequenceData();
  const Bytes liveBytes = HandleBytes(host, live);
  const std::size_t handlesBefore = host.liveHandles();
  PF_Handle flat = instance.flattenedCopy();
  ASSERT_NE(flat, nullptr);
  EXPECT_NE(flat, live);
  EXPECT_EQ(HandleBytes(host, flat), Flat(kCustom));
  EXPECT_EQ(host.lockCount(flat), 0);
  EXPECT_EQ(instance.sequenceData(), live);
  EXPECT_EQ(HandleBytes(host, live), liveBytes);
  EXPECT_EQ(host.liveHandles(), handlesBefore + 1);
  // The host disposes it; the instance neither knows nor cares.
  host.disposeHandle(flat);
  EXPECT_EQ(host.liveHandles(), handlesBefore);
  ASSERT_EQ(instance.render(input, after), PF_Err_NONE);
  EXPECT_EQ(after.packedBytes(), before.packedBytes());

  // What a save flattens is the same bytes.
  EXPECT_EQ(minihost::DecodeSavedState(instance.save()).sequenceData, Flat(kCustom));

  // Flat data (a saved palette of two colours and a stray byte) gives its whole records, and stays.
  const Bytes stored = Flat({{0.25f, 0.5f, 0.75f}, {1.0f, 0.0f, 0.5f}});
  Bytes odd = stored;
  odd.push_back(0xEE);
  PF_Handle storedHandle = host.newHandle(odd.size());
  std::memcpy(host.handleData(storedHandle), odd.data(), odd.size());
  PF_InData in = host.makeInData(&instance.params());
  in.sequence_data = storedHandle;
  PF_OutData out{};
  ASSERT_EQ(host.call(loaded_.effect.entryPoint(), PF_Cmd_GET_FLATTENED_SEQUENCE_DATA, in, out,
                      instance.params().array(), nullptr, nullptr),
            PF_Err_NONE);
  ASSERT_NE(out.sequence_data, nullptr);
  EXPECT_NE(out.sequence_data, storedHandle);
  EXPECT_EQ(HandleBytes(host, out.sequence_data), stored);
  EXPECT_EQ(HandleBytes(host, storedHandle), odd);
  host.disposeHandle(out.sequence_data);
  host.disposeHandle(storedHandle);

  // No sequence data: the field is cleared, whatever it held.
  in.sequence_data = nullptr;
  out.sequence_data = reinterpret_cast<PF_Handle>(&in);
  ASSERT_EQ(host.call(loaded_.effect.entryPoint(), PF_Cmd_GET_FLATTENED_SEQUENCE_DATA, in, out,
                      instance.params().array(), nullptr, nullptr),
            PF_Err_NONE);
  EXPECT_EQ(out.sequence_data, nullptr);
  EXPECT_TRUE(host.problems().empty()) << host.problems().front();
}

// Set-down of a render copy whose re-setup never came (flat data) frees only the handle.
TEST_F(MultiFrameRender, SetdownCopesWithFlatData) {
  minihost::Host& host = loaded_.host;
  const std::size_t handlesBefore = host.liveHandles();
  PF_Handle flat = loaded_.instance.flattenedCopy();
  PF_InData in = host.makeInData(&loaded_.instance.params());
  in.sequence_data = flat;
  PF_OutData out{};
  ASSERT_EQ(host.call(loaded_.effect.entryPoint(), PF_Cmd_SEQUENCE_SETDOWN, in, out,
                      loaded_.instance.params().array(), nullptr, nullptr),
            PF_Err_NONE);
  EXPECT_EQ(out.sequence_data, nullptr);
  EXPECT_EQ(host.liveHandles(), handlesBefore);
  EXPECT_TRUE(host.problems().empty()) << host.problems().front();
}

// A soak of the render side: thousands of render copies, each re-set up from the interface instance,
// rendered by several threads at once and set down by whichever thread lets go of it last, overlapping
// one another, with the palette of the interface instance changing in between. Every frame must be the
// one its copy's palette gives, and nothing may leak, stay held, or be touched during a render.
TEST_F(MultiFrameRender, SoakOfOverlappingCopies) {
  minihost::Host& host = loaded_.host;
  host.setThreads(1);
  minihost::Instance instance = WithCustomPalette();
  instance.params().setPopup(kParamSwatch, std::string("Custom"));
  instance.params().setPopup(kParamPattern, std::string("Bayer 4x4"));
  minihost::World input = NoiseFrame(12, 6, minihost::Depth::Eight, 11);
  const std::size_t handlesAtStart = host.liveHandles();

  // Two palette states the interface instance alternates between: the nine colours (loaded back through
  // a saved state) and black alone (the reset button). Their frames, rendered serially.
  const Bytes saved = instance.save();
  std::vector<std::vector<unsigned char>> expected;
  for (int state = 0; state < 2; ++state) {
    if (state == 1) {
      ASSERT_EQ(instance.pressButton(kParamResetPalette), PF_Err_NONE);
    }
    minihost::World out(12, 6, minihost::Depth::Eight);
    ASSERT_EQ(instance.render(input, out), PF_Err_NONE);
    expected.push_back(out.packedBytes());
  }
  ASSERT_NE(expected[0], expected[1]);
  instance = minihost::Instance::load(loaded_.effect, saved);

  struct Work {
    std::shared_ptr<minihost::RenderCopy> copy;
    int state;
  };
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Work> queue;
  bool done = false;
  std::atomic<int> wrong{0}, rendered{0};
  constexpr int kRenderers = 3, kCycles = 2000, kFramesPerCopy = 3;

  std::vector<std::thread> renderers;
  for (int r = 0; r < kRenderers; ++r) {
    renderers.emplace_back([&] {
      minihost::World out(12, 6, minihost::Depth::Eight);
      for (;;) {
        Work work;
        {
          std::unique_lock lock(mutex);
          changed.wait(lock, [&] { return done || !queue.empty(); });
          if (queue.empty()) return;
          work = std::move(queue.front());
          queue.pop_front();
        }
        changed.notify_all();
        if (work.copy->render(input, out) != PF_Err_NONE ||
            out.packedBytes() != expected[static_cast<std::size_t>(work.state)]) {
          ++wrong;
        }
        ++rendered;
        // The last holder sets the copy down, here, while other copies render and get set up.
        work.copy.reset();
      }
    });
  }
  int state = 0;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    if (cycle % 50 == 49) {
      // A palette change on the interface instance: the next copies carry it.
      if (state == 0) {
        EXPECT_EQ(instance.pressButton(kParamResetPalette), PF_Err_NONE);
      } else {
        instance = minihost::Instance::load(loaded_.effect, saved);
      }
      state = 1 - state;
    }
    auto copy = std::make_shared<minihost::RenderCopy>(instance);
    {
      std::unique_lock lock(mutex);
      // A few copies in flight at once, no more.
      changed.wait(lock, [&] { return queue.size() < 3 * kFramesPerCopy; });
      for (int f = 0; f < kFramesPerCopy; ++f) queue.push_back({copy, state});
    }
    copy.reset();
    changed.notify_all();
  }
  {
    std::lock_guard lock(mutex);
    done = true;
  }
  changed.notify_all();
  for (std::thread& thread : renderers) thread.join();

  EXPECT_EQ(rendered.load(), kCycles * kFramesPerCopy);
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_TRUE(host.problems().empty()) << host.problems().front();
  EXPECT_EQ(host.suitesHeld(), 0);
  EXPECT_EQ(host.liveHandles(), handlesAtStart);
}

}  // namespace
