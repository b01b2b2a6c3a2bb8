// What one frei0r instance is: the frame renderer for its size, the parameter values as the host set
// them, and what it has already told the user. Every entry is safe to call with anything a host may pass.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "frei0r/frame_renderer.h"
#include "frei0r/frei0r_params.h"

class PluginInstance {
 public:
  // A size the effect cannot take leaves the instance without a renderer: it says so once and renders
  // transparent frames.
  PluginInstance(unsigned width, unsigned height);

  // `param` points to the value as frei0r passes it: a double, or a char* for strings.
  void setParam(const void* param, int index);
  void getParam(void* param, int index);
  void update(const uint32_t* in, uint32_t* out);

 private:
  void setString(int index, const char* text);
  void setDouble(int index, double value);
  // One line on stderr, unless the last thing said about `index` was the same.
  void complain(int index, const std::string& message);

  std::mutex mutex_;
  unsigned width_, height_;
  std::unique_ptr<FrameRenderer> renderer_;
  // Strings as get returns them (the current label, the loaded file) and the last text the host passed,
  // so that a host setting every parameter before every frame does not undo later choices nor reload files.
  std::array<std::string, kParamCount> strings_;
  std::array<std::optional<std::string>, kParamCount> lastPassed_;
  std::array<double, kParamCount> units_{};
  // Index kParamCount is the frame itself (size, render failures).
  std::array<std::optional<std::string>, kParamCount + 1> lastSaid_;
};
