// Renders every frame of a source through the effect into a sink: frames are read in order on the calling
// thread, rendered in parallel on independent render calls, one worker a session, and written in order on a
// writer thread, the three stages overlapping.
#pragma once

#include <memory>
#include <vector>

#include "cli/effect_session.h"
#include "cli/frames.h"
#include "cli/run_stats.h"

// One worker thread a session; every session must be set up alike (each frame's result does not depend on
// which renders it). With more than one session each host iterates on its calling thread only. A few
// frames per worker are in flight at once, so memory stays bounded whatever the length of the input.
// The sink's write() runs on the writer thread, its finish() on the calling thread after the last write.
// Interruption (interrupt.h) stops the run between frames and part-way through a render; the sink is then
// left unfinished, to remove its temporary files. Returns the time each step took. Throws CliError.
StepTimes RenderFrames(FrameSource& source, FrameSink& sink,
                       std::vector<std::unique_ptr<EffectSession>>& sessions, bool showProgress);
