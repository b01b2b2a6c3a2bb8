// Palettes made from footage, ours (`palettrix palette --from`: CountPixels and MakePalette) next to
// FFmpeg's `palettegen` filter (stats_mode=full, reserve_transparent=0, max_colors=N), in one process and
// one run, at N = 8, 16, 64 and 256, on:
//   - the photographs in docs/images (astronaut, chelsea, coffee);
//   - two 1920x1080 frames, for the time a 1080p frame takes: astronaut.png scaled up (bicubic), and the
//     benchmarks' generated frame (bench_frame.h);
//   - a clip: 50 frames of FFmpeg's testsrc2 source at 640x360, made in this process. Ours counts 32 of
//     them spread over the clip, as the command does; palettegen counts every frame.
// For each palette the table gives the mean squared error of mapping every pixel (every frame of the clip)
// to its nearest palette colour, without dithering: squared differences of 8-bit red, green and blue,
// summed, divided by 3 x the number of pixels. Nearest is by squared RGB distance, the first colour on a
// tie, for both palettes alike. Times are wall-clock ms, the least of --repeats runs (default 3), both
// sides single-threaded: ours from the frames in memory to the palette; palettegen from the first frame
// pushed into its filter graph to the palette frame out of it.
//
//   palettegen_bench [--repeats=N] [--images=DIR]
#include <unistd.h>

#include <cstdint>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/pixfmt.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_frame.h"
#include "cli/footage_palette.h"
#include "cli/frames.h"
#include "cli/image_io.h"
#include "palette/make_palette.h"

namespace {

struct Rgb {
  uint8_t r, g, b;
};

std::string AvError(int err) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(err, text, sizeof text);
  return text;
}

void Check(int err, const std::string& what) {
  if (err < 0) throw std::runtime_error(what + ": " + AvError(err));
}

// An 8-bit world as the BGRA frame palettegen takes (AV_PIX_FMT_RGB32 on a little-endian machine).
AVFrame* BgraFrame(const minihost::World& world) {
  AVFrame* frame = av_frame_alloc();
  if (frame == nullptr) throw std::runtime_error("av_frame_alloc failed");
  frame->format = AV_PIX_FMT_BGRA;
  frame->width = world.width();
  frame->height = world.height();
  Check(av_frame_get_buffer(frame, 0), "av_frame_get_buffer");
  for (A_long y = 0; y < world.height(); ++y) {
    uint8_t* row = frame->data[0] + y * frame->linesize[0];
    for (A_long x = 0; x < world.width(); ++x) {
      const PF_Pixel8& p = world.pixel8(x, y);
      row[4 * x + 0] = p.blue;
      row[4 * x + 1] = p.green;
      row[4 * x + 2] = p.red;
      row[4 * x + 3] = 255;
    }
  }
  return frame;
}

class Graph {
 public:
  Graph() {
    graph_ = avfilter_graph_alloc();
    if (graph_ == nullptr) throw std::runtime_error("avfilter_graph_alloc failed");
    graph_->nb_threads = 1;
  }
  ~Graph() { avfilter_graph_free(&graph_); }
  Graph(const Graph&) = delete;
  Graph& operator=(const Graph&) = delete;

  AVFilterContext* create(const char* filter, const char* name, const std::string& args) {
    const AVFilter* f = avfilter_get_by_name(filter);
    if (f == nullptr) throw std::runtime_error(std::string("no filter ") + filter);
    AVFilterContext* context = nullptr;
    Check(avfilter_graph_create_filter(&context, f, name, args.empty() ? nullptr : args.c_str(), nullptr,
                                       graph_),
          std::string("create ") + filter + " " + args);
    return context;
  }
  void config() { Check(avfilter_graph_config(graph_, nullptr), "avfilter_graph_config"); }

 private:
  AVFilterGraph* graph_ = nullptr;
};

// palettegen over `frames` (all of one size): its first `colors` entries.
std::vector<Rgb> Palettegen(const std::vector<AVFrame*>& frames, int colors) {
  Graph graph;
  const std::string source =
      "video_size=" + std::to_string(frames[0]->width) + "x" + std::to_string(frames[0]->height) +
      ":pix_fmt=" + std::to_string(AV_PIX_FMT_BGRA) + ":time_base=1/25:pixel_aspect=1/1";
  AVFilterContext* in = graph.create("buffer", "in", source);
  AVFilterContext* gen =
      graph.create("palettegen", "palettegen",
                   "stats_mode=full:reserve_transparent=0:max_colors=" + std::to_string(colors));
  AVFilterContext* out = graph.create("buffersink", "out", "");
  Check(avfilter_link(in, 0, gen, 0), "link frames");
  Check(avfilter_link(gen, 0, out, 0), "link sink");
  graph.config();
  int64_t pts = 0;
  for (AVFrame* frame : frames) {
    frame->pts = pts++;
    Check(av_buffersrc_add_frame_flags(in, frame, AV_BUFFERSRC_FLAG_KEEP_REF), "push frame");
  }
  Check(av_buffersrc_add_frame_flags(in, nullptr, 0), "end of frames");
  AVFrame* palette = av_frame_alloc();
  Check(av_buffersink_get_frame(out, palette), "palettegen gave no frame");
  std::vector<Rgb> result;
  for (int i = 0; i < colors; ++i) {
    const uint8_t* p = palette->data[0] + (i / 16) * palette->linesize[0] + 4 * (i % 16);
    result.push_back({p[2], p[1], p[0]});
  }
  av_frame_free(&palette);
  return result;
}

// A palette colour back in bytes: every one is an exact k / 255.
unsigned NearestByte(float value) {
  return static_cast<unsigned>(std::lround(static_cast<double>(value) * 255.0));
}

std::vector<Rgb> Ours(const std::vector<const minihost::World*>& frames, std::size_t colors) {
  ColorCounts counts;
  for (const std::size_t at : SpreadPositions(frames.size(), kSampledFrames))
    CountPixels(*frames[at], counts);
  std::vector<Rgb> result;
  for (const Color3& c : MakePalette(counts, colors)) {
    result.push_back({static_cast<uint8_t>(NearestByte(c.r)), static_cast<uint8_t>(NearestByte(c.g)),
                      static_cast<uint8_t>(NearestByte(c.b))});
  }
  return result;
}

// Squared differences of every pixel from its nearest palette colour, per channel: worked once per
// distinct colour, weighted by its count.
double MeanSquaredError(const ColorCounts& source, const std::vector<Rgb>& palette) {
  double sum = 0;
  source.forEach([&](std::uint32_t rgb, std::uint64_t count) {
    const int r = static_cast<int>(rgb >> 16), g = static_cast<int>((rgb >> 8) & 255),
              b = static_cast<int>(rgb & 255);
    int best = std::numeric_limits<int>::max();
    for (const Rgb& p : palette) {
      const int dr = r - p.r, dg = g - p.g, db = b - p.b;
      best = std::min(best, dr * dr + dg * dg + db * db);
    }
    sum += static_cast<double>(best) * static_cast<double>(count);
  });
  return sum / (3.0 * static_cast<double>(source.total()));
}

template <typename Make>
double LeastMilliseconds(int repeats, Make&& make) {
  double least = std::numeric_limits<double>::infinity();
  for (int i = 0; i < repeats; ++i) {
    const auto start = std::chrono::steady_clock::now();
    make();
    least = std::min(
        least, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  return least;
}

minihost::World WorldFromBgra(const AVFrame& frame) {
  minihost::World world(frame.width, frame.height, minihost::Depth::Eight);
  for (int y = 0; y < frame.height; ++y) {
    const uint8_t* row = frame.data[0] + y * frame.linesize[0];
    for (int x = 0; x < frame.width; ++x)
      world.pixel8(x, y) = {255, row[4 * x + 2], row[4 * x + 1], row[4 * x + 0]};
  }
  return world;
}

// `world` scaled to width x height by libswscale's bicubic filter.
minihost::World Scaled(const minihost::World& world, int width, int height) {
  Graph graph;
  const std::string source = "video_size=" + std::to_string(world.width()) + "x" +
                             std::to_string(world.height()) + ":pix_fmt=" + std::to_string(AV_PIX_FMT_BGRA) +
                             ":time_base=1/25:pixel_aspect=1/1";
  AVFilterContext* in = graph.create("buffer", "in", source);
  AVFilterContext* scale = graph.create(
      "scale", "scale", "w=" + std::to_string(width) + ":h=" + std::to_string(height) + ":flags=bicubic");
  AVFilterContext* format = graph.create("format", "format", "pix_fmts=bgra");
  AVFilterContext* out = graph.create("buffersink", "out", "");
  Check(avfilter_link(in, 0, scale, 0), "link source");
  Check(avfilter_link(scale, 0, format, 0), "link scale");
  Check(avfilter_link(format, 0, out, 0), "link sink");
  graph.config();
  AVFrame* frame = BgraFrame(world);
  Check(av_buffersrc_add_frame_flags(in, frame, 0), "push frame");
  Check(av_buffersrc_add_frame_flags(in, nullptr, 0), "end of frames");
  Check(av_buffersink_get_frame(out, frame), "scale gave no frame");
  minihost::World scaled = WorldFromBgra(*frame);
  av_frame_free(&frame);
  return scaled;
}

// 50 frames of testsrc2 at 640x360, as 8-bit worlds.
std::vector<minihost::World> TestClip() {
  Graph graph;
  AVFilterContext* source = graph.create("testsrc2", "src", "size=640x360:rate=25:duration=2");
  AVFilterContext* format = graph.create("format", "format", "pix_fmts=bgra");
  AVFilterContext* out = graph.create("buffersink", "out", "");
  Check(avfilter_link(source, 0, format, 0), "link source");
  Check(avfilter_link(format, 0, out, 0), "link sink");
  graph.config();
  std::vector<minihost::World> frames;
  AVFrame* frame = av_frame_alloc();
  while (av_buffersink_get_frame(out, frame) >= 0) {
    frames.push_back(WorldFromBgra(*frame));
    av_frame_unref(frame);
  }
  av_frame_free(&frame);
  return frames;
}

struct Input {
  std::string name;
  std::vector<minihost::World> frames;
};

}  // namespace

int main(int argc, char** argv) {
  int repeats = 3;
  std::string images = PALETTRIX_BENCH_IMAGES;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--repeats=", 0) == 0) {
      repeats = std::max(1, std::atoi(arg.c_str() + 10));
    } else if (arg.rfind("--images=", 0) == 0) {
      images = arg.substr(9);
    } else {
      std::fprintf(stderr, "usage: palettegen_bench [--repeats=N] [--images=DIR]\n");
      return 2;
    }
  }
  // palettegen's notice of each palette it made would break up the table.
  av_log_set_level(AV_LOG_ERROR);
  try {
    std::vector<Input> inputs;
    const minihost::Depth eight = minihost::Depth::Eight;
    for (const char* name : {"astronaut.png", "chelsea.png", "coffee.png"}) {
      Input input{name, {}};
      input.frames.push_back(ReadImage(images + "/" + name, &eight).world);
      inputs.push_back(std::move(input));
    }
    Input large{"astronaut.png at 1920x1080", {}};
    large.frames.push_back(Scaled(inputs[0].frames[0], 1920, 1080));
    inputs.push_back(std::move(large));
    Input generated{"generated 1920x1080", {}};
    generated.frames.push_back(bench::MakeFrame(1920, 1080, minihost::Depth::Eight));
    inputs.push_back(std::move(generated));
    inputs.push_back({"testsrc2 640x360, 50 frames", TestClip()});

    std::printf("| input | colours | MSE ours | MSE palettegen | ms ours | ms palettegen |\n");
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    for (const Input& input : inputs) {
      std::vector<const minihost::World*> worlds;
      std::vector<AVFrame*> frames;
      ColorCounts all;
      for (const minihost::World& world : input.frames) {
        worlds.push_back(&world);
        frames.push_back(BgraFrame(world));
        CountPixels(world, all);
      }
      for (const int colors : {8, 16, 64, 256}) {
        std::vector<Rgb> ours, theirs;
        const double oursMs =
            LeastMilliseconds(repeats, [&] { ours = Ours(worlds, static_cast<std::size_t>(colors)); });
        const double theirsMs = LeastMilliseconds(repeats, [&] { theirs = Palettegen(frames, colors); });
        std::printf("| %s | %d | %.2f | %.2f | %.1f | %.1f |\n", input.name.c_str(), colors,
                    MeanSquaredError(all, ours), MeanSquaredError(all, theirs), oursMs, theirsMs);
        std::fflush(stdout);
      }
      for (AVFrame*& frame : frames) av_frame_free(&frame);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "palettegen_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
