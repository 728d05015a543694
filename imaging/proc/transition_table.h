// The effect table: every transition effect by name, with the procedure that draws one of its steps (none
// for the thirty the engine draws itself), and the effects that move, stretch or copy pictures.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "imaging/proc/transitions.h"

namespace zv {

struct TEffect {
  std::string_view Name;
  TIETransitionProc Proc;  // nullptr: drawn by the engine, or not built
  uint8_t Category;
  bool Flag;
};

constexpr int32_t IEEffectCount = 214;
extern const std::array<TEffect, IEEffectCount> IETransitionEffectTable;

// The procedures of the table by row, as the engine calls them.
std::vector<TIETransitionProc> TransitionEffectProcs();

}  // namespace zv
