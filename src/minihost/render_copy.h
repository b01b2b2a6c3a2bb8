// Multi-frame rendering as After Effects does it: the user works on an instance (the interface instance),
// and frames are rendered by render copies made from its flattened sequence data, several frames of one
// copy at once on different threads.
//
//   make     PF_Cmd_GET_FLATTENED_SEQUENCE_DATA of the instance gives a new flat handle (the instance's
//            own data untouched), and PF_Cmd_SEQUENCE_RESETUP with PF_InFlag_PROJECT_IS_RENDER_ONLY in
//            in_flags turns it into the copy's own sequence data
//   render   PF_Cmd_RENDER with in_data->sequence_data NULL: the effect reads the copy's data through
//            "PF Effect Sequence Data Suite" version 1 (PF_GetConstSequenceData), which answers for the
//            copy's effect reference. Any number of threads may render one copy at once. The host reports
//            as problems() a lock, resize or disposal of the copy's data during a render, a change to its
//            bytes across a render, and a suite still held when a render returns
//   remove   PF_Cmd_SEQUENCE_SETDOWN when the copy is destroyed, after its last render
//
// Copies are independent of each other and of the instance: making, rendering and removing different
// copies may overlap on different threads. An effect takes part only when it declares threaded rendering
// and GET_FLATTENED support in its global flags, as the host requires.
#pragma once

#include <memory>
#include <mutex>

#include "minihost/instance.h"

namespace minihost {

class RenderCopy {
 public:
  // Makes the copy from `source` as it is now: its sequence data and its control values. Throws HostError
  // when the effect does not declare multi-frame rendering or a command fails (the flat handle is then
  // disposed by the host).
  explicit RenderCopy(Instance& source);
  // Sends PF_Cmd_SEQUENCE_SETDOWN; a failure becomes one of the host's problems(). No render may still
  // be running on the copy.
  ~RenderCopy();
  RenderCopy(const RenderCopy&) = delete;
  RenderCopy& operator=(const RenderCopy&) = delete;

  // PF_Cmd_RENDER of one frame with the control values the copy was made with, or with `values` (a
  // parameter set of the same effect, only read). Safe to call from several threads at once, each with its
  // own output world.
  PF_Err render(World& input, World& output);
  PF_Err render(World& input, World& output, const ParamSet& values);

  const ParamSet& params() const { return params_; }
  PF_Handle sequenceData() const { return sequenceData_; }

 private:
  Effect& effect_;
  ParamSet params_;
  PF_Handle sequenceData_ = nullptr;
};

// The render side of one interface instance: the copy new frames go to, replaced by a fresh one whenever
// the instance changes as a host would send on (FORCE_RERENDER, or new control values). Frames already
// rendering finish on the copy they started with, which is set down when its last frame lets go of it,
// possibly on a render thread while the new copy is being set up on another.
class RenderCopies {
 public:
  explicit RenderCopies(Instance& source);

  // The copy a frame starting now renders with. Safe from any thread.
  std::shared_ptr<RenderCopy> current() const;
  // A new copy from the instance as it is now. Call on the thread that works on the instance.
  void refresh();
  // refresh() when `out`, the out-data record of a command sent to the instance, asks for a re-render;
  // true when it did.
  bool refreshIfForced(const PF_OutData& out);

  // The user at the instance's controls, as Instance's functions of the same names, followed by what the
  // host does: a FORCE_RERENDER in the effect's answer refreshes the copy, and so does a changed value.
  PF_Err pressButton(PF_ParamIndex index);
  PF_Err changed(PF_ParamIndex index);
  PF_Err optionsButton();

 private:
  Instance& source_;
  mutable std::mutex mutex_;
  std::shared_ptr<RenderCopy> current_;
};

}  // namespace minihost
