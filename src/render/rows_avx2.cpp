// The rows 8 pixels at a time; built with this instruction set's flags and run only where the CPU has it.
#define PALETTRIX_ROWS_NAMESPACE rows_avx2
#define PALETTRIX_LANES 8
#include "render/fast_rows.inc"
