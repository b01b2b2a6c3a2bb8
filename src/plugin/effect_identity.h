// Who the effect is and what it tells the host, in one place: global set-up and the registration
// resource both read these values, so they cannot drift apart.
#pragma once

#include "palettrix_version.h"
#include "sdk/ae_types.h"

inline constexpr char kEffectName[] = "Palettrix";
inline constexpr char kEffectCategory[] = "Vorn Effects";
inline constexpr char kEffectMatchName[] = "VORN Palettrix";
inline constexpr char kEffectEntryName[] = "EntryPoint";

// The project's version (major, minor, bug-fix), development stage, build 1.
inline constexpr A_u_long kEffectVersion = PF_VERSION(PALETTRIX_VERSION_MAJOR, PALETTRIX_VERSION_MINOR,
                                                      PALETTRIX_VERSION_PATCH, PF_Stage_DEVELOP, 1);
static_assert(kEffectVersion == 0x00088001);

// Deep colour, the options button, and a request to flatten the sequence data before the host stores
// it: the live form holds a memory address, which must never be saved as it is.
inline constexpr PF_OutFlags kEffectOutFlags =
    PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_I_DO_DIALOG | PF_OutFlag_SEQUENCE_DATA_NEEDS_FLATTENING;
// Collapsed groups; SmartFX (PF_Cmd_RENDER stays for hosts without it); and multi-frame rendering: render
// only reads the sequence data, so the host may render several frames of one render copy at once, and it may
// ask for an independent flat copy of the data at any time (which a host that flattens requires of a threaded
// effect).
inline constexpr PF_OutFlags2 kEffectOutFlags2 =
    PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG | PF_OutFlag2_SUPPORTS_SMART_RENDER |
    PF_OutFlag2_SUPPORTS_GET_FLATTENED_SEQUENCE_DATA | PF_OutFlag2_SUPPORTS_THREADED_RENDERING;
static_assert(kEffectOutFlags2 == 0x08800408);

// The effect API version the registration resource declares: a host renders an effect on several threads
// only from 13.25 on, whatever its flags say.
inline constexpr A_short kEffectSpecMajor = 13;
inline constexpr A_short kEffectSpecMinor = 28;
