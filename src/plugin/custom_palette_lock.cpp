#include "plugin/custom_palette_lock.h"

CustomPaletteLock::CustomPaletteLock(const PF_HandleSuite1& suite, PF_Handle handle)
    : suite_(suite), handle_(handle) {
  if (handle_ == nullptr) return;
  data_ = suite_.host_lock_handle(handle_);
  if (data_ == nullptr) return;
  size_ = suite_.host_get_handle_size(handle_);
  if (size_ == kLiveSequenceDataSize) {
    slot_ = static_cast<CustomPalette**>(data_);
    palette_ = *slot_;
  }
}

CustomPaletteLock::~CustomPaletteLock() {
  if (handle_ != nullptr) suite_.host_unlock_handle(handle_);
}
