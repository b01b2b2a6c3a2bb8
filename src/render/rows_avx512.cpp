// The kernels 16 pixels at a time; built with this instruction set's flags and run only where the CPU has
// it. Everything defined here lies in namespace isa_avx512 (see render/vector_kernels.h).
#define PALETTRIX_ISA_NAMESPACE isa_avx512
#define PALETTRIX_LANES 16
#include "render/fast_rows.inc"
