// The custom palettes this effect has made and not yet destroyed, each with the sequence-data handle that
// holds its address. Eight bytes in a handle are followed as an address only when they name one of these
// palettes: a damaged project, a state written by another program, or a handle shown again after its
// palette was destroyed holds eight bytes like any other, and they are never read through or freed.
// Sequence commands of different instances and renders may run on several threads at once, so the
// registry is guarded by a lock of its own.
#pragma once

#include <memory>

#include "palette/custom_palette.h"
#include "sdk/ae_effect.h"

namespace live_palettes {

// Takes ownership of `palette`, held by `holder` from now on; gives back its address.
CustomPalette* Adopt(std::unique_ptr<CustomPalette> palette, PF_Handle holder);

// The live palette at `address` when `holder` is the handle that holds it, else null: what sequence
// commands and palette controls, which change or destroy the palette, may work on.
CustomPalette* HeldBy(const void* address, PF_Handle holder);

// The live palette at `address`, whichever handle holds it, else null: what a render, which only reads,
// may use (a host may hand a render a read-only copy of the handle).
const CustomPalette* Find(const void* address);

// Gives the live palette at `address` back to the caller to destroy when `holder` holds it; null (and the
// registry unchanged) otherwise.
std::unique_ptr<CustomPalette> Release(const void* address, PF_Handle holder);

}  // namespace live_palettes
