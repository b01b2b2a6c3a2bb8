// An effect's instances, driven through the entry point the way the host drives them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "minihost/effect.h"
#include "minihost/host.h"
#include "minihost/params.h"
#include "minihost/saved_state.h"
#include "minihost/world.h"

namespace minihost {

// A layer checkout of a SmartFX pre-render as the host recorded it.
struct SmartCheckoutRecord {
  A_long id = 0;
  PF_ParamIndex index = 0;
  A_long time = 0;
  PF_LRect request{};
  PF_LRect result{};
  bool pixelsTaken = false;  // the render checked its pixels out
};

// What one frame driven through SmartFX gave (see Instance::smartRender).
struct SmartFrame {
  PF_Err err = PF_Err_NONE;        // the pre-render's error, else the render's
  bool rendered = false;           // PF_Cmd_SMART_RENDER was sent
  PF_PreRenderOutput preRender{};  // as the effect left it (its data already deleted)
  // The output world the effect checked out: it covers preRender.result_rect, its origin_x/origin_y being
  // that rectangle's left and top; null when the effect checked out none.
  std::unique_ptr<World> output;
  std::vector<SmartCheckoutRecord> checkouts;  // in order of id
};

// One application of the effect to a layer: its parameter values and its sequence-data handle, living
// the life the host gives it:
//   apply      Instance(effect)             PF_Cmd_SEQUENCE_SETUP with no sequence data
//   save       save()                       PF_Cmd_SEQUENCE_FLATTEN, then PF_Cmd_SEQUENCE_RESETUP with the
//                                           flat handle to go on working
//   load       Instance::load(effect, s)    PF_Cmd_SEQUENCE_RESETUP with a new handle of the saved bytes
//   duplicate  duplicate()                  FLATTEN of the original, then RESETUP of the original with
//                                           its flat handle and of the copy with a copy of it
//   remove     remove(), or destruction     PF_Cmd_SEQUENCE_SETDOWN with the current handle
// The handle an instance holds is whatever the effect last put into out_data.sequence_data of a
// sequence command. When a FLATTEN gives no handle, nothing follows it: no RESETUP, and the instance
// goes on without sequence data. The effect disposes its own handles; the host disposes only a flat
// handle that never reached a RESETUP (one whose RESETUP failed), and then sends no SETDOWN for it.
//
// A failing sequence command throws HostError naming the command and the error code. The destructor
// never throws: a failed set-down there becomes one of the host's problems().
class Instance {
 public:
  explicit Instance(Effect& effect);
  // Validates `saved` (see saved_state.h) against the effect's registered parameters before anything is
  // sent; an empty flat part still becomes a handle, of 0 bytes.
  static Instance load(Effect& effect, const std::vector<uint8_t>& saved);
  ~Instance();

  Instance(Instance&& other) noexcept;
  // Removes this instance first, as the destructor would.
  Instance& operator=(Instance&& other) noexcept;
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  std::vector<uint8_t> save();
  Instance duplicate();
  // Sends PF_Cmd_SEQUENCE_SETDOWN once; later calls do nothing. The instance takes no commands after it.
  void remove();
  // False once removed, or moved from.
  bool active() const { return active_; }

  Effect& effect() { return *effect_; }
  ParamSet& params() { return params_; }
  const ParamSet& params() const { return params_; }
  PF_Handle sequenceData() const { return sequenceData_; }

  // The user at the effect's controls, and what the host sends for it. PF_UpdateParamUI changes the
  // looks of the controls in params() (name, ui flags, slider ranges), as the host's panel shows them.
  //   pressButton    PF_Cmd_USER_CHANGED_PARAM for the button
  //   changed        after the caller set a control's value: PF_Cmd_USER_CHANGED_PARAM when the control
  //                  is supervised, then PF_Cmd_UPDATE_PARAMS_UI to refresh the panel
  //   refreshUI      PF_Cmd_UPDATE_PARAMS_UI, as when the panel opens
  //   optionsButton  PF_Cmd_DO_DIALOG
  // The out-data record of the USER_CHANGED_PARAM (its out flags: a forced re-render) goes to `out`.
  PF_Err pressButton(PF_ParamIndex index, PF_OutData* out = nullptr);
  PF_Err changed(PF_ParamIndex index, PF_OutData* out = nullptr);
  PF_Err refreshUI();
  PF_Err optionsButton(PF_OutData* out = nullptr);

  // PF_Cmd_GET_FLATTENED_SEQUENCE_DATA: a new flat handle, which the caller then owns (null when the
  // instance has no sequence data). Throws HostError when the command fails, when the effect gives its own
  // handle instead of a copy, leaves the field as it was, or changes its own data.
  PF_Handle flattenedCopy();

  // PF_Cmd_RENDER of one frame: parameter 0 becomes the input world; the output world must exist. Float
  // worlds are refused with HostError, as After Effects renders them only through SmartFX. `out`
  // receives the out-data record when given (the message of a failed render).
  PF_Err render(World& input, World& output, PF_OutData* out = nullptr);

  // One frame of an effect that declared PF_OutFlag2_SUPPORTS_SMART_RENDER, as After Effects drives it.
  // `layer` is the input layer, its pixel (0, 0) at layer position (0, 0); `request` is the output rectangle
  // asked for, in layer coordinates; the bit depth is the layer's (8, 16 or 32).
  //   PF_Cmd_SMART_PRE_RENDER  no parameter array and no output world; checkout_layer (index 0 only) records
  //                            each id with its request and answers the request clipped to the layer, the
  //                            layer's bounds as the largest result, 1/1 pixels and the layer's size
  //   PF_Cmd_SMART_RENDER      when `render` is set, the pre-render succeeded and its result_rect is not
  //                            empty: checkout_layer_pixels gives a copy of the layer over a checkout's
  //                            result (null for an empty one), at most once per id; checkout_output, only
  //                            after some layer pixels (unless nothing was checked out), a transparent
  //                            world over the pre-render's result_rect
  //   then delete_pre_render_data_func(pre_render_data), whether or not the render ran.
  // Misuse is recorded in the host's problems() and answered with PF_Err_BAD_CALLBACK_PARAM: a checkout
  // outside its command, an unknown or repeated id, output before input, a result_rect beyond the request
  // without PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS, pre_render_data without a delete function, a write
  // past the output world's rows. Throws HostError when the effect did not declare SmartFX.
  SmartFrame smartRender(const World& layer, const PF_LRect& request, bool render = true,
                         PF_OutData* out = nullptr);
  // The same with the layer's pixel (0, 0) at layer position `origin`, as for a layer an earlier effect
  // grew or moved: the checkouts' bounds and worlds are placed there, and their reference size is the
  // layer world's.
  SmartFrame smartRender(const World& layer, PF_Point origin, const PF_LRect& request, bool render = true,
                         PF_OutData* out = nullptr);

  // Any command with this instance's records; `out` receives the out-data record when given. After a
  // sequence command that succeeds the instance holds the handle the effect gave back. Throws HostError
  // on a removed instance.
  PF_Err command(PF_Cmd cmd, PF_EffectWorld* output = nullptr, void* extra = nullptr,
                 PF_OutData* out = nullptr);

 private:
  // An instance that holds `flatHandle` (may be null) awaiting its RESETUP; nothing is sent.
  Instance(Effect& effect, ParamSet params, PF_Handle flatHandle);

  // With `smartLayer` the command is a SmartFX one: no parameter array, and the layer's size in in-data.
  PF_Err send(PF_Cmd cmd, PF_OutData& out, PF_EffectWorld* output, void* extra,
              const World* smartLayer = nullptr);
  // Sends a sequence command with the current handle, throws when it fails, and keeps the handle the
  // effect gave back.
  void sequenceCommand(PF_Cmd cmd);
  void flatten();
  void resetup();
  void removeQuietly() noexcept;
  void requireActive(const char* what) const;

  Effect* effect_;
  ParamSet params_;
  PF_Handle sequenceData_ = nullptr;
  bool flat_ = false;  // sequenceData_ is a flat handle from FLATTEN that no RESETUP has taken yet
  bool active_ = false;
};

}  // namespace minihost
