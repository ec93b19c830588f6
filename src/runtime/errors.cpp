#include "runtime/errors.hpp"

#include "runtime/platform.hpp"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace ulo {

RuntimeErrorCode detail::lastError = ERR_NONE;

namespace {

constexpr std::array<std::string_view, 16> ERROR_MESSAGES = {
    "",
    "illegal function call",
    "file not found",
    "file I/O error",
    "out of memory",
    "illegal resume",
    "out of bounds array access",
    "null pointer access",
    "no priviledges",
    "\"interrupted\" signal",
    "\"illegal instruction\" signal",
    "\"floating point error\" signal",
    "\"segmentation violation\" signal",
    "\"termination request\" signal",
    "\"abnormal termination\" signal",
    "\"quit request\" signal",
};

// The process-wide error record (its lastError lives apart, where inline code can reach it);
// zero-filled before first use like every run-time record.
struct ErrorState {
    ErrorRoutine handler;
    std::int32_t line;
    ErrorRoutine resumeTarget;
    ErrorRoutine resumeNextTarget;
};

// Constant-initialised, so using it costs no first-use check.
ErrorState state{};

ErrorState& errorState() {
    return state;
}

// Exit routines registered so far; the system has only a handful.
constexpr std::size_t MAX_EXIT_ROUTINES = 16;
std::array<void (*)(), MAX_EXIT_ROUTINES> registeredRoutines{};
std::size_t registeredCount = 0;

} // namespace

std::string_view errorMessage(RuntimeErrorCode code) {
    if (code < 0 || code >= static_cast<RuntimeErrorCode>(ERROR_MESSAGES.size())) {
        return {};
    }
    return ERROR_MESSAGES[static_cast<std::size_t>(code)];
}

ErrorRoutine setErrorHandler(ErrorRoutine routine) {
    ErrorRoutine previous = errorState().handler;
    errorState().handler = routine;
    return previous;
}

ErrorRoutine raiseError(RuntimeErrorCode code, std::int32_t line, ErrorRoutine resumeTarget,
                        ErrorRoutine resumeNextTarget) {
    ErrorState& state = errorState();
    if (state.handler == nullptr) {
        abortWithError(code, line);
    }
    setErrorCode(code);
    state.line = line;
    state.resumeTarget = resumeTarget;
    state.resumeNextTarget = resumeNextTarget;
    return state.handler;
}

ErrorRoutine raiseCurrentError(std::int32_t line, ErrorRoutine resumeTarget,
                               ErrorRoutine resumeNextTarget) {
    return raiseError(lastErrorCode(), line, resumeTarget, resumeNextTarget);
}

static ErrorRoutine takeTarget(ErrorRoutine ErrorState::*which) {
    ErrorState& state = errorState();
    ErrorRoutine target = state.*which;
    state.resumeTarget = nullptr;
    state.resumeNextTarget = nullptr;
    if (target == nullptr) {
        abortWithError(ERR_ILLEGAL_RESUME, -1);
    }
    return target;
}

ErrorRoutine takeResumeTarget() {
    return takeTarget(&ErrorState::resumeTarget);
}
ErrorRoutine takeResumeNextTarget() {
    return takeTarget(&ErrorState::resumeNextTarget);
}
std::int32_t lastErrorLine() {
    return errorState().line;
}

void abortWithError(RuntimeErrorCode code, std::int32_t line) {
    std::string report = "\r\nAborting due to runtime error " + std::to_string(code);
    if (code >= 0 && code <= 15) {
        report += " (";
        report += errorMessage(code);
        report += ")";
    }
    if (line > 0) {
        report += " at line: " + std::to_string(line) + "\r\n";
    } else {
        report += "\r\n";
    }
    std::fwrite(report.data(), 1, report.size(), stdout);
    terminate(code);
}

void terminate(int code) {
    // The program defines no module destructors of its own; the standard library's exit runs the
    // registered exit routines in reverse order and flushes the standard streams.
    std::exit(code);
}

void endIfRequested() {
    if (const auto pendingEnd = nativePlatform().pendingEnd) {
        if (const std::int32_t code = pendingEnd(); code != 0) {
            terminate(code);
        }
    }
}

bool registerExitRoutine(void (*routine)()) {
    for (std::size_t i = 0; i < registeredCount; ++i) {
        if (registeredRoutines[i] == routine) {
            return false;
        }
    }
    if (registeredCount == MAX_EXIT_ROUTINES || std::atexit(routine) != 0) {
        return false;
    }
    registeredRoutines[registeredCount++] = routine;
    return true;
}

} // namespace ulo
