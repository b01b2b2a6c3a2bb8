// Eight bytes of sequence data are the live form only when they name a palette the effect made for that
// handle and still keeps. Saved states of eight bytes of any content, handles whose bytes name a palette
// destroyed since or another instance's, and handles the host cannot size never crash, never free what the
// effect did not allocate, and never render "Custom" black while reporting success.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "minihost/render_copy.h"
#include "plugin/param_indices.h"
#include "support/custom_palette_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Colors kRedGreen = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}};

Bytes LittleEndian(uint64_t value) {
  Bytes bytes(8);
  for (int i = 0; i < 8; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
  return bytes;
}

class LiveSequenceData : public CustomPaletteTest {
 protected:
  minihost::Host& host() { return loaded_.host; }

  Bytes HandleBytes(PF_Handle handle) {
    const auto* data = static_cast<const uint8_t*>(host().handleData(handle));
    return Bytes(data, data + host().handleSize(handle));
  }

  // An instance loaded from a saved state whose sequence data is `bytes`, as a host opens a project.
  minihost::Instance Loaded(const Bytes& bytes) {
    return minihost::Instance::load(loaded_.effect,
                                    minihost::EncodeSavedState(loaded_.effect.registeredParams(), bytes));
  }

  // The first pixel of a small red frame rendered with "Custom" (or `swatch`) and "Threshold".
  PF_Err RenderRed(minihost::Instance& instance, PF_Pixel8& pixel, PF_OutData* out = nullptr,
                   const char* swatch = "Custom") {
    instance.params().setPopup(kParamPattern, 1);
    instance.params().setPopup(kParamSwatch, std::string(swatch));
    minihost::World input(4, 2, minihost::Depth::Eight), output(4, 2, minihost::Depth::Eight);
    for (A_long x = 0; x < 4; ++x) input.pixel8(x, 0) = PF_Pixel8{255, 250, 10, 10};
    const PF_Err err = instance.render(input, output, out);
    pixel = output.pixel8(0, 0);
    return err;
  }

  void ExpectRendersRed(minihost::Instance& instance) {
    PF_Pixel8 pixel{};
    ASSERT_EQ(RenderRed(instance, pixel), PF_Err_NONE);
    EXPECT_EQ(pixel.red, 255);
    EXPECT_EQ(pixel.green, 0);
  }

  void ExpectRendersBlack(minihost::Instance& instance) {
    PF_Pixel8 pixel{};
    ASSERT_EQ(RenderRed(instance, pixel), PF_Err_NONE);
    EXPECT_EQ(pixel.red, 0);
    EXPECT_EQ(pixel.green, 0);
  }

  // The render fails with the damaged-data code and a message the host shows; another swatch renders.
  void ExpectCustomRefused(minihost::Instance& instance) {
    PF_Pixel8 pixel{};
    PF_OutData out{};
    EXPECT_EQ(RenderRed(instance, pixel, &out), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_NE(out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
    EXPECT_NE(std::string(out.return_msg).find("custom palette"), std::string::npos) << out.return_msg;
    EXPECT_EQ(RenderRed(instance, pixel, nullptr, "PICO-8"), PF_Err_NONE);
  }

  void ExpectAllWell() {
    EXPECT_TRUE(host().problems().empty()) << (host().problems().empty() ? "" : host().problems().front());
    EXPECT_EQ(host().suitesHeld(), 0);
  }
};

// Eight saved bytes that name no live palette are stored bytes: no whole colour, an empty palette. The
// project opens, renders "Custom" as an empty palette renders (black), saves and closes, and nothing is
// freed that the effect did not allocate (the sanitizer build would report it).
TEST_F(LiveSequenceData, EightSavedBytesOfAnyContentAreAnEmptyStoredPalette) {
  minihost::Instance other = WithPalette(kRedGreen);
  const Bytes otherLive = HandleBytes(other.sequenceData());
  Bytes destroyed;
  {
    minihost::Instance gone = WithPalette(kRedGreen);
    destroyed = HandleBytes(gone.sequenceData());
  }
  const float colours[2] = {1.0f, 0.5f};
  Bytes twoFloats(8);
  std::memcpy(twoFloats.data(), colours, 8);
  const std::vector<std::pair<const char*, Bytes>> states = {
      {"zeros", Bytes(8, 0)},
      {"ones", Bytes(8, 0xFF)},
      {"two floats", twoFloats},
      {"an address no palette ever had", LittleEndian(0x00005555'5555A2C0ull)},
      {"the address of a palette destroyed since", destroyed},
      {"the address of another instance's live palette", otherLive},
  };
  for (const auto& [what, bytes] : states) {
    SCOPED_TRACE(what);
    minihost::Instance instance = Loaded(bytes);
    ExpectRendersBlack(instance);
    EXPECT_EQ(minihost::DecodeSavedState(instance.save()).sequenceData, Bytes{});
    instance.remove();
    ExpectAllWell();
  }
  // The other instance's palette was neither shared nor freed.
  ExpectRendersRed(other);
  EXPECT_EQ(minihost::DecodeSavedState(other.save()).sequenceData, Flat(kRedGreen));
  ExpectAllWell();
}

// At render the data is the instance's own handle, with bytes a host or a fault may have changed since:
// eight bytes that name no live palette cannot be read, and neither can a handle the host cannot size.
TEST_F(LiveSequenceData, DataARenderCannotReadFailsTheRenderWithAMessage) {
  minihost::Instance instance = WithPalette(kRedGreen);
  ExpectRendersRed(instance);

  void* data = host().handleData(instance.sequenceData());
  const Bytes live = HandleBytes(instance.sequenceData());
  for (const Bytes& bytes : {Bytes(8, 0), Bytes(8, 0xFF), LittleEndian(0x00005555'5555A2C0ull)}) {
    std::memcpy(data, bytes.data(), 8);
    ExpectCustomRefused(instance);
  }
  std::memcpy(data, live.data(), 8);
  ExpectRendersRed(instance);

  host().setHandleSizesAnswered(false);
  ExpectCustomRefused(instance);
  host().setHandleSizesAnswered(true);
  ExpectRendersRed(instance);
  ExpectAllWell();
}

// Under multi-frame rendering the render copy's data comes through the read-only access, and is sized
// through the handle suite: a host that cannot size it gets an error, not a black frame.
TEST_F(LiveSequenceData, ARenderCopyWhoseDataCannotBeSizedFailsToo) {
  minihost::Instance instance = WithPalette(kRedGreen);
  instance.params().setPopup(kParamPattern, 1);
  instance.params().setPopup(kParamSwatch, std::string("Custom"));
  minihost::RenderCopy copy(instance);
  minihost::World input(4, 2, minihost::Depth::Eight), output(4, 2, minihost::Depth::Eight);
  input.pixel8(0, 0) = PF_Pixel8{255, 250, 10, 10};
  host().setHandleSizesAnswered(false);
  EXPECT_EQ(copy.render(input, output), PF_Err_INTERNAL_STRUCT_DAMAGED);
  host().setHandleSizesAnswered(true);
  ASSERT_EQ(copy.render(input, output), PF_Err_NONE);
  EXPECT_EQ(output.pixel8(0, 0).red, 255);
  ExpectAllWell();
}

// A render handed stored colours (a host that did not re-set the data up first) renders those colours.
TEST_F(LiveSequenceData, StoredColoursAtRenderAreRead) {
  minihost::Host::Scope scope(host());
  const PF_Handle flat = host().newHandle(24);
  std::memcpy(host().handleData(flat), Flat(kRedGreen).data(), 24);
  minihost::ParamSet params = loaded_.effect.registeredParams();
  params.setPopup(kParamPattern, 1);
  params.setPopup(kParamSwatch, std::string("Custom"));
  minihost::World input(4, 2, minihost::Depth::Eight), output(4, 2, minihost::Depth::Eight);
  input.pixel8(0, 0) = PF_Pixel8{255, 250, 10, 10};
  params[kParamInput].u.ld = input.pf();
  PF_InData in = host().makeInData();
  in.sequence_data = flat;
  PF_OutData out{};
  EXPECT_EQ(
      host().call(loaded_.effect.entryPoint(), PF_Cmd_RENDER, in, out, params.array(), &output.pf(), nullptr),
      PF_Err_NONE);
  EXPECT_EQ(output.pixel8(0, 0).red, 255);
  EXPECT_EQ(HandleBytes(flat), Flat(kRedGreen));
  host().disposeHandle(flat);
  ExpectAllWell();
}

}  // namespace
