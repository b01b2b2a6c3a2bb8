// The rows 16 pixels at a time; built with this instruction set's flags and run only where the CPU has it.
#define PALETTRIX_ROWS_NAMESPACE rows_avx512
#define PALETTRIX_LANES 16
#include "render/fast_rows.inc"
