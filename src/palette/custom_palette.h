// The custom palette: the colour list the effect instance keeps in its sequence data.
#pragma once

#include "palette/color.h"

struct RenderSettings;

// Black for every input while the instance has no sequence data or its list is empty.
Color3& QuantizeCustom(Color3& out, const Color3& in, const RenderSettings& settings);

// The frame's customSpread, or zero under the same conditions that make QuantizeCustom give black.
Color3& SpreadCustom(Color3& out, const RenderSettings& settings);
