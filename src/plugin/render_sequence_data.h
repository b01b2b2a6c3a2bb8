// The custom palette as a render reads it. Under multi-frame rendering the host renders several frames of
// one render copy at once and gives no sequence-data handle in the in-data record; the data is read
// through the host's read-only access instead. Either way a render never locks, resizes or writes the
// handle, and never changes the palette it points to.
#pragma once

#include "palette/custom_palette.h"
#include "plugin/suite_cache.h"

// The palette the live sequence data points to: from the read-only access when the host offers it and it
// answers, else from the in-data record's handle. Null without sequence data, or when the handle holds the
// flat form (stored colours are never read as an address).
const CustomPalette* RenderCustomPalette(SuiteCache& suites, const PF_InData* inData);
