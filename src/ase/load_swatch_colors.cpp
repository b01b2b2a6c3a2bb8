#include "ase/load_swatch_colors.h"

#include "ase/ase_populate_rgb.h"
#include "ase/load.h"

ColorList LoadSwatchColors(const std::string& path) {
  ASEPopulateRGB collector;
  ase::LoadFromFile(collector, path);
  return collector.colors;
}
