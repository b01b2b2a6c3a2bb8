#include "plugin/build_date.h"
#include "plugin/commands.h"
#include "plugin/effect_identity.h"
#include "plugin/suite_cache.h"

namespace {
constexpr auto kBuildDate = build_date::Format(__DATE__, __TIME__);
}

std::string AboutText() {
  std::string text;
  text += std::string(kEffectName) + " by Vorn Effects (palettrix@vorn-effects.com)\n";
  text += std::string("(Build date: ") + kBuildDate.data() + ")\n";
  text += " Commodore 64 - Orrel palette by Orrel\n";
  text += " FamiCube palette by Iven\n";
  text += " Open-file dialog after tinyfiledialogs by Guillaume Vareille";
  return text;
}

PF_Err About(PF_InData* inData, PF_OutData* outData) {
  SuiteCache suites(inData);
  const std::string text = AboutText();
  suites.ansi().sprintf(outData->return_msg, text.c_str());
  return PF_Err_NONE;
}
