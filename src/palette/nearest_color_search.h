// PLACEHOLDER until the grid search lands: same contract, plain scan.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "palette/color.h"

class NearestColorSearch {
 public:
  NearestColorSearch() = default;
  explicit NearestColorSearch(std::span<const Color3> colors);
  int32_t find(const Color3& in) const;
  int32_t find8(uint8_t r, uint8_t g, uint8_t b) const;
  Color3& nearest(Color3& out, const Color3& in) const;
  std::span<const Color3> colors() const { return colors_; }
  std::size_t size() const { return colors_.size(); }

 private:
  std::vector<Color3> colors_;
};
