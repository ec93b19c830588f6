// Start of the run-time, before the conversation engine's first step.
#pragma once

namespace ulo {

// Sets the floating-point unit to round to nearest and lets the platform prepare its standard
// input and output for the console layer. The arguments are taken and not kept: the command
// line has been read before the run-time starts, and nothing later asks for it.
void runtimeStart(int argumentCount, char** arguments);

} // namespace ulo
