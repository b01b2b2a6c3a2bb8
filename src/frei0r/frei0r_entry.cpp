// The frei0r entry points. Each one catches everything: no C++ exception reaches a host written in C.
// The header declares the functions without C linkage of its own.
extern "C" {
#include <frei0r.h>
}

#include <cstdio>
#include <exception>
#include <new>

#include "frei0r/frei0r_params.h"
#include "frei0r/plugin_instance.h"

#define PALETTRIX_FREI0R_EXPORT __attribute__((visibility("default")))

namespace {

template <typename F>
void Guarded(const char* what, F&& f) noexcept {
  try {
    f();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "palettrix (frei0r): %s failed: %s\n", what, e.what());
  } catch (...) {
    std::fprintf(stderr, "palettrix (frei0r): %s failed\n", what);
  }
}

}  // namespace

// Nothing to set up: the effect keeps no global state, and each instance sets up its own.
PALETTRIX_FREI0R_EXPORT int f0r_init() { return 1; }

PALETTRIX_FREI0R_EXPORT void f0r_deinit() {}

PALETTRIX_FREI0R_EXPORT void f0r_get_plugin_info(f0r_plugin_info_t* info) {
  if (info == nullptr) return;
  info->name = "Palettrix";
  info->author = "Vorn Effects";
  info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
  info->color_model = F0R_COLOR_MODEL_RGBA8888;
  info->frei0r_version = FREI0R_MAJOR_VERSION;
  info->major_version = PALETTRIX_VERSION_MAJOR;
  info->minor_version = PALETTRIX_VERSION_MINOR;
  info->num_params = kParamCount;
  info->explanation =
      "Reduces every frame to a limited palette and dithers it: 26 patterns, 21 retro palettes or one "
      "read from a palette file";
}

PALETTRIX_FREI0R_EXPORT void f0r_get_param_info(f0r_param_info_t* info, int param_index) {
  if (info == nullptr || param_index < 0 || param_index >= kParamCount) return;
  const Frei0rParamInfo& param = kFrei0rParams[param_index];
  info->name = param.name;
  info->type = param.type;
  info->explanation = param.explanation;
}

PALETTRIX_FREI0R_EXPORT f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
  PluginInstance* instance = nullptr;
  Guarded("constructing an instance", [&] { instance = new PluginInstance(width, height); });
  return instance;
}

PALETTRIX_FREI0R_EXPORT void f0r_destruct(f0r_instance_t instance) {
  Guarded("destroying an instance", [&] { delete static_cast<PluginInstance*>(instance); });
}

PALETTRIX_FREI0R_EXPORT void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param,
                                                 int param_index) {
  if (instance == nullptr) return;
  Guarded("setting a parameter",
          [&] { static_cast<PluginInstance*>(instance)->setParam(param, param_index); });
}

PALETTRIX_FREI0R_EXPORT void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param,
                                                 int param_index) {
  if (instance == nullptr) return;
  Guarded("reading a parameter",
          [&] { static_cast<PluginInstance*>(instance)->getParam(param, param_index); });
}

PALETTRIX_FREI0R_EXPORT void f0r_update(f0r_instance_t instance, double, const uint32_t* inframe,
                                        uint32_t* outframe) {
  if (instance == nullptr) return;
  Guarded("rendering a frame", [&] { static_cast<PluginInstance*>(instance)->update(inframe, outframe); });
}
