// Renders every frame of a source through the effect into a sink: frames are read in order on the calling
// thread, rendered by `jobs` worker threads at once through the session's one render copy (as After Effects
// renders several frames of one instance at once), and written in order on a writer thread, the three
// stages overlapping.
#pragma once

#include <cstddef>

#include "cli/effect_session.h"
#include "cli/frames.h"
#include "cli/run_stats.h"

// The memory the frames a run holds at once may take: the frames read and not yet rendered, being rendered
// (the source frame and its result), and rendered and not yet written.
inline constexpr std::size_t kFrameMemoryBudget = std::size_t{512} << 20;

// How many frames a run holds at once and how many jobs render them.
struct FramesInFlight {
  unsigned jobs;
  std::size_t frames;
};

// For frames of `frameBytes` bytes each and `jobs` asked for: a few frames a job (2 × jobs + 2), as many as
// kFrameMemoryBudget holds counting each twice (a source frame and its result), but never fewer than one
// job needs (4); and no more jobs than those frames keep busy. Jobs beyond that would only wait, each
// holding its frames: with 1024 jobs asked for, 1080p frames (8 MB) run 15 jobs over 32 frames.
FramesInFlight PlanFramesInFlight(std::size_t frameBytes, unsigned jobs);

// The session's controls must be set before; the render copy is made here. With more than one job the host
// iterates on each job's thread only. The frames in flight (PlanFramesInFlight, from the first frame's
// size) bound the memory whatever the length of the input, and each job beyond the first costs only the
// frames it has in flight. The sink's write() runs on the writer thread, its finish() on the calling
// thread after the last write. Interruption (interrupt.h) stops the run between frames and part-way
// through a render; the sink is then left unfinished, to remove its temporary files. Returns the time each
// step took. Throws CliError.
StepTimes RenderFrames(FrameSource& source, FrameSink& sink, EffectSession& session, unsigned jobs,
                       bool showProgress);
