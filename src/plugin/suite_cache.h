// The host suites one command uses, acquired on first use and all released when the command ends,
// normally or by a thrown error.
#pragma once

#include "sdk/ae_suites.h"

class SuiteCache {
 public:
  // Throws PF_Err_BAD_CALLBACK_PARAM when the host gave no basic suite.
  explicit SuiteCache(const PF_InData* inData);
  ~SuiteCache();
  SuiteCache(const SuiteCache&) = delete;
  SuiteCache& operator=(const SuiteCache&) = delete;

  // Each throws PF_Err_BAD_CALLBACK_PARAM when the suite cannot be had.
  const PF_ANSICallbacksSuite1& ansi();
  const PF_HandleSuite1& handles();
  const PF_ParamUtilsSuite3& paramUtils();
  // The read-only sequence data access of multi-frame rendering, or null when the host offers none (older
  // hosts, Premiere Pro): the caller then falls back to the in-data record.
  const PF_EffectSequenceDataSuite1* sequenceDataIfOffered();

 private:
  struct Slot {
    const char* name;
    int32_t version;
    const void* suite = nullptr;
  };
  const void* get(Slot& slot);

  SPBasicSuite* basic_;
  Slot ansi_{kPFANSISuite, kPFANSISuiteVersion1};
  Slot handles_{kPFHandleSuite, kPFHandleSuiteVersion1};
  Slot paramUtils_{kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3};
  Slot sequenceData_{kPFEffectSequenceDataSuite, kPFEffectSequenceDataSuiteVersion1};
  bool sequenceDataRefused_ = false;
};
