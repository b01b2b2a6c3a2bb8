// A callback that writes down every report, to check order, names and raw values.
#pragma once

#include <string>
#include <vector>

#include "ase/color_callback.h"

struct AseEvent {
  std::string kind;  // "begin", "end", "gray", "rgb", "lab", "cmyk"
  std::u16string name;
  std::vector<float> values;
};

class EventLog final : public ase::ColorCallback {
 public:
  void GroupBegin(const std::u16string& name) override { events.push_back({"begin", name, {}}); }
  void GroupEnd() override { events.push_back({"end", u"", {}}); }
  void GrayColor(const std::u16string& name, float gray) override {
    events.push_back({"gray", name, {gray}});
  }
  void RGBColor(const std::u16string& name, const Color3& rgb) override {
    events.push_back({"rgb", name, {rgb.r, rgb.g, rgb.b}});
  }
  void LABColor(const std::u16string& name, const float& l, const float& a, const float& b) override {
    events.push_back({"lab", name, {l, a, b}});
  }
  void CMYKColor(const std::u16string& name, const float& c, const float& m, const float& y,
                 const float& k) override {
    events.push_back({"cmyk", name, {c, m, y, k}});
  }

  // The kinds in order, space-separated: "begin rgb end".
  std::string Kinds() const {
    std::string out;
    for (const AseEvent& e : events) {
      if (!out.empty()) out.push_back(' ');
      out.append(e.kind);
    }
    return out;
  }

  std::vector<AseEvent> events;
};
