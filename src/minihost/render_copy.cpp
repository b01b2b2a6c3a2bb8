#include "minihost/render_copy.h"

#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "minihost/command_result.h"
#include "minihost/host_error.h"
#include "minihost/host_impl.h"

namespace minihost {
namespace {

constexpr PF_OutFlags2 kMultiFrameFlags =
    PF_OutFlag2_SUPPORTS_THREADED_RENDERING | PF_OutFlag2_SUPPORTS_GET_FLATTENED_SEQUENCE_DATA;

PF_Err Send(Effect& effect, PF_Cmd cmd, PF_InData& in, PF_OutData& out, PF_ParamDef** params,
            PF_EffectWorld* output) {
  return effect.host().call(effect.entryPoint(), cmd, in, out, params, output, nullptr);
}

}  // namespace

RenderCopy::RenderCopy(Instance& source) : effect_(source.effect()), params_(source.params()) {
  if ((effect_.outFlags2() & kMultiFrameFlags) != kMultiFrameFlags) {
    throw HostError(
        "the effect does not declare multi-frame rendering (out_flags2 lacks threaded rendering "
        "or GET_FLATTENED_SEQUENCE_DATA)");
  }
  params_.uiUpdates.clear();
  Host& host = effect_.host();
  PF_Handle flat = source.flattenedCopy();

  PF_InData in = host.makeInData(&params_);
  in.sequence_data = flat;
  in.in_flags = PF_InFlag_PROJECT_IS_RENDER_ONLY;
  in.num_params = static_cast<A_long>(params_.size());
  PF_OutData out{};
  const PF_Err err = Send(effect_, PF_Cmd_SEQUENCE_RESETUP, in, out, params_.array(), nullptr);
  if (err != PF_Err_NONE) {
    // The flat data never became the copy's: it is the host's to dispose.
    if (flat != nullptr) host.disposeHandle(flat);
    host.impl().releaseContext(&params_);
    throw HostError("PF_Cmd_SEQUENCE_RESETUP of a render copy failed with error " + std::to_string(err) +
                    ShownMessage(out));
  }
  sequenceData_ = out.sequence_data;
  ContextOf(in.effect_ref)->sequenceData.store(sequenceData_);
}

RenderCopy::~RenderCopy() {
  Host& host = effect_.host();
  try {
    PF_InData in = host.makeInData(&params_);
    in.sequence_data = sequenceData_;
    in.num_params = static_cast<A_long>(params_.size());
    PF_OutData out{};
    const PF_Err err = Send(effect_, PF_Cmd_SEQUENCE_SETDOWN, in, out, params_.array(), nullptr);
    if (err != PF_Err_NONE) {
      host.impl().problem("PF_Cmd_SEQUENCE_SETDOWN of a render copy failed with error " +
                          std::to_string(err));
    }
  } catch (const std::exception& error) {
    host.impl().problem(std::string("removing a render copy failed: ") + error.what());
  } catch (...) {
    host.impl().problem("removing a render copy failed");
  }
  host.impl().releaseContext(&params_);
}

PF_Err RenderCopy::render(World& input, World& output) { return render(input, output, params_); }

PF_Err RenderCopy::render(World& input, World& output, const ParamSet& values) {
  if (values.size() != params_.size()) {
    throw HostError("render of a render copy with " + std::to_string(values.size()) + " parameters, not " +
                    std::to_string(params_.size()));
  }
  // Each frame gets its own parameter array: the input layer is this frame's alone.
  std::vector<PF_ParamDef> defs(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) defs[i] = values[i];
  const A_long dephault = defs[0].u.ld.dephault;
  defs[0].u.ld = input.pf();
  defs[0].u.ld.dephault = dephault;
  std::vector<PF_ParamDef*> pointers;
  pointers.reserve(defs.size() + 1);
  for (PF_ParamDef& def : defs) pointers.push_back(&def);
  pointers.push_back(nullptr);

  PF_InData in = effect_.host().makeInData(&params_);
  in.width = output.pf().width;
  in.height = output.pf().height;
  in.extent_hint = output.pf().extent_hint;
  // Under multi-frame rendering the data comes only through the read-only suite.
  in.sequence_data = nullptr;
  in.num_params = static_cast<A_long>(defs.size());
  PF_OutData out{};
  return Send(effect_, PF_Cmd_RENDER, in, out, pointers.data(), &output.pf());
}

RenderCopies::RenderCopies(Instance& source)
    : source_(source), current_(std::make_shared<RenderCopy>(source)) {}

std::shared_ptr<RenderCopy> RenderCopies::current() const {
  std::lock_guard lock(mutex_);
  return current_;
}

void RenderCopies::refresh() {
  auto fresh = std::make_shared<RenderCopy>(source_);
  std::shared_ptr<RenderCopy> old;
  {
    std::lock_guard lock(mutex_);
    old = std::exchange(current_, std::move(fresh));
  }
  // `old` is set down here unless a frame still holds it; then the last such frame sets it down.
}

bool RenderCopies::refreshIfForced(const PF_OutData& out) {
  if ((out.out_flags & PF_OutFlag_FORCE_RERENDER) == 0) return false;
  refresh();
  return true;
}

PF_Err RenderCopies::pressButton(PF_ParamIndex index) {
  PF_OutData out{};
  const PF_Err err = source_.pressButton(index, &out);
  if (err == PF_Err_NONE) refreshIfForced(out);
  return err;
}

PF_Err RenderCopies::changed(PF_ParamIndex index) {
  PF_OutData out{};
  const PF_Err err = source_.changed(index, &out);
  if (err == PF_Err_NONE) refresh();
  return err;
}

PF_Err RenderCopies::optionsButton() {
  PF_OutData out{};
  const PF_Err err = source_.optionsButton(&out);
  if (err == PF_Err_NONE) refreshIfForced(out);
  return err;
}

}  // namespace minihost
