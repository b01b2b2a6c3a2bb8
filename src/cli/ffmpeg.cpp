#include "cli/ffmpeg.h"

#include <cstdarg>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

#include "cli/interrupt.h"
#include "cli/terminal.h"

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

namespace {

std::mutex damageMutex;
std::string damage;  // under damageMutex

bool AboutInput(void* object, int level) {
  if (object == nullptr) return false;
  const AVClass* kind = *static_cast<const AVClass**>(object);
  if (kind == nullptr || kind->class_name == nullptr) return false;
  if (std::strcmp(kind->class_name, "AVFormatContext") == 0) {
    return level <= AV_LOG_WARNING && static_cast<const AVFormatContext*>(object)->iformat != nullptr;
  }
  if (std::strcmp(kind->class_name, "AVCodecContext") == 0) {
    const AVCodec* codec = static_cast<const AVCodecContext*>(object)->codec;
    return level <= AV_LOG_ERROR && codec != nullptr && av_codec_is_decoder(codec) != 0;
  }
  return false;
}

void Log(void* object, int level, const char* format, va_list arguments) {
  if (AboutInput(object, level)) {
    va_list copy;
    va_copy(copy, arguments);
    char line[512];
    int prefix = 1;
    av_log_format_line2(nullptr, level, format, copy, line, sizeof line, &prefix);
    va_end(copy);
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    std::lock_guard lock(damageMutex);
    if (damage.empty()) damage = text.empty() ? std::string("damaged data") : text;
  }
  if (Verbose() && level <= AV_LOG_WARNING) av_log_default_callback(object, level, format, arguments);
}

}  // namespace

void SilenceLog() {
  av_log_set_level(AV_LOG_WARNING);
  av_log_set_callback(Log);
}

std::string TakeInputDamage() {
  std::lock_guard lock(damageMutex);
  return std::exchange(damage, std::string());
}

int InterruptCallback(void*) { return InterruptSignal() != 0 ? 1 : 0; }

}  // namespace av
