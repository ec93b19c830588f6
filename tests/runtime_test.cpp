#include "runtime/errors.hpp"
#include "runtime/random.hpp"
#include "runtime/timer.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <unistd.h>

namespace ulo {
namespace {

TEST(ErrorMessages, HaveTheirExactTexts) {
    const char* expected[16] = {"",
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
                                "\"quit request\" signal"};
    for (int code = 0; code < 16; ++code) {
        EXPECT_EQ(errorMessage(code), expected[code]) << "code " << code;
    }
    EXPECT_EQ(errorMessage(16), "");
    EXPECT_EQ(errorMessage(-1), "");
}

// The abort report goes to standard output; the death tests only see standard error, so the
// child sends its standard output there.
void abortToStderr(RuntimeErrorCode code, std::int32_t line) {
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    abortWithError(code, line);
}

TEST(AbortReport, NamesTheCodeItsTextAndTheLine) {
    EXPECT_EXIT(abortToStderr(3, 0), ::testing::ExitedWithCode(3),
                "^\r\nAborting due to runtime error 3 \\(file I/O error\\)\r\n$");
    EXPECT_EXIT(abortToStderr(2, 17), ::testing::ExitedWithCode(2),
                "^\r\nAborting due to runtime error 2 \\(file not found\\) at line: 17\r\n$");
    EXPECT_EXIT(abortToStderr(16, -1), ::testing::ExitedWithCode(16),
                "^\r\nAborting due to runtime error 16\r\n$");
    // The exit code is the code, as far as the system keeps it: 8 bits on POSIX systems.
#if defined(_WIN32)
    constexpr int MINUS_FIVE_EXIT = -5;
#else
    constexpr int MINUS_FIVE_EXIT = 251;
#endif
    EXPECT_EXIT(abortToStderr(-5, 3), ::testing::ExitedWithCode(MINUS_FIVE_EXIT),
                "^\r\nAborting due to runtime error -5 at line: 3\r\n$");
}

TEST(ErrorHandler, RaiseWithoutHandlerAborts) {
    setErrorHandler(nullptr);
    EXPECT_EXIT(
        {
            ::dup2(STDERR_FILENO, STDOUT_FILENO);
            raiseError(4, 9, nullptr, nullptr);
        },
        ::testing::ExitedWithCode(4), "runtime error 4 \\(out of memory\\) at line: 9");
}

void handler() {}
void retry() {}
void skip() {}

TEST(ErrorHandler, RaiseStoresTheErrorAndTargetsForTheHandler) {
    EXPECT_EQ(setErrorHandler(handler), nullptr);
    EXPECT_EQ(raiseError(7, 12, retry, skip), handler);
    EXPECT_EQ(lastErrorCode(), 7);
    EXPECT_EQ(lastErrorLine(), 12);
    setErrorCode(2);
    EXPECT_EQ(raiseCurrentError(13, retry, skip), handler);
    EXPECT_EQ(lastErrorCode(), 2);
    // Taking one target clears both; asking again is an illegal resume.
    EXPECT_EQ(takeResumeNextTarget(), skip);
    EXPECT_EXIT(
        {
            ::dup2(STDERR_FILENO, STDOUT_FILENO);
            takeResumeTarget();
        },
        ::testing::ExitedWithCode(5), "runtime error 5 \\(illegal resume\\)\r\n$");
    EXPECT_EQ(setErrorHandler(nullptr), handler);
}

void exitRoutineA() {
    std::fputs("A", stderr);
}
void exitRoutineB() {
    std::fputs("B", stderr);
}
void exitRoutineC() {
    std::fputs("C", stderr);
}

TEST(Termination, RunsEachExitRoutineOnceInReverseOrder) {
    EXPECT_EXIT(
        {
            registerExitRoutine(exitRoutineA);
            registerExitRoutine(exitRoutineB);
            registerExitRoutine(exitRoutineA);
            registerExitRoutine(exitRoutineC);
            registerExitRoutine(exitRoutineB);
            terminate(0);
        },
        ::testing::ExitedWithCode(0), "^CBA$");
}

TEST(Generator, GivesTheClassicSequence) {
    LinearCongruentialGenerator generator;
    generator.seed(1);
    const std::int32_t expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358};
    for (const std::int32_t value : expected) {
        EXPECT_EQ(generator.next(), value);
    }
    generator.seed(-12);
    for (int i = 0; i < 1000; ++i) {
        const std::int32_t value = generator.next();
        ASSERT_GE(value, 0);
        ASSERT_LE(value, 32767);
    }
}

TEST(SeedRandom, TruncatesTowardZeroAndDiscardsOneValue) {
    EXPECT_EQ(seedInteger(12.9), 12);
    EXPECT_EQ(seedInteger(12.0), 12);
    EXPECT_EQ(seedInteger(-12.9), -12);
    EXPECT_EQ(seedInteger(2147483647.5), 2147483647);
    EXPECT_EQ(seedInteger(2147483648.0), INT32_MIN);
    EXPECT_EQ(seedInteger(-3e10), INT32_MIN);
    EXPECT_EQ(seedInteger(INFINITY), INT32_MIN);

    // The first fraction after seeding is the generator's second value.
    seedRandom(1.7);
    EXPECT_EQ(randomFraction(1), 18467.0 / 32768.0);
    EXPECT_EQ(randomFraction(0), 18467.0 / 32768.0); // asks for the last value, draws nothing
    EXPECT_EQ(randomFraction(-3), 6334.0 / 32768.0); // any non-zero n draws
}

TEST(SeedRandom, MarkerAndNaNSeedFromTheTimer) {
    const auto firstFractionFor = [](double seed) {
        seedRandom(seed);
        return randomFraction(1);
    };
    // Within one second of each other the timer gives the same whole second almost always;
    // retry across a second boundary.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const double before = std::trunc(timerSeconds());
        const double fromMarker = firstFractionFor(-1.0);
        const double fromNaN = firstFractionFor(NAN);
        const double fromSeconds = firstFractionFor(before);
        if (std::trunc(timerSeconds()) != before) {
            continue;
        }
        EXPECT_EQ(fromMarker, fromSeconds);
        EXPECT_EQ(fromNaN, fromSeconds);
        return;
    }
    FAIL() << "the timer kept crossing second boundaries";
}

TEST(Rolls, DependOnKAlone) {
    testing::ScriptedRandom script({0, 16383, 16384, 32767, 8191, 8192, 24576});
    EXPECT_EQ(roll(2), 1);
    EXPECT_EQ(roll(2), 1);
    EXPECT_EQ(roll(2), 2);
    EXPECT_EQ(roll(2), 2);
    EXPECT_EQ(roll(4), 1);
    EXPECT_EQ(roll(4), 2);
    EXPECT_EQ(roll(4), 4);
    EXPECT_EQ(script.draws(), 7u);
}

#if !defined(_WIN32)
TEST(Timer, CountsSecondsSinceSystemStart) {
    double uptime = 0;
    std::ifstream("/proc/uptime") >> uptime;
    const double seconds = timerSeconds();
    EXPECT_NEAR(seconds, uptime, 1.0);
    EXPECT_LE(seconds, timerSeconds());
}
#endif

} // namespace
} // namespace ulo
