#include "plugin/suite_cache.h"

#include <initializer_list>

SuiteCache::SuiteCache(const PF_InData* inData) : basic_(inData->pica_basicP) {
  if (basic_ == nullptr) throw PF_Err_BAD_CALLBACK_PARAM;
}

SuiteCache::~SuiteCache() {
  for (Slot* slot : {&ansi_, &handles_, &paramUtils_, &sequenceData_}) {
    if (slot->suite != nullptr) basic_->ReleaseSuite(slot->name, slot->version);
  }
}

const void* SuiteCache::get(Slot& slot) {
  if (slot.suite == nullptr) {
    const void* suite = nullptr;
    if (basic_->AcquireSuite(slot.name, slot.version, &suite) != kSPNoError || suite == nullptr) {
      throw PF_Err_BAD_CALLBACK_PARAM;
    }
    slot.suite = suite;
  }
  return slot.suite;
}

const PF_ANSICallbacksSuite1& SuiteCache::ansi() {
  return *static_cast<const PF_ANSICallbacksSuite1*>(get(ansi_));
}

const PF_HandleSuite1& SuiteCache::handles() { return *static_cast<const PF_HandleSuite1*>(get(handles_)); }

const PF_ParamUtilsSuite3& SuiteCache::paramUtils() {
  return *static_cast<const PF_ParamUtilsSuite3*>(get(paramUtils_));
}

const PF_EffectSequenceDataSuite1* SuiteCache::sequenceDataIfOffered() {
  if (sequenceData_.suite == nullptr && !sequenceDataRefused_) {
    const void* suite = nullptr;
    if (basic_->AcquireSuite(sequenceData_.name, sequenceData_.version, &suite) == kSPNoError &&
        suite != nullptr) {
      sequenceData_.suite = suite;
    } else {
      sequenceDataRefused_ = true;
    }
  }
  return static_cast<const PF_EffectSequenceDataSuite1*>(sequenceData_.suite);
}
