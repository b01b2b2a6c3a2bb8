// Holds an instance's sequence-data handle locked for one use and gives the custom palette it points to.
#pragma once

#include <cstdint>

#include "palette/custom_palette.h"
#include "sdk/ae_suites.h"

// The live form of the sequence data is a handle of exactly this size holding the address of the
// instance's CustomPalette. Any other size is the flat form, whose bytes must never be read as an address.
inline constexpr A_HandleSize kLiveSequenceDataSize = sizeof(CustomPalette*);

class CustomPaletteLock {
 public:
  // Locks `handle` when there is one; palette() is null without a handle or when the handle is not live.
  CustomPaletteLock(const PF_HandleSuite1& suite, PF_Handle handle);
  ~CustomPaletteLock();
  CustomPaletteLock(const CustomPaletteLock&) = delete;
  CustomPaletteLock& operator=(const CustomPaletteLock&) = delete;

  CustomPalette* palette() const { return palette_; }
  // The locked handle's storage for the address (null unless the handle is live).
  CustomPalette** slot() const { return slot_; }
  // The locked bytes and their count, whatever the form (null and 0 without a handle).
  const uint8_t* bytes() const { return static_cast<const uint8_t*>(data_); }
  A_HandleSize size() const { return size_; }

 private:
  const PF_HandleSuite1& suite_;
  PF_Handle handle_;
  void* data_ = nullptr;
  A_HandleSize size_ = 0;
  CustomPalette** slot_ = nullptr;
  CustomPalette* palette_ = nullptr;
};
