// What a test asks of the fake effect through the `extra` argument of PF_Cmd_COMPLETELY_GENERAL, and
// what the effect reports back.
#pragma once

#include "sdk/ae_suites.h"

namespace fake {

enum class Action {
  LeakSuite,           // acquire the ANSI suite and keep it
  ReleaseUnacquired,   // release the handle suite without acquiring it
  AcquireAndRelease,   // acquire `name` version `version`, release it when that worked
  LeakHandle,          // make a handle and keep it
  DoubleDispose,       // dispose a handle twice
  UseAfterDispose,     // lock a handle after disposing it
  UnbalancedUnlock,    // unlock a handle once more than it was locked
  FormatThroughSuite,  // sprintf and strcpy through the ANSI suite
  AddParamLate,        // add_param outside parameter set-up
  Throw,               // let an exception out of the entry point
  FillReturnMessage,   // write 256 characters into the 256-byte return_msg, no terminator
  SetSequenceText,     // replace the instance's live sequence text with `text`
  GetSequenceText,     // copy the instance's live sequence text into `text`
  TakeJournal,         // move the journal of commands received into `journal` and start a new one
  // Visit `iterations` items through iterate_generic, or in a loop on the calling thread when the host
  // leaves that slot empty; the call with thread index 0 asks abort before its item and reports
  // progress after it, and gives up with what they return. The command returns the result.
  VisitItems,
};

// One command as the effect received it: the in-data sequence handle (and its size then), what the
// effect put into out_data.sequence_data, and what it returned.
struct JournalEntry {
  PF_Cmd cmd = -1;
  PF_Handle in = nullptr;
  A_u_longlong inSize = 0;
  PF_Handle out = nullptr;
  PF_Err err = -1;
};
constexpr int kJournalCapacity = 16;
constexpr int kMaxItems = 64;

struct Script {
  Action action;
  const char* name = nullptr;
  int32_t version = 0;
  // Results.
  SPErr spErr = -1;
  const void* suite = nullptr;
  PF_Handle handle = nullptr;
  void* locked = nullptr;
  PF_Err err = -1;
  int written = -1;
  char text[64] = {};
  char copy[64] = {};
  JournalEntry journal[kJournalCapacity] = {};
  int journalLength = 0;
  A_long iterations = 0;
  int usedGeneric = -1;  // 1 when the host's iterate_generic ran the items, 0 when the effect did
  int visits[kMaxItems] = {};
};

// The command that runs a script: PF_Cmd_COMPLETELY_GENERAL, which the effect is free to interpret.
constexpr PF_Cmd kScriptCommand = 17;

// The fake effect's version word, flags and texts.
constexpr A_u_long kVersion = PF_VERSION(2, 1, 0, PF_Stage_BETA, 7);
constexpr PF_OutFlags kOutFlags = PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_I_DO_DIALOG;
constexpr PF_OutFlags2 kOutFlags2 = PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG;
constexpr A_long kFailingApplId = PF_FourCC('F', 'a', 'i', 'l');  // global set-up fails under this host

// Under these application codes the effect misbehaves in one way each:
constexpr A_long kParamsFailApplId = PF_FourCC('F', 'p', 'r', 'm');        // parameter set-up fails (error 4)
constexpr A_long kParamsMiscountApplId = PF_FourCC('F', 'c', 'n', 't');    // num_params one short
constexpr A_long kSequenceFailApplId = PF_FourCC('F', 's', 'e', 'q');      // sequence commands fail (512)
constexpr A_long kLeakAtSetdownApplId = PF_FourCC('F', 'l', 'e', 'k');     // set-down keeps its handle
constexpr A_long kFlattenToNothingApplId = PF_FourCC('F', 'n', 'u', 'l');  // flatten gives no handle

// The sequence text of a new instance.
constexpr char kFreshText[] = "fresh";

}  // namespace fake
