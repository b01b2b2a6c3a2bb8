// The grid builder's choice of candidates for the halves of a box, four halves to a vector; built with
// AVX2's flags. Everything defined here lies in namespace nearest_halves_avx2, and it uses nothing but the
// compiler's builtins, so that no shared inline function is built with these flags.
#include "palette/nearest_halves_avx2.h"

#include "palette/grid_margins.h"

namespace nearest_halves_avx2 {
namespace {

using grid_margins::kAbsolute;
using grid_margins::kMaxRivals;
using grid_margins::kRelative;

typedef double D4 __attribute__((vector_size(32)));
typedef std::int64_t Bits4 __attribute__((vector_size(32)));

// A value for each of the eight halves of a box: half (dz * 2 + dy) * 2 + dx in lane dy * 2 + dx of v[dz].
struct Halves {
  D4 v[2];
};

// A per-channel value for both halves along each channel: {red's 0, red's 1, green's 0, green's 1} and
// {blue's 0, blue's 1, blue's 0, blue's 1}. Lane by lane the reference's pairs of red, green and blue.
struct Channels {
  D4 rg;
  D4 b;
};

inline D4 Splat(double value) { return D4{value, value, value, value}; }
inline D4 Abs(D4 v) { return (D4)((Bits4)v & 0x7FFFFFFFFFFFFFFF); }
inline D4 Outside(D4 fromMid, D4 half) {
  const D4 beyond = fromMid - half;
  return 0.5 * (beyond + Abs(beyond));
}

// The sum of one term per channel, red's first, in each half: (red + green) + blue, as the reference adds
// them.
inline Halves SumOverHalves(const Channels& term) {
  const D4 red = __builtin_shufflevector(term.rg, term.rg, 0, 1, 0, 1);
  const D4 green = __builtin_shufflevector(term.rg, term.rg, 2, 2, 3, 3);
  const D4 redGreen = red + green;
  return Halves{{redGreen + __builtin_shufflevector(term.b, term.b, 0, 0, 0, 0),
                 redGreen + __builtin_shufflevector(term.b, term.b, 1, 1, 1, 1)}};
}

// Bit o set where half o's lane of `test` is true (all ones).
inline unsigned HalvesMask(const Bits4 (&test)[2]) {
  return static_cast<unsigned>(__builtin_ia32_movmskpd256((D4)test[0])) |
         static_cast<unsigned>(__builtin_ia32_movmskpd256((D4)test[1])) << 4;
}

inline std::size_t PopCount(std::uint32_t v) {
  v = v - ((v >> 1) & 0x55555555u);
  v = (v & 0x33333333u) + ((v >> 2) & 0x33333333u);
  return (((v + (v >> 4)) & 0x0F0F0F0Fu) * 0x01010101u) >> 24;
}

// The colours of each half from the halves of each colour (bit i of colours[o] is bit o of halves[i]), as
// the reference's TransposeHalves.
inline void TransposeHalves(const unsigned* halves, std::size_t count, std::uint32_t colours[8]) {
  for (int o = 0; o < 8; ++o) colours[o] = 0;
  for (std::size_t first = 0; first < count; first += 8) {
    std::uint64_t x = 0;
    const std::size_t end = count < first + 8 ? count : first + 8;
    for (std::size_t i = first; i < end; ++i) {
      x |= std::uint64_t{halves[i] & 0xFFu} << (8 * (i - first));
    }
    std::uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
    x = x ^ t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
    x = x ^ t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
    x = x ^ t ^ (t << 28);
    for (int o = 0; o < 8; ++o) {
      colours[o] |= static_cast<std::uint32_t>((x >> (8 * o)) & 0xFFu) << first;
    }
  }
}

// SelectHalves for lists of up to kN colours: the reference's selectHalvesOf<kN>, step for step. The
// reference makes the list up to kN with infinite colours, which never lower a bound and are never read
// back; here the loops stop at the list's end instead.
template <std::size_t kN>
void SelectHalvesOf(const double* const channel[3], std::size_t count, const Channels& lo, const Channels& hi,
                    StrongestRivals strongest, void* context, std::uint32_t kept[8]) {
  const Channels mid = {0.5 * (lo.rg + hi.rg), 0.5 * (lo.b + hi.b)};
  const Channels halfWidth = {0.5 * (hi.rg - lo.rg), 0.5 * (hi.b - lo.b)};
  Channels p[kN];  // each colour's channels, in the lanes of their halves
  for (std::size_t i = 0; i < count; ++i) {
    const double r = channel[0][i], g = channel[1][i], b = channel[2][i];
    p[i] = {D4{r, r, g, g}, Splat(b)};
  }
  // The first test: each colour's least and greatest squared distance to each half, against the least
  // greatest distance there.
  Halves greatest[kN];
  unsigned nearIn[kN];
  {
    Halves least[kN];
    Halves bound = {{Splat(__builtin_inf()), Splat(__builtin_inf())}};
    for (std::size_t i = 0; i < count; ++i) {
      const D4 fromMidRG = Abs(p[i].rg - mid.rg);
      const D4 fromMidB = Abs(p[i].b - mid.b);
      const D4 outsideRG = Outside(fromMidRG, halfWidth.rg);
      const D4 outsideB = Outside(fromMidB, halfWidth.b);
      const D4 farthestRG = fromMidRG + halfWidth.rg;
      const D4 farthestB = fromMidB + halfWidth.b;
      least[i] = SumOverHalves({outsideRG * outsideRG, outsideB * outsideB});
      greatest[i] = SumOverHalves({farthestRG * farthestRG, farthestB * farthestB});
      for (int k = 0; k < 2; ++k) {
        bound.v[k] = greatest[i].v[k] < bound.v[k] ? greatest[i].v[k] : bound.v[k];
      }
    }
    Halves limit;
    for (int k = 0; k < 2; ++k) {
      limit.v[k] = bound.v[k] * (1.0 + kRelative) + kAbsolute;
    }
    for (std::size_t i = 0; i < count; ++i) {
      Bits4 near[2];
      for (int k = 0; k < 2; ++k) {
        near[k] = least[i].v[k] * (1.0 - kRelative) <= limit.v[k];
      }
      nearIn[i] = HalvesMask(near);
    }
  }
  std::uint32_t near[8];
  TransposeHalves(nearIn, count, near);
  unsigned compared = 0;
  for (int o = 0; o < 8; ++o) {
    compared |= (near[o] & (near[o] - 1)) != 0 ? 1u << o : 0u;
  }
  if (compared == 0) {
    for (int o = 0; o < 8; ++o) kept[o] = near[o];
    return;
  }
  unsigned rivalIn[kN];
  for (std::size_t i = 0; i < count; ++i) rivalIn[i] = nearIn[i];
  if constexpr (kN > kMaxRivals) {
    for (int o = 0; o < 8; ++o) {
      if (PopCount(near[o]) > kMaxRivals) {
        double greatestHere[kN];
        for (std::size_t i = 0; i < count; ++i) greatestHere[i] = greatest[i].v[o >> 2][o & 3];
        const std::uint32_t chosen = strongest(context, near[o], greatestHere, o);
        for (std::size_t i = 0; i < count; ++i) {
          rivalIn[i] &= (chosen >> i & 1) != 0 ? ~0u : ~(1u << o);
        }
      }
    }
  }
  // The pair tests: colour i is out of a half where a rival r there is nearer everywhere in it, beyond what
  // rounding can undo.
  const Channels width = {2.0 * halfWidth.rg, 2.0 * halfWidth.b};
  const Channels twiceMid = {2.0 * mid.rg, 2.0 * mid.b};
  Halves rivalMargin[kN];
  for (std::size_t i = 0; i < count; ++i) {
    for (int k = 0; k < 2; ++k) {
      rivalMargin[i].v[k] = kRelative * greatest[i].v[k] + kAbsolute;
    }
  }
  unsigned keptIn[kN];
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned comparedHere = nearIn[i] & compared;
    unsigned beaten = 0;
    if (comparedHere != 0) {
      Halves margin;
      for (int k = 0; k < 2; ++k) {
        margin.v[k] = kRelative * greatest[i].v[k];
      }
      const Channels fromTwiceMid = {twiceMid.rg - p[i].rg, twiceMid.b - p[i].b};
      for (std::size_t r = 0; r < count && beaten != comparedHere; ++r) {
        const unsigned both = comparedHere & rivalIn[r];
        if (r == i || both == 0) {
          continue;
        }
        const D4 slopeRG = p[r].rg - p[i].rg;
        const D4 slopeB = p[r].b - p[i].b;
        const Halves gap = SumOverHalves({slopeRG * (fromTwiceMid.rg - p[r].rg) - Abs(slopeRG) * width.rg,
                                          slopeB * (fromTwiceMid.b - p[r].b) - Abs(slopeB) * width.b});
        Bits4 out[2];
        for (int k = 0; k < 2; ++k) {
          out[k] = gap.v[k] > margin.v[k] + rivalMargin[r].v[k];
        }
        beaten |= HalvesMask(out) & both;
      }
    }
    keptIn[i] = nearIn[i] & ~beaten;
  }
  TransposeHalves(keptIn, count, kept);
}

}  // namespace

void SelectHalves(const double* const channel[3], std::size_t count, const double lo[3][2],
                  const double hi[3][2], StrongestRivals strongest, void* context, std::uint32_t kept[8]) {
  const Channels low = {D4{lo[0][0], lo[0][1], lo[1][0], lo[1][1]},
                        D4{lo[2][0], lo[2][1], lo[2][0], lo[2][1]}};
  const Channels high = {D4{hi[0][0], hi[0][1], hi[1][0], hi[1][1]},
                         D4{hi[2][0], hi[2][1], hi[2][0], hi[2][1]}};
  if (count <= 2) {
    SelectHalvesOf<2>(channel, count, low, high, strongest, context, kept);
  } else if (count <= 4) {
    SelectHalvesOf<4>(channel, count, low, high, strongest, context, kept);
  } else if (count <= 8) {
    SelectHalvesOf<8>(channel, count, low, high, strongest, context, kept);
  } else if (count <= 16) {
    SelectHalvesOf<16>(channel, count, low, high, strongest, context, kept);
  } else {
    SelectHalvesOf<kMost>(channel, count, low, high, strongest, context, kept);
  }
}

}  // namespace nearest_halves_avx2
