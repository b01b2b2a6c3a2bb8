// The effect's per-value rules (rounding half away from zero, clamping into 0..1, scaling to a channel) for
// the baseline build: one definition for floats and vectors of floats, in palette/float_rules.inc.
#pragma once

#include "palette/float_rules.inc"
