// The one function the host calls. Every command passes through here, and so does every failure: host
// error codes thrown inside a handler, running out of memory, and anything else, so that no C++
// exception ever crosses into the host.
#include <new>

#include "plugin/commands.h"
#include "plugin/render_command.h"
#include "plugin/smart_render.h"
#include "plugin/suite_cache.h"

#if defined(_WIN32)
#define PALETTRIX_EXPORT __declspec(dllexport)
#else
#define PALETTRIX_EXPORT __attribute__((visibility("default")))
#endif

namespace {

PF_Err Dispatch(PF_Cmd cmd, PF_InData* inData, PF_OutData* outData, PF_ParamDef* params[],
                PF_LayerDef* output, void* extra) {
  switch (cmd) {
    case PF_Cmd_ABOUT:
      return About(inData, outData);
    case PF_Cmd_GLOBAL_SETUP:
      return GlobalSetup(outData);
    case PF_Cmd_PARAMS_SETUP:
      return ParamsSetup(inData, outData);
    case PF_Cmd_SEQUENCE_SETUP:
      return SequenceSetup(inData, outData);
    case PF_Cmd_SEQUENCE_RESETUP:
      return SequenceResetup(inData, outData);
    case PF_Cmd_SEQUENCE_FLATTEN:
      return SequenceFlatten(inData, outData);
    case PF_Cmd_SEQUENCE_SETDOWN:
      return SequenceSetdown(inData, outData);
    case PF_Cmd_GET_FLATTENED_SEQUENCE_DATA:
      return GetFlattenedSequenceData(inData, outData);
    case PF_Cmd_DO_DIALOG:
      return DoDialog(inData, outData);
    case PF_Cmd_USER_CHANGED_PARAM:
      return UserChangedParam(inData, outData, params, static_cast<const PF_UserChangedParamExtra*>(extra));
    case PF_Cmd_UPDATE_PARAMS_UI:
      return UpdateParamsUI(inData, params);
    case PF_Cmd_RENDER:
      return RenderCommand(inData, outData, params, output);
    case PF_Cmd_SMART_PRE_RENDER:
      return SmartPreRender(inData, outData, static_cast<PF_PreRenderExtra*>(extra));
    case PF_Cmd_SMART_RENDER:
      return SmartRender(inData, outData, static_cast<PF_SmartRenderExtra*>(extra));
    default:
      return PF_Err_NONE;
  }
}

}  // namespace

extern "C" PALETTRIX_EXPORT PF_Err EntryPoint(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                              PF_ParamDef* params[], PF_LayerDef* output, void* extra) {
  try {
    return Dispatch(cmd, in_data, out_data, params, output, extra);
  } catch (PF_Err err) {
    return err;
  } catch (const std::bad_alloc&) {
    return PF_Err_OUT_OF_MEMORY;
  } catch (...) {
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
}
