#include "cli/progress.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>

std::string FormatProgress(long done, std::optional<long> total, double seconds) {
  // A video's frame count may be an estimate that the frames overtake.
  if (total && *total < done) total = done;
  char text[128];
  int length = total ? std::snprintf(text, sizeof text, "frame %ld/%ld", done, *total)
                     : std::snprintf(text, sizeof text, "frame %ld", done);
  if (done > 0 && seconds > 0.0) {
    const double fps = static_cast<double>(done) / seconds;
    length += std::snprintf(text + length, sizeof text - length, ", %.1f fps", fps);
    if (total) {
      const long left = std::lround(static_cast<double>(*total - done) / fps);
      if (left >= 3600) {
        std::snprintf(text + length, sizeof text - length, ", %ld:%02ld:%02ld left", left / 3600,
                      left / 60 % 60, left % 60);
      } else {
        std::snprintf(text + length, sizeof text - length, ", %ld:%02ld left", left / 60, left % 60);
      }
    }
  }
  return text;
}

Progress::Progress(bool enabled, std::optional<long> total)
    : shown_(enabled && isatty(STDERR_FILENO) == 1),
      total_(total),
      start_(std::chrono::steady_clock::now()) {}

Progress::~Progress() {
  // A line left open would run into the error message that follows.
  if (lineOpen_) std::fputc('\n', stderr);
}

void Progress::frameDone() {
  ++done_;
  if (!shown_) return;
  const auto now = std::chrono::steady_clock::now();
  if (lineOpen_ && now - lastDraw_ < std::chrono::milliseconds(250)) return;
  lastDraw_ = now;
  draw();
}

void Progress::finish() {
  if (!shown_) return;
  draw();
  std::fputc('\n', stderr);
  lineOpen_ = false;
}

void Progress::draw() {
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  std::string line = FormatProgress(done_, total_, seconds);
  const std::size_t length = line.size();
  // Blanks over the end of a longer previous line.
  if (length < width_) line.append(width_ - length, ' ');
  width_ = length;
  std::fprintf(stderr, "\r%s", line.c_str());
  std::fflush(stderr);
  lineOpen_ = true;
}
