// The rows 4 pixels at a time; built with this instruction set's flags and run only where the CPU has it.
#define PALETTRIX_ROWS_NAMESPACE rows_sse4
#define PALETTRIX_LANES 4
#include "render/fast_rows.inc"
