#include "plugin/custom_palette_lock.h"

#include <cstring>

#include "plugin/live_palettes.h"

CustomPaletteLock::CustomPaletteLock(const PF_HandleSuite1& suite, PF_Handle handle)
    : suite_(suite), handle_(handle) {
  if (handle_ == nullptr) return;
  data_ = suite_.host_lock_handle(handle_);
  if (data_ == nullptr) return;
  size_ = suite_.host_get_handle_size(handle_);
  if (size_ == kLiveSequenceDataSize) palette_ = live_palettes::HeldBy(StoredAddress(data_), handle_);
}

CustomPaletteLock::~CustomPaletteLock() {
  if (handle_ != nullptr) suite_.host_unlock_handle(handle_);
}

const void* StoredAddress(const void* bytes) {
  const void* address = nullptr;
  std::memcpy(&address, bytes, sizeof address);
  return address;
}
