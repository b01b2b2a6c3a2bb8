// The built-in test card of `palettrix demo`: smooth grey and colour ramps, a colour wheel and soft shapes,
// made in code so the demo needs no input file.
#pragma once

#include "minihost/world.h"

inline constexpr A_long kTestCardWidth = 640;
inline constexpr A_long kTestCardHeight = 400;

minihost::World MakeTestCard(A_long width, A_long height, minihost::Depth depth);
