#include "cli/progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "cli/terminal.h"

namespace {

constexpr std::size_t kDefaultColumns = 80;

std::string TimeLeft(long left) {
  char text[64];
  if (left >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld left", left / 3600, left / 60 % 60, left % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld left", left / 60, left % 60);
  }
  return text;
}

}  // namespace

std::string FormatProgress(long done, std::optional<long> total, double seconds, std::size_t width,
                           const std::string& what) {
  // A video's frame count may be an estimate that the frames overtake.
  if (total && *total < done) total = done;
  std::string count = std::to_string(done);
  if (total) count.append(1, '/').append(std::to_string(*total));
  std::string rate, left;
  if (done > 0 && seconds > 0.0) {
    const double fps = static_cast<double>(done) / seconds;
    char text[64];
    std::snprintf(text, sizeof text, "%.1f fps", fps);
    rate = text;
    if (total) left = TimeLeft(std::lround(static_cast<double>(*total - done) / fps));
  }
  const std::string frame = std::string(what).append(" ").append(count);
  std::string full = frame, withoutRate = frame;
  if (!rate.empty()) full.append(", ").append(rate);
  if (!left.empty()) {
    full.append(", ").append(left);
    withoutRate.append(", ").append(left);
  }
  const std::string candidates[] = {full, withoutRate, frame, count};
  for (const std::string& line : candidates) {
    if (line.size() <= width) return line;
  }
  return count.substr(0, width);
}

std::size_t LineWidth(int fd) {
  std::size_t columns = 0;
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) == 0) columns = size.ws_col;
  if (columns == 0) {
    if (const char* text = std::getenv("COLUMNS"); text != nullptr) {
      const char* end = text + std::char_traits<char>::length(text);
      std::size_t value = 0;
      const auto [stop, error] = std::from_chars(text, end, value);
      if (error == std::errc() && stop == end) columns = value;
    }
  }
  if (columns == 0) columns = kDefaultColumns;
  return columns - 1;
}

// The command's own stderr (Messages), not file descriptor 2, which the libraries' quiet spells send
// elsewhere meanwhile, on any thread.
Progress::Progress(bool enabled, std::optional<long> total, std::string what)
    : shown_(enabled && isatty(fileno(Messages())) == 1),
      total_(total),
      what_(std::move(what)),
      start_(std::chrono::steady_clock::now()) {}

Progress::~Progress() {
  // A line left open would run into the error message that follows.
  if (lineOpen_) std::fputc('\n', Messages());
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
  std::fputc('\n', Messages());
  lineOpen_ = false;
}

void Progress::draw() {
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  // Asked each time: the terminal may have been resized meanwhile.
  const std::size_t width = LineWidth(fileno(Messages()));
  std::string line = FormatProgress(done_, total_, seconds, width, what_);
  const std::size_t length = line.size();
  // Blanks over the end of a longer previous line, within the terminal's width.
  if (length < width_) line.append(std::min(width_, width) - length, ' ');
  width_ = length;
  line.insert(0, 1, '\r');
  std::fwrite(line.data(), 1, line.size(), Messages());
  lineOpen_ = true;
}
