// Renders every frame of a source through the effect into a sink: frames are read in order on the calling
// thread, rendered by `jobs` worker threads at once through the session's one render copy (as After Effects
// renders several frames of one instance at once), and written in order on a writer thread, the three
// stages overlapping.
#pragma once

#include "cli/effect_session.h"
#include "cli/frames.h"
#include "cli/run_stats.h"

// The session's controls must be set before; the render copy is made here. With more than one job the host
// iterates on each job's thread only. A few frames per job are in flight at once, so memory stays bounded
// whatever the length of the input, and each job beyond the first costs only the frames it has in flight.
// The sink's write() runs on the writer thread, its finish() on the calling thread after the last write.
// Interruption (interrupt.h) stops the run between frames and part-way through a render; the sink is then
// left unfinished, to remove its temporary files. Returns the time each step took. Throws CliError.
StepTimes RenderFrames(FrameSource& source, FrameSink& sink, EffectSession& session, unsigned jobs,
                       bool showProgress);
