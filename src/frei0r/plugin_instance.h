// What one frei0r instance is: the frame renderer for its size, the parameter values as the host set
// them, and what it has already told the user. Every entry is safe to call with anything a host may pass.
//
// The frame is a function of the current values alone, whatever order the host set them in: each
// parameter drives one control ("palette file" only supplies the colours "Custom" takes), so a fresh
// instance given a saved project's values renders what the running one did.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
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
  void setChoice(int index, const std::string& text);
  void setPalette(const std::string& text);
  void setDouble(int index, double value);
  // Whether frames pass through unchanged: "Custom" chosen with no colours to take.
  bool passesThrough();
  // One line on stderr, unless the last thing said about `index` was the same.
  void complain(int index, const std::string& message);

  std::mutex mutex_;
  unsigned width_, height_;
  std::unique_ptr<FrameRenderer> renderer_;
  // Strings as get returns them (the current label, the palette last taken) and the last text the host
  // passed, so that a host setting every parameter before every frame does not read a file each time.
  std::array<std::string, kParamCount> strings_;
  std::array<std::optional<std::string>, kParamCount> lastPassed_;
  std::array<double, kParamCount> doubles_{};
  // Whether the effect holds custom colours, and if not, why.
  bool hasColors_ = false;
  std::string noColors_ = "no palette file or colours given";
  // Index kParamCount is the frame itself (size, render failures, passing through).
  std::array<std::optional<std::string>, kParamCount + 1> lastSaid_;
};
