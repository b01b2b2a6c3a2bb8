// Our effect next to FFmpeg's `paletteuse` filter, in one process and one run, on the same 1920x1080
// 8-bit frame (bench_frame.h) and the same palettes ("PICO-8", 16 colours; "VGA 8-bit", 246 colours):
//
//   ours/Threshold/PICO8       paletteuse/none/PICO8             nearest colour, no dithering
//   ours/Bayer8x8/PICO8        paletteuse/bayer/PICO8            ordered 8x8 Bayer (default bayer_scale, 2)
//   ours/FloydSteinberg/PICO8  paletteuse/floyd_steinberg/PICO8  error diffusion
//   (and the same with VGA8bit)
//
// Ours renders through the effect's entry point with minihost and bench::kHostThreads threads;
// paletteuse runs single-threaded, as it ships (it has no threading of its own). Only the filtering is
// timed: each paletteuse frame is a fresh writable copy of the source frame made with the clock paused,
// pushed into a filter graph (buffersrc -> paletteuse <- buffersrc of the palette; -> buffersink) that
// stays up for the whole benchmark, as it would for a video. Both sides render one untimed frame first:
// paletteuse keeps a colour cache across frames, so the frames after the first work from it, as they do
// on footage of similar frames; the times are those of a running video, not of its first frame.
//
// Before timing, one frame of each paletteuse graph is checked: every output colour is a palette colour,
// there are no more of them than the palette has, and bayer and floyd_steinberg differ from no dithering.
// The run stops with status 1 when a check fails. At the end a table pairs the measured times: ms a frame
// on the clock (the ratio is of these), and processor ms a frame summed over all threads, which says more
// than the clock when other work shares the machine.
//
// Options besides Google Benchmark's own:
//   --palettrix_dump=DIR   write the source frame and one output frame of every pairing, both sides, as
//                          binary PPM files into DIR (which must exist), for looking at.
// Each benchmark runs until it has taken at least half a second (--benchmark_min_time overrides it).
#include <benchmark/benchmark.h>
#include <unistd.h>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_frame.h"
#include "palette/color_tables.h"
#include "palette/rounding.h"
#include "timing.h"

namespace {

constexpr A_long kWidth = 1920;
constexpr A_long kHeight = 1080;

struct Rgb {
  uint8_t r, g, b;
  auto operator<=>(const Rgb&) const = default;
};

// A table colour back in bytes: every component of the tables is an exact k / 255.
template <std::size_t N>
std::vector<Rgb> PaletteBytes(const std::array<Color3, N>& table) {
  std::vector<Rgb> bytes;
  for (const Color3& c : table) {
    auto byte = [](float component) { return static_cast<uint8_t>(RoundHalfAway(component * 255.0f)); };
    bytes.push_back({byte(c.r), byte(c.g), byte(c.b)});
  }
  return bytes;
}

struct Palette {
  const char* name;   // in benchmark names
  const char* label;  // in the table
  A_long swatch;
  std::vector<Rgb> colors;
};

struct Pairing {
  const char* ours;  // our pattern, in benchmark names
  A_long pattern;
  const char* dither;        // paletteuse's, in benchmark names
  const char* ditherOption;  // its value of the filter's `dither` option
};

// The `dither` option's value 0 is no dithering; this version of the filter has no named constant for it.
const Pairing kPairings[] = {
    {"Threshold", bench::kPatternThreshold, "none", "0"},
    {"Bayer8x8", bench::kPatternBayer8x8, "bayer", "bayer"},
    {"FloydSteinberg", bench::kPatternFloydSteinberg, "floyd_steinberg", "floyd_steinberg"},
};

std::string AvError(int err) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(err, text, sizeof text);
  return text;
}

void Check(int err, const std::string& what) {
  if (err < 0) throw std::runtime_error(what + ": " + AvError(err));
}

AVFrame* AllocFrame(int width, int height) {
  AVFrame* frame = av_frame_alloc();
  if (frame == nullptr) throw std::runtime_error("av_frame_alloc failed");
  frame->format = AV_PIX_FMT_BGRA;
  frame->width = width;
  frame->height = height;
  Check(av_frame_get_buffer(frame, 0), "av_frame_get_buffer");
  return frame;
}

// The source frame in the only input format paletteuse takes: BGRA, one 32-bit pixel each.
AVFrame* BgraFrame(const minihost::World& world) {
  AVFrame* frame = AllocFrame(world.width(), world.height());
  for (A_long y = 0; y < world.height(); ++y) {
    uint8_t* row = frame->data[0] + y * frame->linesize[0];
    for (A_long x = 0; x < world.width(); ++x) {
      const PF_Pixel8& p = world.pixel8(x, y);
      row[4 * x + 0] = p.blue;
      row[4 * x + 1] = p.green;
      row[4 * x + 2] = p.red;
      row[4 * x + 3] = p.alpha;
    }
  }
  return frame;
}

// The palette as paletteuse wants it: an image of exactly 256 BGRA pixels, here 16x16. A shorter palette
// repeats its last colour to fill the 256 places; paletteuse drops repeated colours, so they add no
// entry. Alpha is 255: paletteuse takes a palette colour whose alpha is below its alpha_threshold (128)
// as the transparent one and matches no opaque pixel to it.
AVFrame* PaletteFrame(const std::vector<Rgb>& colors) {
  AVFrame* frame = AllocFrame(16, 16);
  for (int i = 0; i < 256; ++i) {
    const Rgb& c = colors[std::min<std::size_t>(static_cast<std::size_t>(i), colors.size() - 1)];
    uint8_t* p = frame->data[0] + (i / 16) * frame->linesize[0] + 4 * (i % 16);
    p[0] = c.b;
    p[1] = c.g;
    p[2] = c.r;
    p[3] = 255;
  }
  return frame;
}

// buffersrc (the frames) and buffersrc (the palette, one frame, then its end) into paletteuse, into
// buffersink. The palette stays in force for every later frame.
class PaletteuseGraph {
 public:
  PaletteuseGraph(int width, int height, const char* dither, const std::vector<Rgb>& palette) {
    graph_ = avfilter_graph_alloc();
    if (graph_ == nullptr) throw std::runtime_error("avfilter_graph_alloc failed");
    graph_->nb_threads = 1;
    source_ = Create("buffer", "in", SourceArgs(width, height));
    paletteSource_ = Create("buffer", "palette", SourceArgs(16, 16));
    AVFilterContext* use = Create("paletteuse", "paletteuse", std::string("dither=") + dither);
    sink_ = Create("buffersink", "out", "");
    Check(avfilter_link(source_, 0, use, 0), "link frames");
    Check(avfilter_link(paletteSource_, 0, use, 1), "link palette");
    Check(avfilter_link(use, 0, sink_, 0), "link sink");
    Check(avfilter_graph_config(graph_, nullptr), "avfilter_graph_config");

    AVFrame* paletteFrame = PaletteFrame(palette);
    paletteFrame->pts = 0;
    Check(av_buffersrc_add_frame_flags(paletteSource_, paletteFrame, 0), "push palette");
    av_frame_free(&paletteFrame);
    Check(av_buffersrc_add_frame_flags(paletteSource_, nullptr, 0), "end palette");
  }
  ~PaletteuseGraph() { avfilter_graph_free(&graph_); }
  PaletteuseGraph(const PaletteuseGraph&) = delete;
  PaletteuseGraph& operator=(const PaletteuseGraph&) = delete;

  // Filters `in` (its references move into the graph; the caller frees the emptied frame) into `out`, a
  // PAL8 frame: indices in data[0], the palette as 32-bit ARGB words in data[1].
  void filter(AVFrame* in, AVFrame* out) {
    in->pts = pts_++;
    Check(av_buffersrc_add_frame_flags(source_, in, 0), "push frame");
    Check(av_buffersink_get_frame(sink_, out), "paletteuse gave no frame");
  }

 private:
  static std::string SourceArgs(int width, int height) {
    return "video_size=" + std::to_string(width) + "x" + std::to_string(height) +
           ":pix_fmt=" + std::to_string(AV_PIX_FMT_BGRA) + ":time_base=1/25:pixel_aspect=1/1";
  }
  AVFilterContext* Create(const char* filter, const char* name, const std::string& args) {
    const AVFilter* f = avfilter_get_by_name(filter);
    if (f == nullptr) throw std::runtime_error(std::string("no filter ") + filter);
    AVFilterContext* context = nullptr;
    Check(avfilter_graph_create_filter(&context, f, name, args.empty() ? nullptr : args.c_str(), nullptr,
                                       graph_),
          std::string("create ") + filter + " " + args);
    return context;
  }

  AVFilterGraph* graph_ = nullptr;
  AVFilterContext* source_ = nullptr;
  AVFilterContext* paletteSource_ = nullptr;
  AVFilterContext* sink_ = nullptr;
  int64_t pts_ = 0;
};

// The shared inputs, made once before any benchmark runs.
const minihost::World* gSourceWorld = nullptr;
const AVFrame* gSourceFrame = nullptr;

AVFrame* WritableCopy(const AVFrame* source) {
  AVFrame* copy = AllocFrame(source->width, source->height);
  Check(av_frame_copy(copy, source), "av_frame_copy");
  return copy;
}

void RenderOurs(benchmark::State& state, A_long pattern, A_long swatch) {
  bench::EffectRig rig(pattern, swatch, bench::CustomPaletteFlat(256));
  minihost::World input = *gSourceWorld;
  minihost::World output(kWidth, kHeight, minihost::Depth::Eight);
  rig.TimeRenders(state, input, output);
}

void RenderPaletteuse(benchmark::State& state, const char* ditherOption, const std::vector<Rgb>* palette) {
  try {
    PaletteuseGraph graph(kWidth, kHeight, ditherOption, *palette);
    AVFrame* out = av_frame_alloc();
    AVFrame* first = WritableCopy(gSourceFrame);
    graph.filter(first, out);
    av_frame_unref(out);
    av_frame_free(&first);
    for (auto _ : state) {
      state.PauseTiming();
      AVFrame* in = WritableCopy(gSourceFrame);
      state.ResumeTiming();
      graph.filter(in, out);
      av_frame_unref(out);
      av_frame_free(&in);
    }
    av_frame_free(&out);
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

// The colour of every pixel of a PAL8 frame.
std::vector<Rgb> Pal8Colors(const AVFrame* frame) {
  std::vector<Rgb> colors;
  colors.reserve(static_cast<std::size_t>(frame->width) * static_cast<std::size_t>(frame->height));
  const auto* palette = reinterpret_cast<const uint32_t*>(frame->data[1]);
  for (int y = 0; y < frame->height; ++y) {
    const uint8_t* row = frame->data[0] + y * frame->linesize[0];
    for (int x = 0; x < frame->width; ++x) {
      const uint32_t argb = palette[row[x]];
      colors.push_back(
          {static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8), static_cast<uint8_t>(argb)});
    }
  }
  return colors;
}

std::vector<Rgb> WorldColors(const minihost::World& world) {
  std::vector<Rgb> colors;
  for (A_long y = 0; y < world.height(); ++y) {
    for (A_long x = 0; x < world.width(); ++x) {
      const PF_Pixel8& p = world.pixel8(x, y);
      colors.push_back({p.red, p.green, p.blue});
    }
  }
  return colors;
}

void WritePpm(const std::string& path, const std::vector<Rgb>& colors, int width, int height) {
  std::ofstream file(path, std::ios::binary);
  file << "P6\n" << width << " " << height << "\n255\n";
  file.write(reinterpret_cast<const char*>(colors.data()), static_cast<std::streamsize>(colors.size() * 3));
  if (!file) throw std::runtime_error("cannot write " + path);
}

int SquaredDistance(Rgb a, Rgb b) {
  const int dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
  return dr * dr + dg * dg + db * db;
}

std::size_t CountDiffering(const std::vector<Rgb>& a, const std::vector<Rgb>& b) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
  return n;
}

// One frame of every paletteuse graph, checked; our Threshold frame compared with paletteuse's frame
// without dithering (both take the nearest colour, so they should agree nearly everywhere). Returns
// false when paletteuse does not do what the comparison assumes.
bool CheckAndDump(const std::vector<Palette>& palettes, const std::string& dumpDir) {
  bool ok = true;
  const double pixels = static_cast<double>(kWidth) * kHeight;
  const std::vector<Rgb> source = WorldColors(*gSourceWorld);
  if (!dumpDir.empty()) WritePpm(dumpDir + "/source.ppm", source, kWidth, kHeight);
  for (const Palette& palette : palettes) {
    const std::set<Rgb> allowed(palette.colors.begin(), palette.colors.end());
    std::map<std::string, std::vector<Rgb>> outputs;
    std::printf("check paletteuse, %s (%zu distinct colours):", palette.label, allowed.size());
    for (const Pairing& pairing : kPairings) {
      PaletteuseGraph graph(kWidth, kHeight, pairing.ditherOption, palette.colors);
      AVFrame* in = WritableCopy(gSourceFrame);
      AVFrame* out = av_frame_alloc();
      graph.filter(in, out);
      if (out->format != AV_PIX_FMT_PAL8 || out->width != kWidth || out->height != kHeight) {
        std::printf("\n  %s: not a %dx%d PAL8 frame\n", pairing.dither, kWidth, kHeight);
        ok = false;
      }
      std::vector<Rgb> colors = Pal8Colors(out);
      av_frame_free(&out);
      av_frame_free(&in);
      const std::set<Rgb> used(colors.begin(), colors.end());
      std::size_t foreign = 0;
      for (const Rgb& c : used) foreign += allowed.count(c) == 0;
      std::printf(" %s %zu colours", pairing.dither, used.size());
      if (foreign != 0 || used.size() > allowed.size()) {
        std::printf(" (%zu not in the palette)", foreign);
        ok = false;
      }
      if (const auto none = outputs.find("none"); none != outputs.end()) {
        const std::size_t differing = CountDiffering(colors, none->second);
        std::printf(" (%.1f%% of pixels differ from none)", 100.0 * static_cast<double>(differing) / pixels);
        if (differing == 0) ok = false;
      }
      std::printf(";");
      if (!dumpDir.empty()) {
        WritePpm(dumpDir + "/paletteuse-" + pairing.dither + "-" + palette.name + ".ppm", colors, kWidth,
                 kHeight);
      }
      outputs.emplace(pairing.dither, std::move(colors));
    }
    std::printf("\n");

    for (const Pairing& pairing : kPairings) {
      if (dumpDir.empty() && pairing.pattern != bench::kPatternThreshold) continue;
      bench::EffectRig rig(pairing.pattern, palette.swatch, bench::CustomPaletteFlat(256));
      minihost::World input = *gSourceWorld;
      minihost::World output(kWidth, kHeight, minihost::Depth::Eight);
      if (rig.driver.render(input, output) != PF_Err_NONE) {
        std::printf("  ours: %s render failed\n", pairing.ours);
        ok = false;
        continue;
      }
      const std::vector<Rgb> colors = WorldColors(output);
      if (pairing.pattern == bench::kPatternThreshold) {
        // Where the two differ, both should have picked a colour equally near the pixel: a tie, which we
        // give to the earlier palette entry and paletteuse to whichever its search meets first.
        const std::vector<Rgb>& theirs = outputs.at("none");
        std::size_t differing = 0, oursNearer = 0, theirsNearer = 0;
        for (std::size_t i = 0; i < colors.size(); ++i) {
          if (colors[i] == theirs[i]) continue;
          ++differing;
          const int dOurs = SquaredDistance(colors[i], source[i]),
                    dTheirs = SquaredDistance(theirs[i], source[i]);
          oursNearer += dOurs < dTheirs;
          theirsNearer += dTheirs < dOurs;
        }
        std::printf(
            "  ours Threshold and paletteuse none: the same colour in %.3f%% of pixels; where not, ours is "
            "nearer in %zu, paletteuse's in %zu, equally near in %zu\n",
            100.0 - 100.0 * static_cast<double>(differing) / pixels, oursNearer, theirsNearer,
            differing - oursNearer - theirsNearer);
      }
      if (!dumpDir.empty()) {
        WritePpm(dumpDir + "/ours-" + pairing.ours + "-" + palette.name + ".ppm", colors, kWidth, kHeight);
      }
    }
  }
  std::fflush(stdout);
  return ok;
}

// Milliseconds a frame: on the clock, and of processor time summed over all the process's threads.
struct Times {
  double real, cpu;
};

// The console report as usual, and each benchmark's times a frame kept for the table. With repetitions
// the least of them stands for the benchmark.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  explicit CollectingReporter(OutputOptions options) : ConsoleReporter(options) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "least") continue;
      // Every benchmark is in ms.
      times[run.run_name.function_name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
    }
  }
  std::map<std::string, Times> times;
};

void PrintTable(const std::vector<Palette>& palettes, const std::map<std::string, Times>& times) {
  std::printf(
      "\nSide by side, %dx%d 8-bit frame; ours with %u host threads, paletteuse single-threaded "
      "(libavfilter %s).\nms a frame on the clock; in brackets, processor ms a frame over all threads.\n",
      kWidth, kHeight, bench::kHostThreads, LIBAVFILTER_IDENT);
  std::printf("%-44s %20s %20s %16s\n", "pairing (ours / paletteuse, palette)", "ours", "paletteuse",
              "ours/paletteuse");
  for (const Palette& palette : palettes) {
    for (const Pairing& pairing : kPairings) {
      const auto ours = times.find(std::string("ours/") + pairing.ours + "/" + palette.name);
      const auto theirs = times.find(std::string("paletteuse/") + pairing.dither + "/" + palette.name);
      if (ours == times.end() || theirs == times.end()) continue;
      const std::string name = std::string(pairing.ours) + " / " + pairing.dither + ", " + palette.label;
      auto cell = [](const Times& t) {
        char text[64];
        std::snprintf(text, sizeof text, "%.1f (%.1f)", t.real, t.cpu);
        return std::string(text);
      };
      std::printf("%-44s %20s %20s %16.2f\n", name.c_str(), cell(ours->second).c_str(),
                  cell(theirs->second).c_str(), ours->second.real / theirs->second.real);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Our own option is taken out before Google Benchmark reads the rest; the default minimum time goes
  // first, so that a --benchmark_min_time given on the command line overrides it.
  std::vector<char*> args{argv[0]};
  std::string minTime = "--benchmark_min_time=0.5";
  args.push_back(minTime.data());
  std::string dumpDir;
  const std::string dumpOption = "--palettrix_dump=";
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], dumpOption.c_str(), dumpOption.size()) == 0) {
      dumpDir = argv[i] + dumpOption.size();
    } else {
      args.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);

  const std::vector<Palette> palettes = {
      {"PICO8", "PICO-8", bench::kSwatchPico8, PaletteBytes(kPico8)},
      {"VGA8bit", "VGA 8-bit", bench::kSwatchVga8Bit, PaletteBytes(kVga8Bit)},
  };
  for (const Palette& palette : palettes) {
    for (const Pairing& pairing : kPairings) {
      bench::TimedPerFrame(
          benchmark::RegisterBenchmark((std::string("ours/") + pairing.ours + "/" + palette.name).c_str(),
                                       RenderOurs, pairing.pattern, palette.swatch));
    }
    for (const Pairing& pairing : kPairings) {
      bench::TimedPerFrame(benchmark::RegisterBenchmark(
          (std::string("paletteuse/") + pairing.dither + "/" + palette.name).c_str(), RenderPaletteuse,
          pairing.ditherOption, &palette.colors));
    }
  }

  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

  const minihost::World sourceWorld = bench::MakeFrame(kWidth, kHeight, minihost::Depth::Eight);
  AVFrame* sourceFrame = BgraFrame(sourceWorld);
  gSourceWorld = &sourceWorld;
  gSourceFrame = sourceFrame;

  try {
    if (!CheckAndDump(palettes, dumpDir)) {
      std::fprintf(stderr, "paletteuse_bench: paletteuse output failed its checks; nothing measured\n");
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "paletteuse_bench: %s\n", e.what());
    return 1;
  }

  CollectingReporter reporter(isatty(fileno(stdout)) ? benchmark::ConsoleReporter::OO_Color
                                                     : benchmark::ConsoleReporter::OO_None);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintTable(palettes, reporter.times);
  benchmark::Shutdown();
  av_frame_free(&sourceFrame);
  return 0;
}
