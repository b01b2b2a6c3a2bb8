// The instruction sets the fast rows are built for, chosen at run time for the CPU at hand. Every one of
// them gives the same bytes as the reference per-pixel definitions.
#pragma once

#include <cstdint>
#include <span>

enum class Isa : std::uint8_t { Scalar, Sse4, Avx2, Avx512 };

// The widest instruction set this CPU runs (and this build carries).
Isa BestIsa();
// Those of them this CPU can run, narrowest first: Scalar always.
std::span<const Isa> SupportedIsas();
const char* IsaName(Isa isa);
