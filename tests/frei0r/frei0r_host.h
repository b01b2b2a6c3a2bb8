// A small frei0r host of our own: loads the plug-in with dlopen, as FFmpeg, MLT and GStreamer do, and calls
// it only through the frei0r functions.
#pragma once

#include <dlfcn.h>
extern "C" {
#include <frei0r.h>
}

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

class Frei0rPlugin {
 public:
  explicit Frei0rPlugin(const char* path) : module_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
    if (module_ == nullptr) throw std::runtime_error(std::string("cannot load ") + path + ": " + dlerror());
    init = Find<decltype(init)>("f0r_init");
    deinit = Find<decltype(deinit)>("f0r_deinit");
    pluginInfo = Find<decltype(pluginInfo)>("f0r_get_plugin_info");
    paramInfo = Find<decltype(paramInfo)>("f0r_get_param_info");
    construct = Find<decltype(construct)>("f0r_construct");
    destruct = Find<decltype(destruct)>("f0r_destruct");
    setParam = Find<decltype(setParam)>("f0r_set_param_value");
    getParam = Find<decltype(getParam)>("f0r_get_param_value");
    update = Find<decltype(update)>("f0r_update");
    if (init() != 1) throw std::runtime_error("f0r_init failed");
  }
  ~Frei0rPlugin() {
    deinit();
    dlclose(module_);
  }
  Frei0rPlugin(const Frei0rPlugin&) = delete;
  Frei0rPlugin& operator=(const Frei0rPlugin&) = delete;

  bool exports(const char* name) { return dlsym(module_, name) != nullptr; }

  void setString(f0r_instance_t instance, int index, const char* text) {
    f0r_param_string value = const_cast<char*>(text);
    setParam(instance, &value, index);
  }
  std::string getString(f0r_instance_t instance, int index) {
    f0r_param_string value = nullptr;
    getParam(instance, &value, index);
    return value != nullptr ? std::string(value) : std::string("(null)");
  }
  void setDouble(f0r_instance_t instance, int index, double value) { setParam(instance, &value, index); }
  double getDouble(f0r_instance_t instance, int index) {
    double value = -12345.0;
    getParam(instance, &value, index);
    return value;
  }

  int (*init)();
  void (*deinit)();
  void (*pluginInfo)(f0r_plugin_info_t*);
  void (*paramInfo)(f0r_param_info_t*, int);
  f0r_instance_t (*construct)(unsigned, unsigned);
  void (*destruct)(f0r_instance_t);
  void (*setParam)(f0r_instance_t, f0r_param_t, int);
  void (*getParam)(f0r_instance_t, f0r_param_t, int);
  void (*update)(f0r_instance_t, double, const uint32_t*, uint32_t*);

 private:
  template <typename F>
  F Find(const char* name) {
    void* symbol = dlsym(module_, name);
    if (symbol == nullptr) throw std::runtime_error(std::string("no ") + name);
    return reinterpret_cast<F>(symbol);
  }
  void* module_;
};

// RGBA8888 pixels as bytes red, green, blue, alpha in memory.
inline uint32_t Rgba(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  const uint8_t bytes[4] = {r, g, b, a};
  uint32_t pixel;
  __builtin_memcpy(&pixel, bytes, 4);
  return pixel;
}
