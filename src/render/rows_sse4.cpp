// The kernels 4 pixels at a time; built with this instruction set's flags and run only where the CPU has
// it. Everything defined here lies in namespace isa_sse4 (see render/vector_kernels.h).
#define PALETTRIX_ISA_NAMESPACE isa_sse4
#define PALETTRIX_LANES 4
#include "render/diffusion_bands.inc"
#include "render/fast_rows.inc"
