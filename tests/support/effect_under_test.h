// The effect library as built, loaded through minihost for tests of what a host sees.
#pragma once

#include "minihost/instance.h"

inline const char* EffectLibraryPath() { return PALETTRIX_EFFECT_PATH; }

// A host with the effect loaded and globally set up, and one instance applied to a layer (sequence
// set-up sent), with its default controls.
struct LoadedEffect {
  explicit LoadedEffect(minihost::Host::Options options = {})
      : host(options), effect(host, EffectLibraryPath()), instance(effect) {}
  // Suites a test withheld are its own affair: the instance is removed by a host that offers them again,
  // so that its set-down can free the palette instead of failing for want of a suite.
  ~LoadedEffect() {
    host.setBasicSuiteAvailable(true);
    host.allowAllSuites();
  }
  LoadedEffect(const LoadedEffect&) = delete;
  LoadedEffect& operator=(const LoadedEffect&) = delete;

  minihost::Host host;
  minihost::Effect effect;
  minihost::Instance instance;
};
