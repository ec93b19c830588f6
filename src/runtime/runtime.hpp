// Start of the run-time, before the conversation engine's first step.
#pragma once

#include <span>

namespace ulo {

// Stores the process arguments, sets the floating-point unit to round to nearest and lets the
// platform prepare its standard input and output for the console layer.
void runtimeStart(int argumentCount, char** arguments);

// The arguments stored by runtimeStart (empty before it ran).
std::span<char* const> runtimeArguments();

} // namespace ulo
