#include "plugin/commands.h"
#include "plugin/effect_identity.h"

// Needs no host service, so it runs even when the host gives no basic suite.
PF_Err GlobalSetup(PF_OutData* outData) {
  outData->my_version = kEffectVersion;
  outData->out_flags = kEffectOutFlags;
  outData->out_flags2 = kEffectOutFlags2;
  return PF_Err_NONE;
}
