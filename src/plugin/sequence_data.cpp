// The instance's custom palette in the host's sequence data. Live, the handle holds exactly the address of
// the instance's CustomPalette (its colours with their spread and search structure); stored, it holds the
// colours themselves (see flat_palette.h). A handle is live only when its eight bytes name a palette this
// effect made for that handle and has not destroyed (live_palettes.h); any other handle, eight bytes long
// or not, is read as stored colours, and nothing but a live palette is ever freed.
#include <cstring>
#include <memory>
#include <new>

#include "palette/flat_palette.h"
#include "plugin/commands.h"
#include "plugin/custom_palette_lock.h"
#include "plugin/live_palettes.h"
#include "plugin/suite_cache.h"

namespace {

const Color3 kBlack(0.0f, 0.0f, 0.0f);

// A new live handle that takes ownership of `palette`.
PF_Handle NewLiveHandle(const PF_HandleSuite1& suite, std::unique_ptr<CustomPalette> palette) {
  PF_Handle handle = suite.host_new_handle(kLiveSequenceDataSize);
  if (handle == nullptr) throw std::bad_alloc();
  void* bytes = suite.host_lock_handle(handle);
  if (bytes == nullptr || suite.host_get_handle_size(handle) != kLiveSequenceDataSize) {
    if (bytes != nullptr) suite.host_unlock_handle(handle);
    suite.host_dispose_handle(handle);
    throw std::bad_alloc();
  }
  const CustomPalette* address = live_palettes::Adopt(std::move(palette), handle);
  std::memcpy(bytes, &address, sizeof address);
  suite.host_unlock_handle(handle);
  return handle;
}

// A new flat handle holding the colours of the locked sequence data: those of the live palette, or a copy
// of the stored bytes' whole records when the data is already flat.
PF_Handle NewFlatHandle(const PF_HandleSuite1& suite, const CustomPaletteLock& lock) {
  ColorList stored;
  if (lock.palette() == nullptr && lock.bytes() != nullptr)
    AppendFlatColors(stored, lock.bytes(), lock.size());
  const ColorList& colors = lock.palette() != nullptr ? lock.palette()->colors() : stored;
  PF_Handle flat = suite.host_new_handle(colors.size() * kFlatColorSize);
  if (flat == nullptr) throw std::bad_alloc();
  auto* bytes = static_cast<uint8_t*>(suite.host_lock_handle(flat));
  if (bytes != nullptr) WriteFlatColors(colors, bytes);
  suite.host_unlock_handle(flat);
  return flat;
}

// Frees the palette a live handle holds and the handle itself; any other handle is only disposed.
void DestroySequenceData(const PF_HandleSuite1& suite, PF_Handle handle) {
  {
    CustomPaletteLock lock(suite, handle);
    live_palettes::Release(lock.palette(), handle);
  }
  suite.host_dispose_handle(handle);
}

PF_Err SetUp(const PF_HandleSuite1& suite, PF_InData* inData, PF_OutData* outData) {
  if (inData->sequence_data != nullptr) {
    CustomPaletteLock lock(suite, inData->sequence_data);
    if (lock.palette() != nullptr) {
      *lock.palette() = CustomPalette(ColorList(1, kBlack));
      outData->sequence_data = inData->sequence_data;
      return PF_Err_NONE;
    }
  }
  // No handle, or one that holds no live list (stored colours): start a new one.
  PF_Handle handle = NewLiveHandle(suite, std::make_unique<CustomPalette>(ColorList(1, kBlack)));
  if (inData->sequence_data != nullptr) suite.host_dispose_handle(inData->sequence_data);
  inData->sequence_data = handle;
  outData->sequence_data = handle;
  return PF_Err_NONE;
}

}  // namespace

PF_Err SequenceSetup(PF_InData* inData, PF_OutData* outData) {
  SuiteCache suites(inData);
  return SetUp(suites.handles(), inData, outData);
}

PF_Err SequenceResetup(PF_InData* inData, PF_OutData* outData) {
  SuiteCache suites(inData);
  const PF_HandleSuite1& suite = suites.handles();
  PF_Handle stored = inData->sequence_data;
  if (stored == nullptr) return SetUp(suite, inData, outData);

  ColorList colors;
  {
    CustomPaletteLock lock(suite, stored);
    if (lock.palette() != nullptr) {
      outData->sequence_data = stored;
      return PF_Err_NONE;
    }
    // Stored colours, or eight bytes that name no palette of this handle's: whole records only.
    if (lock.bytes() != nullptr) AppendFlatColors(colors, lock.bytes(), lock.size());
  }
  PF_Handle live = NewLiveHandle(suite, std::make_unique<CustomPalette>(std::move(colors)));
  inData->sequence_data = nullptr;
  outData->sequence_data = live;
  suite.host_dispose_handle(stored);
  return PF_Err_NONE;
}

PF_Err SequenceFlatten(PF_InData* inData, PF_OutData* outData) {
  SuiteCache suites(inData);
  const PF_HandleSuite1& suite = suites.handles();
  PF_Handle live = inData->sequence_data;
  if (live == nullptr) return PF_Err_NONE;

  PF_Handle flat = nullptr;
  {
    CustomPaletteLock lock(suite, live);
    if (lock.palette() == nullptr) {
      // Already stored colours: they are the flat form.
      outData->sequence_data = live;
      return PF_Err_NONE;
    }
    flat = NewFlatHandle(suite, lock);
  }
  outData->sequence_data = flat;
  DestroySequenceData(suite, live);
  inData->sequence_data = nullptr;
  return PF_Err_NONE;
}

PF_Err SequenceSetdown(PF_InData* inData, PF_OutData* outData) {
  SuiteCache suites(inData);
  // The host leaves the handle to the effect: a removed instance must not leak it.
  if (inData->sequence_data != nullptr) DestroySequenceData(suites.handles(), inData->sequence_data);
  outData->sequence_data = nullptr;
  inData->sequence_data = nullptr;
  return PF_Err_NONE;
}

PF_Err GetFlattenedSequenceData(PF_InData* inData, PF_OutData* outData) {
  SuiteCache suites(inData);
  // The host has been known to crash on a field left as it was: no data is said explicitly.
  outData->sequence_data = nullptr;
  if (inData->sequence_data == nullptr) return PF_Err_NONE;
  const PF_HandleSuite1& suite = suites.handles();
  // A copy the host owns, whatever form the data is in; the instance's own data stays as it is.
  CustomPaletteLock lock(suite, inData->sequence_data);
  outData->sequence_data = NewFlatHandle(suite, lock);
  return PF_Err_NONE;
}
