#include "cli/image_sequence.h"

#include <algorithm>
#include <charconv>
#include <system_error>
#include <thread>

#include "cli/exit_status.h"
#include "cli/image_io.h"
#include "cli/safe_output.h"

namespace fs = std::filesystem;

namespace {

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The digits of a %0Nd or %d conversion starting at text[at] == '%'; the length of the conversion in
// `length`. None when it is not one.
std::optional<int> PrintfDigits(const std::string& text, std::size_t at, std::size_t& length) {
  std::size_t i = at + 1;
  int digits = 1;
  if (i < text.size() && text[i] == '0') {
    const std::size_t start = ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i == start || i - start > 2) return std::nullopt;
    std::from_chars(text.data() + start, text.data() + i, digits);
    if (digits < 1) return std::nullopt;
  }
  if (i >= text.size() || text[i] != 'd') return std::nullopt;
  length = i + 1 - at;
  return digits;
}

}  // namespace

std::optional<SequencePattern> SequencePattern::Parse(const fs::path& path) {
  const std::string name = path.filename().string();
  SequencePattern pattern;
  pattern.text_ = path;
  pattern.folder_ = path.parent_path();
  for (std::size_t at = 0; at < name.size(); ++at) {
    std::size_t length = 0;
    if (name[at] == '%') {
      const std::optional<int> digits = PrintfDigits(name, at, length);
      if (!digits) continue;
      pattern.digits_ = *digits;
    } else if (name[at] == '#') {
      length = name.find_first_not_of('#', at);
      length = (length == std::string::npos ? name.size() : length) - at;
      pattern.digits_ = static_cast<int>(length);
    } else {
      continue;
    }
    pattern.prefix_ = name.substr(0, at);
    pattern.suffix_ = name.substr(at + length);
    return pattern;
  }
  return std::nullopt;
}

fs::path SequencePattern::frame(long number) const {
  std::string digits = std::to_string(number);
  if (digits.size() < static_cast<std::size_t>(digits_)) digits.insert(0, digits_ - digits.size(), '0');
  std::string name = prefix_;
  name += digits;
  name += suffix_;
  return folder_ / name;
}

std::vector<long> SequencePattern::framesOnDisk() const {
  std::vector<long> numbers;
  std::error_code ec;
  const fs::path folder = folder_.empty() ? fs::path(".") : folder_;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() <= prefix_.size() + suffix_.size() || !name.starts_with(prefix_) ||
        !name.ends_with(suffix_)) {
      continue;
    }
    const std::string_view middle =
        std::string_view(name).substr(prefix_.size(), name.size() - prefix_.size() - suffix_.size());
    if (!AllDigits(middle) || middle.size() > 18) continue;
    long number = 0;
    std::from_chars(middle.data(), middle.data() + middle.size(), number);
    if (frame(number).filename() == name) numbers.push_back(number);
  }
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

void RequireOutputFolder(const fs::path& output) {
  const fs::path folder = output.parent_path().empty() ? fs::path(".") : output.parent_path();
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    throw CliError(kExitOutput, output.string() + ": cannot write (no folder " + folder.string() + ")");
  }
}

FrameRange ParseFrameRange(const std::string& text) {
  const std::size_t dash = text.find('-');
  const std::string_view first = std::string_view(text).substr(0, dash);
  const std::string_view last =
      dash == std::string::npos ? std::string_view() : std::string_view(text).substr(dash + 1);
  FrameRange range;
  if (AllDigits(first) && AllDigits(last) && first.size() <= 18 && last.size() <= 18) {
    std::from_chars(first.data(), first.data() + first.size(), range.first);
    std::from_chars(last.data(), last.data() + last.size(), range.last);
    if (range.first <= range.last) return range;
  }
  throw CliError(kExitUsage, "--frames: \"" + text + "\" is not a range A-B of frame numbers with A <= B");
}

unsigned DefaultCodecThreads() { return std::max(1u, std::thread::hardware_concurrency()); }

SequenceSource::SequenceSource(const SequencePattern& pattern, std::optional<FrameRange> range,
                               std::optional<minihost::Depth> depth, unsigned readers)
    : pattern_(pattern), depth_(depth), readers_(std::max(readers, 1u)) {
  if (range) {
    for (long number = range->first; number <= range->last; ++number) {
      std::error_code ec;
      const fs::path path = pattern_.frame(number);
      if (!fs::exists(path, ec)) {
        throw CliError(kExitInput, path.string() + ": no such file (frame " + std::to_string(number) +
                                       " of --frames " + std::to_string(range->first) + "-" +
                                       std::to_string(range->last) + ")");
      }
      numbers_.push_back(number);
    }
  } else {
    numbers_ = pattern_.framesOnDisk();
    if (numbers_.empty()) throw CliError(kExitInput, pattern_.text().string() + ": no files match");
  }
}

// The readers stop before the members they read go.
SequenceSource::~SequenceSource() { ahead_.reset(); }

Frame SequenceSource::read(long number, std::optional<minihost::Depth> depth) const {
  const fs::path path = pattern_.frame(number);
  // A pipe or a device in a sequence could block the run for good.
  std::error_code ec;
  if (fs::exists(path, ec) && !fs::is_regular_file(path, ec)) {
    throw CliError(kExitInput, path.string() + ": not a regular file");
  }
  LoadedImage image = ReadImage(path, depth ? &*depth : nullptr);
  return Frame{number, std::move(image.world), image.hasAlpha || alphaThroughout_};
}

void SequenceSource::readAhead() {
  while (started_ < numbers_.size() && ahead_->pending() < readers_) {
    const long number = numbers_[started_++];
    ahead_->submit([this, number, depth = depth_] { return read(number, depth); });
  }
}

std::optional<Frame> SequenceSource::next() {
  if (next_ == numbers_.size()) return std::nullopt;
  if (next_ == 0) {
    // The first frame sets the depth of all the others, so that a video output gets frames of one kind;
    // the frames after it are read ahead once it is known.
    Frame frame = read(numbers_[next_++], depth_);
    started_ = next_;
    depth_ = frame.world.depth();
    ahead_ = std::make_unique<OrderedTasks<Frame>>(readers_);
    readAhead();
    return frame;
  }
  ++next_;
  Frame frame = ahead_->takeNext();
  readAhead();
  return frame;
}

void SequenceSource::keepAlphaThroughout() {
  for (const long number : numbers_) {
    // Only the header is decoded. A file that cannot be read is reported when its frame is read.
    if (ImageHasAlpha(pattern_.frame(number))) {
      alphaThroughout_ = true;
      return;
    }
  }
}

void SequenceSource::spreadOver(std::size_t most) {
  std::vector<long> kept;
  for (const std::size_t at : SpreadPositions(numbers_.size(), most)) kept.push_back(numbers_[at]);
  numbers_ = std::move(kept);
}

SequenceSink::SequenceSink(const SequencePattern& pattern, PngColors colors, unsigned encoders)
    : pattern_(pattern), colors_(colors), encoders_(std::max(encoders, 1u)) {
  RequireOutputFolder(pattern.text());
  encoding_ = std::make_unique<OrderedTasks<std::unique_ptr<OutputFile>>>(encoders_);
}

// The encoders stop first; the temporary files of the frames they had are removed with them.
SequenceSink::~SequenceSink() { encoding_.reset(); }

void SequenceSink::collect(std::size_t keep) {
  while (encoding_->pending() > keep) written_.push_back(encoding_->takeNext());
}

void SequenceSink::write(Frame frame) {
  // None has its final name until finish(); each is complete in its own temporary file by then.
  struct Encoding {
    std::unique_ptr<OutputFile> file;
    Frame frame;
  };
  auto job = std::make_shared<Encoding>(
      Encoding{std::make_unique<OutputFile>(pattern_.frame(frame.number)), std::move(frame)});
  const std::size_t frameBytes = static_cast<std::size_t>(job->frame.world.rowbytes()) *
                                 static_cast<std::size_t>(job->frame.world.height());
  const std::size_t held =
      std::clamp<std::size_t>(kEncodeMemoryBudget / std::max<std::size_t>(frameBytes, 1), 1, encoders_);
  // Room for this frame first.
  collect(held - 1);
  encoding_->submit([job = std::move(job), colors = colors_]() mutable {
    // Once the run is interrupted nothing more is encoded.
    ThrowIfInterrupted();
    EncodeImage(*job->file, job->frame.world, job->frame.hasAlpha, colors);
    std::unique_ptr<OutputFile> file = std::move(job->file);
    // The frame's memory goes back now.
    job.reset();
    return file;
  });
}

void SequenceSink::finish() {
  collect(0);
  // A target that became a device or a pipe meanwhile stops the run before any frame is renamed.
  for (const auto& file : written_) RequireRegularOutput(file->target());
  for (auto& file : written_) file->commit();
  written_.clear();
}
