#include "cli/image_checks.h"

int AlphaChannel(const OIIO_NAMESPACE::ImageSpec& spec) {
  if (spec.alpha_channel >= 0 && spec.alpha_channel < spec.nchannels) return spec.alpha_channel;
  for (int c = 0; c < spec.nchannels; ++c) {
    if (spec.channel_name(c) == "A" || spec.channel_name(c) == "Alpha") return c;
  }
  // Grey with alpha and RGBA files that do not name their alpha channel.
  if (spec.nchannels == 2) return 1;
  if (spec.nchannels == 4) return 3;
  return -1;
}
