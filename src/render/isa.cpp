#include "render/isa.h"

#include <array>

#include "render/vector_kernels.h"

namespace {

bool CpuHas(Isa isa) {
#if defined(__x86_64__) || defined(__i386__)
  switch (isa) {
    case Isa::Scalar:
      return true;
    case Isa::Sse4:
      return __builtin_cpu_supports("sse4.1");
    case Isa::Avx2:
      return __builtin_cpu_supports("avx2");
    case Isa::Avx512:
      return __builtin_cpu_supports("avx512f");
  }
  return false;
#else
  return isa == Isa::Scalar;
#endif
}

constexpr std::array<Isa, 4> kAll = {Isa::Scalar, Isa::Sse4, Isa::Avx2, Isa::Avx512};

}  // namespace

std::span<const Isa> SupportedIsas() {
  // The CPU does not change while the library is loaded, so this is worked out once.
  static const auto supported = [] {
    std::array<Isa, 4> list{};
    std::size_t n = 0;
    for (Isa isa : kAll) {
      if (CpuHas(isa)) list[n++] = isa;
    }
    return std::pair{list, n};
  }();
  return std::span<const Isa>(supported.first.data(), supported.second);
}

Isa BestIsa() { return SupportedIsas().back(); }

const char* IsaName(Isa isa) {
  switch (isa) {
    case Isa::Scalar:
      return "scalar";
    case Isa::Sse4:
      return "sse4";
    case Isa::Avx2:
      return "avx2";
    case Isa::Avx512:
      return "avx512";
  }
  return "?";
}

const FastRows& FastRowsFor(Isa isa) {
  static constexpr FastRows kRows[] = {
      {isa_scalar::Row8, isa_scalar::Row16, isa_scalar::Row32},
      {isa_sse4::Row8, isa_sse4::Row16, isa_sse4::Row32},
      {isa_avx2::Row8, isa_avx2::Row16, isa_avx2::Row32},
      {isa_avx512::Row8, isa_avx512::Row16, isa_avx512::Row32},
  };
  static_assert(std::size(kRows) == kAll.size());
  return kRows[static_cast<std::size_t>(isa)];
}
