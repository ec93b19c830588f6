// Run-time error codes, the error handler and the orderly end of the program.
//
// Every run-time operation records its outcome in `lastError` through setErrorCode and, where it
// has a result, returns the same code. Nothing here transfers control on an error: a handler is
// only handed back to a caller that asks for it with raiseError.
#pragma once

#include <cstdint>
#include <string_view>

namespace ulo {

using RuntimeErrorCode = std::int32_t;

inline constexpr RuntimeErrorCode ERR_NONE = 0;
inline constexpr RuntimeErrorCode ERR_ILLEGAL_FUNCTION_CALL = 1;
inline constexpr RuntimeErrorCode ERR_FILE_NOT_FOUND = 2;
inline constexpr RuntimeErrorCode ERR_FILE_IO = 3;
inline constexpr RuntimeErrorCode ERR_OUT_OF_MEMORY = 4;
inline constexpr RuntimeErrorCode ERR_ILLEGAL_RESUME = 5;
// Not an error with a message: line input reports it when its input stream has ended for good
// (standard input closed), so the program can end as if the exit word had been typed.
inline constexpr RuntimeErrorCode ERR_INPUT_ENDED = 16;

// The message text of codes 0 to 15; empty for 0 and for every code without a text.
std::string_view errorMessage(RuntimeErrorCode code);

namespace detail {
// The code recorded by the most recent run-time operation.
extern RuntimeErrorCode lastError;
} // namespace detail

// Records `code` as the outcome of the operation that is ending, and returns it.
inline RuntimeErrorCode setErrorCode(RuntimeErrorCode code) {
    detail::lastError = code;
    return code;
}
inline RuntimeErrorCode lastErrorCode() {
    return detail::lastError;
}

// A place where execution can go on: the handler itself, or a resume target.
using ErrorRoutine = void (*)();

ErrorRoutine setErrorHandler(ErrorRoutine routine);
// With a handler registered: stores code, line and both targets and returns the handler, to which
// the caller transfers control. Without one: abortWithError(code, line).
ErrorRoutine raiseError(RuntimeErrorCode code, std::int32_t line, ErrorRoutine resumeTarget,
                        ErrorRoutine resumeNextTarget);
ErrorRoutine raiseCurrentError(std::int32_t line, ErrorRoutine resumeTarget,
                               ErrorRoutine resumeNextTarget);
// Return the stored target and clear both; a missing target aborts with "illegal resume".
ErrorRoutine takeResumeTarget();
ErrorRoutine takeResumeNextTarget();
// The line number stored by the last raiseError (-1 or 0 when none was given).
std::int32_t lastErrorLine();

// Writes "\r\nAborting due to runtime error N (text) at line: L\r\n" to standard output and
// ends the program with exit code `code`.
[[noreturn]] void abortWithError(RuntimeErrorCode code, std::int32_t line);

// Ends the program: runs the exit routines in reverse order of registration, flushes the standard
// streams and exits with `code`.
[[noreturn]] void terminate(int code);

// Ends the program through terminate when a request from outside to end has come (the
// platform's pending end: an ending signal, Ctrl+C in the console), with the exit code it asks
// for. Called wherever Ulo looks for keys or waits.
void endIfRequested();

// Registers `routine` to run at process exit unless it is registered already, so that each of the
// system's exit routines runs at most once however often its owner asks. Returns true when this
// call registered it.
bool registerExitRoutine(void (*routine)());

} // namespace ulo
