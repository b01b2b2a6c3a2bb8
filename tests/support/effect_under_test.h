// The effect library as built, loaded through minihost for tests of what a host sees.
#pragma once

#include "minihost/instance.h"

inline const char* EffectLibraryPath() { return PALETTRIX_EFFECT_PATH; }

// A host with the effect loaded and globally set up, and one instance with its default controls.
struct LoadedEffect {
  explicit LoadedEffect(minihost::Host::Options options = {}) : host(options), effect(host, EffectLibraryPath()),
                                                                instance(effect) {}
  minihost::Host host;
  minihost::Effect effect;
  minihost::Instance instance;
};
