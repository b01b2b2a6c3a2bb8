// The effect, linked into the plug-in so that one file is all a user installs. The plug-in reaches it only
// through its entry point, as any host does.
#pragma once

#include "sdk/ae_effect.h"

PF_EntryPointFunc LinkedEntryPoint();
