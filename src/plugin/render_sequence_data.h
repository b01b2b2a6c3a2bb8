// The custom palette as a render reads it. Under multi-frame rendering the host renders several frames of
// one render copy at once and gives no sequence-data handle in the in-data record; the data is read
// through the host's read-only access instead. Either way a render never locks, resizes or writes the
// handle, and never changes the palette it points to.
#pragma once

#include <optional>

#include "palette/custom_palette.h"
#include "plugin/suite_cache.h"

class RenderPalette {
 public:
  // Reads the sequence data: from the read-only access when the host offers it and it answers, else from
  // the in-data record's handle.
  RenderPalette(SuiteCache& suites, const PF_InData* inData);

  // The custom palette: the live one the handle names, or one made for this frame from stored colours
  // (a host that renders without re-setting the data up first). Null without sequence data, which counts
  // as an empty palette, and when the data cannot be read.
  const CustomPalette* palette() const { return stored_ ? &*stored_ : live_; }
  // There is sequence data, but it is neither a live palette nor stored colours: a handle the host cannot
  // size, or eight bytes that name no palette of this effect's. Rendering "Custom" from it would be a
  // guess.
  bool unreadable() const { return unreadable_; }

 private:
  const CustomPalette* live_ = nullptr;
  std::optional<CustomPalette> stored_;
  bool unreadable_ = false;
};
