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
};

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
};

// The command that runs a script: PF_Cmd_COMPLETELY_GENERAL, which the effect is free to interpret.
constexpr PF_Cmd kScriptCommand = 17;

// The fake effect's version word, flags and texts.
constexpr A_u_long kVersion = PF_VERSION(2, 1, 0, PF_Stage_BETA, 7);
constexpr PF_OutFlags kOutFlags = PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_I_DO_DIALOG;
constexpr PF_OutFlags2 kOutFlags2 = PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG;
constexpr A_long kFailingApplId = PF_FourCC('F', 'a', 'i', 'l');  // global set-up fails under this host

}  // namespace fake
