// Holds an instance's sequence-data handle locked for one use and gives the custom palette it holds.
#pragma once

#include <cstdint>

#include "palette/custom_palette.h"
#include "sdk/ae_suites.h"

// The live form of the sequence data is a handle of exactly this size holding the address of the
// instance's CustomPalette, one that this effect made and still keeps (live_palettes.h) for this handle.
// Anything else is the flat form, whose bytes are never read as an address.
inline constexpr A_HandleSize kLiveSequenceDataSize = sizeof(CustomPalette*);

class CustomPaletteLock {
 public:
  // Locks `handle` when there is one; palette() is null without a handle or when the handle is not live.
  CustomPaletteLock(const PF_HandleSuite1& suite, PF_Handle handle);
  ~CustomPaletteLock();
  CustomPaletteLock(const CustomPaletteLock&) = delete;
  CustomPaletteLock& operator=(const CustomPaletteLock&) = delete;

  // The live palette this handle holds, or null.
  CustomPalette* palette() const { return palette_; }
  // The locked bytes and their count, whatever the form (null and 0 without a handle).
  const uint8_t* bytes() const { return static_cast<const uint8_t*>(data_); }
  A_HandleSize size() const { return size_; }

 private:
  const PF_HandleSuite1& suite_;
  PF_Handle handle_;
  void* data_ = nullptr;
  A_HandleSize size_ = 0;
  CustomPalette* palette_ = nullptr;
};

// The address a live-sized handle's bytes hold, read as bytes (they need not be aligned).
const void* StoredAddress(const void* bytes);
