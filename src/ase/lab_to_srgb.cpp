#include "ase/lab_to_srgb.h"

#include <array>
#include <cmath>

namespace {

using Vec = std::array<double, 3>;
using Matrix = std::array<Vec, 3>;

// Swatch L*a*b* is relative to D50, the ICC profile connection space. The constants, in double precision:
// - D50 reference white, CIE 1931 2° observer: ASTM E308-01, as tabulated by Bruce Lindbloom
//   ("Chromatic Adaptation", brucelindbloom.com).
// - epsilon = 216/24389 and kappa = 24389/27: the exact forms of the CIE 15:2004 L*a*b* breakpoints.
// - Bradford D50 -> D65 adaptation: Lindbloom's table of Bradford matrices, same page.
// - XYZ (D65) -> linear sRGB and the transfer curve: IEC 61966-2-1:1999.
constexpr Vec kD50White = {0.96422, 1.0, 0.82521};
constexpr double kEpsilon = 216.0 / 24389.0;
constexpr double kKappa = 24389.0 / 27.0;
constexpr Matrix kBradfordD50ToD65 = {{
    {0.9555766, -0.0230393, 0.0631636},
    {-0.0282895, 1.0099416, 0.0210077},
    {0.0122982, -0.0204830, 1.3299098},
}};
constexpr Matrix kXyzToLinearSrgb = {{
    {3.2406, -1.5372, -0.4986},
    {-0.9689, 1.8758, 0.0415},
    {0.0557, -0.2040, 1.0570},
}};

Vec Multiply(const Matrix& m, const Vec& v) {
  Vec out{};
  for (std::size_t row = 0; row < 3; ++row) out[row] = m[row][0] * v[0] + m[row][1] * v[1] + m[row][2] * v[2];
  return out;
}

// Inverse of the L*a*b* companding, linear below the breakpoint.
double InverseF(double f) {
  const double cube = f * f * f;
  return cube > kEpsilon ? cube : (116.0 * f - 16.0) / kKappa;
}

// NaN from a damaged file becomes 0 rather than travelling into the palette.
double Clamp01(double v) { return v > 0.0 ? (v < 1.0 ? v : 1.0) : 0.0; }

double SrgbEncode(double linear) {
  return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
}

}  // namespace

Color3 LabToSrgb(float l, float a, float b) {
  const double lightness = l <= 1.0f ? double{l} * 100.0 : double{l};
  const double fy = (lightness + 16.0) / 116.0;
  const double fx = fy + double{a} / 500.0;
  const double fz = fy - double{b} / 200.0;
  const double yr = lightness > kKappa * kEpsilon ? fy * fy * fy : lightness / kKappa;
  const Vec xyzD50 = {InverseF(fx) * kD50White[0], yr * kD50White[1], InverseF(fz) * kD50White[2]};
  const Vec linear = Multiply(kXyzToLinearSrgb, Multiply(kBradfordD50ToD65, xyzD50));
  Color3 out;
  for (int i = 0; i < 3; ++i) out[i] = static_cast<float>(Clamp01(SrgbEncode(Clamp01(linear[i]))));
  return out;
}
