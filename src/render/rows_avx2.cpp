// The kernels 8 pixels at a time; built with this instruction set's flags and run only where the CPU has
// it. Everything defined here lies in namespace isa_avx2 (see render/vector_kernels.h).
#define PALETTRIX_ISA_NAMESPACE isa_avx2
#define PALETTRIX_LANES 8
#include "render/diffusion_bands.inc"
#include "render/fast_rows.inc"
