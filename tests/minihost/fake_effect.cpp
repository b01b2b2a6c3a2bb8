// A small effect that exercises the host as a real one does: global set-up flags, the about text,
// parameter registration with an options-button name, sequence data in a live and a flat form, a
// render that clears and inverts through fill and iterate, a UI update, work spread with
// iterate_generic that can be stopped, and scripted misbehaviour for the tests of the host's checks.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

#include "fake_effect_script.h"

namespace {

template <typename Suite>
const Suite* Acquire(PF_InData* in, const char* name, int32_t version) {
  const void* suite = nullptr;
  if (in->pica_basicP == nullptr || in->pica_basicP->AcquireSuite(name, version, &suite) != kSPNoError) {
    return nullptr;
  }
  return static_cast<const Suite*>(suite);
}

PF_Err InvertPixel8(void*, A_long, A_long, PF_Pixel* in, PF_Pixel* out) {
  *out = PF_Pixel{in->alpha, static_cast<A_u_char>(255 - in->red), static_cast<A_u_char>(255 - in->green),
                  static_cast<A_u_char>(255 - in->blue)};
  return PF_Err_NONE;
}

PF_Err InvertPixel16(void*, A_long, A_long, PF_Pixel16* in, PF_Pixel16* out) {
  *out = PF_Pixel16{in->alpha, static_cast<A_u_short>(32768 - in->red),
                    static_cast<A_u_short>(32768 - in->green), static_cast<A_u_short>(32768 - in->blue)};
  return PF_Err_NONE;
}

PF_Err ParamsSetup(PF_InData* in, PF_OutData* out) {
  // The choices live in a buffer that is overwritten after add_param: the host must have copied them.
  char choices[] = "Red|Green|Blue";
  PF_ParamDef def{};
  def.param_type = PF_Param_POPUP;
  in->utils->ansi.strcpy(def.name, "Channel");
  def.u.pd.value = 2;
  def.u.pd.num_choices = 3;
  def.u.pd.dephault = 2;
  def.u.pd.u.namesptr = choices;
  if (PF_Err err = in->inter.add_param(in->effect_ref, -1, &def)) return err;
  std::memset(choices, 'x', sizeof(choices) - 1);

  if (in->appl_id == fake::kParamsFailApplId) {
    out->out_flags = PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    in->utils->ansi.strcpy(out->return_msg, "no room for the controls");
    return PF_Err_OUT_OF_MEMORY;
  }

  def = PF_ParamDef{};
  def.param_type = PF_Param_FLOAT_SLIDER;
  in->utils->ansi.strcpy(def.name, "Amount");
  def.u.fs_d.valid_max = 10.0f;
  def.u.fs_d.curve_tolerance = 0.25f;
  if (PF_Err err = in->inter.add_param(in->effect_ref, -1, &def)) return err;

  def = PF_ParamDef{};
  def.param_type = PF_Param_FIX_SLIDER;
  def.flags = PF_ParamFlag_COLLAPSE_TWIRLY;
  in->utils->ansi.strcpy(def.name, "Zoom");
  def.u.fd.value = 2 << 16;
  def.u.fd.dephault = 2 << 16;
  def.u.fd.valid_min = 1 << 16;
  def.u.fd.valid_max = 4 << 16;
  if (PF_Err err = in->inter.add_param(in->effect_ref, -1, &def)) return err;

  if (auto* ui = Acquire<PF_EffectUISuite1>(in, kPFEffectUISuite, kPFEffectUISuiteVersion1)) {
    ui->PF_SetOptionsButtonName(in->effect_ref, "Load Things");
    in->pica_basicP->ReleaseSuite(kPFEffectUISuite, kPFEffectUISuiteVersion1);
  }
  out->num_params = in->appl_id == fake::kParamsMiscountApplId ? 3 : 4;
  return PF_Err_NONE;
}

// Sequence data. The live form is a handle of 8 bytes holding the address of a string the effect
// allocated; the flat form is a handle of the string's bytes. As in the real effect, 8 bytes always
// means live.
constexpr A_u_longlong kLiveSize = sizeof(std::string*);

std::string* LiveText(PF_InData* in, PF_Handle handle) {
  if (handle == nullptr || in->utils->host_get_handle_size(handle) != kLiveSize) return nullptr;
  std::string* text = nullptr;
  std::memcpy(&text, in->utils->host_lock_handle(handle), sizeof text);
  in->utils->host_unlock_handle(handle);
  return text;
}

PF_Handle NewLive(PF_InData* in, std::string text) {
  PF_Handle handle = in->utils->host_new_handle(kLiveSize);
  auto* live = new std::string(std::move(text));
  std::memcpy(in->utils->host_lock_handle(handle), &live, sizeof live);
  in->utils->host_unlock_handle(handle);
  return handle;
}

PF_Err SequenceSetup(PF_InData* in, PF_OutData* out) {
  if (std::string* text = LiveText(in, in->sequence_data)) {
    *text = fake::kFreshText;
    out->sequence_data = in->sequence_data;
  } else {
    out->sequence_data = NewLive(in, fake::kFreshText);
  }
  return PF_Err_NONE;
}

PF_Err SequenceFlatten(PF_InData* in, PF_OutData* out) {
  std::string* text = LiveText(in, in->sequence_data);
  if (text == nullptr) return PF_Err_NONE;
  if (in->appl_id != fake::kFlattenToNothingApplId) {
    PF_Handle flat = in->utils->host_new_handle(text->size());
    std::memcpy(in->utils->host_lock_handle(flat), text->data(), text->size());
    in->utils->host_unlock_handle(flat);
    out->sequence_data = flat;
  }
  delete text;
  in->utils->host_dispose_handle(in->sequence_data);
  return PF_Err_NONE;
}

PF_Err SequenceResetup(PF_InData* in, PF_OutData* out) {
  if (in->sequence_data == nullptr) return SequenceSetup(in, out);
  const A_u_longlong size = in->utils->host_get_handle_size(in->sequence_data);
  if (size == kLiveSize) {
    out->sequence_data = in->sequence_data;
    return PF_Err_NONE;
  }
  const auto* bytes = static_cast<const char*>(in->utils->host_lock_handle(in->sequence_data));
  std::string text(bytes, bytes + size);
  in->utils->host_unlock_handle(in->sequence_data);
  out->sequence_data = NewLive(in, std::move(text));
  in->utils->host_dispose_handle(in->sequence_data);
  return PF_Err_NONE;
}

PF_Err SequenceSetdown(PF_InData* in, PF_OutData* out) {
  if (in->sequence_data != nullptr) {
    delete LiveText(in, in->sequence_data);
    if (in->appl_id != fake::kLeakAtSetdownApplId) in->utils->host_dispose_handle(in->sequence_data);
  }
  out->sequence_data = nullptr;
  // This failure comes after the clean-up, so that the test of it leaves nothing behind.
  return in->appl_id == fake::kSequenceFailApplId ? PF_Err_INTERNAL_STRUCT_DAMAGED : PF_Err_NONE;
}

PF_Err Sequence(PF_Cmd cmd, PF_InData* in, PF_OutData* out) {
  if (cmd == PF_Cmd_SEQUENCE_SETDOWN) return SequenceSetdown(in, out);
  if (in->appl_id == fake::kSequenceFailApplId) return PF_Err_INTERNAL_STRUCT_DAMAGED;
  if (cmd == PF_Cmd_SEQUENCE_SETUP) return SequenceSetup(in, out);
  if (cmd == PF_Cmd_SEQUENCE_FLATTEN) return SequenceFlatten(in, out);
  return SequenceResetup(in, out);
}

fake::JournalEntry gJournal[fake::kJournalCapacity];
int gJournalLength = 0;

PF_Err Journaled(PF_Cmd cmd, PF_InData* in, PF_OutData* out) {
  fake::JournalEntry entry;
  entry.cmd = cmd;
  entry.in = in->sequence_data;
  entry.inSize = entry.in != nullptr ? in->utils->host_get_handle_size(entry.in) : 0;
  entry.err = Sequence(cmd, in, out);
  entry.out = out->sequence_data;
  if (gJournalLength < fake::kJournalCapacity) gJournal[gJournalLength++] = entry;
  return entry.err;
}

PF_Err Render(PF_InData* in, PF_ParamDef* params[], PF_LayerDef* output) {
  if (params == nullptr || params[in->num_params] != nullptr || params[0]->param_type != PF_Param_LAYER) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  auto* handles = Acquire<PF_HandleSuite1>(in, kPFHandleSuite, kPFHandleSuiteVersion1);
  if (handles == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  PF_Handle scratch = handles->host_new_handle(16);
  std::memset(handles->host_lock_handle(scratch), 0x5A, 16);
  handles->host_unlock_handle(scratch);
  handles->host_dispose_handle(scratch);
  in->pica_basicP->ReleaseSuite(kPFHandleSuite, kPFHandleSuiteVersion1);

  in->utils->fill(in->effect_ref, nullptr, nullptr, output);
  PF_EffectWorld* input = &params[0]->u.ld;
  if ((output->world_flags & PF_WorldFlag_DEEP) != 0) {
    return in->utils->iterate16(in, 0, output->height, input, nullptr, nullptr, InvertPixel16, output);
  }
  return in->utils->iterate(in, 0, output->height, input, nullptr, nullptr, InvertPixel8, output);
}

PF_Err UpdateParamsUI(PF_InData* in, PF_ParamDef* params[]) {
  auto* utils = Acquire<PF_ParamUtilsSuite3>(in, kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3);
  if (utils == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  PF_ParamDef copy = *params[2];
  in->utils->ansi.strcpy(copy.name, "Renamed");
  copy.ui_flags |= PF_PUI_DISABLED;
  copy.u.fs_d.value = 99.0;  // a value sent here is not the user's: the host must not take it
  const PF_Err err = utils->PF_UpdateParamUI(in->effect_ref, 2, &copy);
  in->pica_basicP->ReleaseSuite(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3);
  return err;
}

// What the calls of iterate_generic share. Only the call on thread index 0 talks to the host: that is
// the only thread on which abort and progress may be called.
struct ItemWork {
  PF_InData* in;
  A_long items;
  std::atomic<int> visits[fake::kMaxItems] = {};
  std::atomic<A_long> done{0};

  static PF_Err Visit(void* refcon, A_long threadIndex, A_long i, A_long) {
    auto& work = *static_cast<ItemWork*>(refcon);
    if (threadIndex == 0) {
      if (PF_Err err = work.in->inter.abort(work.in->effect_ref)) return err;
    }
    if (i < 0 || i >= work.items) return PF_Err_BAD_CALLBACK_PARAM;
    ++work.visits[i];
    const A_long done = ++work.done;
    if (threadIndex == 0) return work.in->inter.progress(work.in->effect_ref, done, work.items);
    return PF_Err_NONE;
  }
};

PF_Err VisitItems(PF_InData* in, fake::Script& script) {
  if (script.iterations < 0 || script.iterations > fake::kMaxItems) return PF_Err_BAD_CALLBACK_PARAM;
  ItemWork work{in, script.iterations};
  PF_Err err = PF_Err_NONE;
  script.usedGeneric = in->utils->iterate_generic != nullptr ? 1 : 0;
  if (script.usedGeneric) {
    err = in->utils->iterate_generic(work.items, &work, ItemWork::Visit);
  } else {
    // A host without it: the same calls, one after another on this thread, as thread index 0.
    for (A_long i = 0; i < work.items && err == PF_Err_NONE; ++i) {
      err = ItemWork::Visit(&work, 0, i, work.items);
    }
  }
  for (int i = 0; i < fake::kMaxItems; ++i) script.visits[i] = work.visits[i].load();
  script.err = err;
  return err;
}

PF_Err RunScript(PF_InData* in, PF_OutData* out, fake::Script& script) {
  SPBasicSuite* basic = in->pica_basicP;
  PF_UtilCallbacks* utils = in->utils;
  switch (script.action) {
    case fake::Action::LeakSuite:
      script.spErr = basic->AcquireSuite(kPFANSISuite, kPFANSISuiteVersion1, &script.suite);
      break;
    case fake::Action::ReleaseUnacquired:
      script.spErr = basic->ReleaseSuite(kPFHandleSuite, kPFHandleSuiteVersion1);
      break;
    case fake::Action::AcquireAndRelease:
      script.spErr = basic->AcquireSuite(script.name, script.version, &script.suite);
      if (script.spErr == kSPNoError) basic->ReleaseSuite(script.name, script.version);
      break;
    case fake::Action::LeakHandle:
      script.handle = utils->host_new_handle(8);
      break;
    case fake::Action::DoubleDispose:
      script.handle = utils->host_new_handle(8);
      utils->host_dispose_handle(script.handle);
      utils->host_dispose_handle(script.handle);
      break;
    case fake::Action::UseAfterDispose:
      script.handle = utils->host_new_handle(8);
      utils->host_dispose_handle(script.handle);
      script.locked = utils->host_lock_handle(script.handle);
      break;
    case fake::Action::UnbalancedUnlock:
      script.handle = utils->host_new_handle(8);
      utils->host_lock_handle(script.handle);
      utils->host_unlock_handle(script.handle);
      utils->host_unlock_handle(script.handle);
      utils->host_dispose_handle(script.handle);
      break;
    case fake::Action::FormatThroughSuite:
      if (auto* ansi = Acquire<PF_ANSICallbacksSuite1>(in, kPFANSISuite, kPFANSISuiteVersion1)) {
        script.written = ansi->sprintf(script.text, "%s %d/%03d %.2f", "frame", 7, 42, 2.5);
        ansi->strcpy(script.copy, "Reset palette");
        basic->ReleaseSuite(kPFANSISuite, kPFANSISuiteVersion1);
      }
      break;
    case fake::Action::AddParamLate: {
      PF_ParamDef def{};
      def.param_type = PF_Param_GROUP_END;
      script.err = in->inter.add_param(in->effect_ref, -1, &def);
      break;
    }
    case fake::Action::FillReturnMessage:
      std::memset(out->return_msg, 'm', sizeof(out->return_msg));
      break;
    case fake::Action::Throw:
      throw std::runtime_error("escaped");
    case fake::Action::SetSequenceText:
      if (std::string* text = LiveText(in, in->sequence_data)) *text = script.text;
      break;
    case fake::Action::GetSequenceText:
      if (std::string* text = LiveText(in, in->sequence_data)) {
        script.text[text->copy(script.text, std::min(text->size(), sizeof script.text - 1))] = '\0';
      }
      break;
    case fake::Action::TakeJournal:
      std::copy(gJournal, gJournal + gJournalLength, script.journal);
      script.journalLength = gJournalLength;
      gJournalLength = 0;
      break;
    case fake::Action::VisitItems:
      return VisitItems(in, script);
  }
  return PF_Err_NONE;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) PF_Err EntryPoint(PF_Cmd cmd, PF_InData* in,
                                                                    PF_OutData* out, PF_ParamDef* params[],
                                                                    PF_LayerDef* output, void* extra) {
  switch (cmd) {
    case PF_Cmd_GLOBAL_SETUP:
      if (in->appl_id == fake::kFailingApplId) {
        out->out_flags = PF_OutFlag_DISPLAY_ERROR_MESSAGE;
        in->utils->ansi.strcpy(out->return_msg, "no memory for the tables");
        return PF_Err_OUT_OF_MEMORY;
      }
      out->my_version = fake::kVersion;
      out->out_flags = fake::kOutFlags;
      out->out_flags2 = fake::kOutFlags2;
      return PF_Err_NONE;
    case PF_Cmd_ABOUT:
      in->utils->ansi.sprintf(out->return_msg, "%s v%d.%d\r%s", "Fake Effect", 2, 1, "for host tests");
      return PF_Err_NONE;
    case PF_Cmd_PARAMS_SETUP:
      return ParamsSetup(in, out);
    case PF_Cmd_SEQUENCE_SETUP:
    case PF_Cmd_SEQUENCE_RESETUP:
    case PF_Cmd_SEQUENCE_FLATTEN:
    case PF_Cmd_SEQUENCE_SETDOWN:
      return Journaled(cmd, in, out);
    case PF_Cmd_RENDER:
      return Render(in, params, output);
    case PF_Cmd_UPDATE_PARAMS_UI:
      return UpdateParamsUI(in, params);
    case fake::kScriptCommand:
      return RunScript(in, out, *static_cast<fake::Script*>(extra));
    default:
      return PF_Err_NONE;
  }
}
