#include "cli/ffmpeg.h"

#include <new>

#include "cli/interrupt.h"

namespace av {

Frame NewFrame() {
  Frame frame(av_frame_alloc());
  if (!frame) throw std::bad_alloc();
  return frame;
}

Packet NewPacket() {
  Packet packet(av_packet_alloc());
  if (!packet) throw std::bad_alloc();
  return packet;
}

std::string ErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

void SilenceLog() { av_log_set_level(AV_LOG_QUIET); }

int InterruptCallback(void*) { return InterruptSignal() != 0 ? 1 : 0; }

}  // namespace av
