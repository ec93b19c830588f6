#include "runtime/errors.hpp"
#include "runtime/platform.hpp"
#include "runtime/random.hpp"
#include "runtime/timer.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <optional>
#include <unistd.h>
#if defined(_WIN32)
#include <windows.h>
#endif

namespace ulo {
namespace {

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
    // Codes 0 to 15 have a text, even if it is empty or misspelt; 16 and up have none.
    EXPECT_EXIT(abortToStderr(0, 0), ::testing::ExitedWithCode(0),
                "^\r\nAborting due to runtime error 0 \\(\\)\r\n$");
    EXPECT_EXIT(abortToStderr(8, 1), ::testing::ExitedWithCode(8),
                "^\r\nAborting due to runtime error 8 \\(no priviledges\\) at line: 1\r\n$");
    EXPECT_EXIT(abortToStderr(15, 0), ::testing::ExitedWithCode(15),
                "^\r\nAborting due to runtime error 15 \\(\"quit request\" signal\\)\r\n$");
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

// What the clock of the test's own reads: the fine counter (with its counts per second, 0 when
// there is none) and the millisecond tick count.
struct ClockReadings {
    std::int64_t frequency = 0;
    std::optional<std::int64_t> count; // none: the counter cannot be read
    std::uint32_t ticks = 0;
};
ClockReadings readings;

const SystemClock SCRIPTED_CLOCK = {
    .performanceFrequency =
        [](std::int64_t* countsPerSecond) {
            *countsPerSecond = readings.frequency;
            return readings.frequency != 0;
        },
    .performanceCounter =
        [](std::int64_t* count) {
            *count = readings.count.value_or(0);
            return readings.count.has_value();
        },
    .tickCount = [] { return readings.ticks; },
};

class Timer : public ::testing::Test {
protected:
    void SetUp() override {
        readings = {};
        previous = useClock(&SCRIPTED_CLOCK);
    }
    void TearDown() override { useClock(previous); }

    const SystemClock* previous = nullptr;
};

// Where there is no fine counter the tick count is the clock: milliseconds, counted unsigned.
TEST_F(Timer, TickCountGivesMilliseconds) {
    readings.count = 5'000'000;
    readings.ticks = 123'456;
    EXPECT_DOUBLE_EQ(timerSeconds(), 123.456);
    readings.ticks = UINT32_MAX; // the last millisecond before the wrap, about 49.7 days
    EXPECT_DOUBLE_EQ(timerSeconds(), 4'294'967.295);
    // A counter that claims no counts per second (or fewer) is no counter either.
    readings.frequency = -1;
    useClock(&SCRIPTED_CLOCK);
    EXPECT_DOUBLE_EQ(timerSeconds(), 4'294'967.295);
}

// The fine counter: its count times the stored reciprocal of its frequency, which for some
// counts falls just short of the whole second that a division would give.
TEST_F(Timer, PerformanceCounterGivesCountTimesTheReciprocal) {
    readings.frequency = 10'000'000;
    readings.count = 25'000'000;
    readings.ticks = 999;
    EXPECT_DOUBLE_EQ(timerSeconds(), 2.5);
    readings.frequency = 49;
    readings.count = 49;
    useClock(&SCRIPTED_CLOCK);
    EXPECT_LT(timerSeconds(), 1.0);
    // So the seed taken from the timer is 0 here, not 1.
    seedRandom(-1.0);
    const double fromTimer = randomFraction(1);
    seedRandom(0.0);
    EXPECT_EQ(fromTimer, randomFraction(1));
}

// The clock is chosen at the first reading and kept; a reading of the counter that fails is
// answered by the tick count, and the counter is read again next time.
TEST_F(Timer, ChoosesItsClockOnceAndFallsBackPerReading) {
    readings.frequency = 1000;
    readings.count = 7'000;
    readings.ticks = 3'000;
    EXPECT_DOUBLE_EQ(timerSeconds(), 7.0);
    readings.frequency = 0;
    EXPECT_DOUBLE_EQ(timerSeconds(), 7.0);
    readings.count.reset();
    EXPECT_DOUBLE_EQ(timerSeconds(), 3.0);
    readings.count = 8'000;
    EXPECT_DOUBLE_EQ(timerSeconds(), 8.0);
    // A clock put in place is asked anew.
    useClock(&SCRIPTED_CLOCK);
    EXPECT_DOUBLE_EQ(timerSeconds(), 3.0);
    readings.frequency = 1000;
    EXPECT_DOUBLE_EQ(timerSeconds(), 3.0);
}

// The timer marker and NaN seed with the whole seconds of the timer.
TEST_F(Timer, SeedsTheGeneratorWithItsWholeSeconds) {
    readings.ticks = 12'999;
    const auto firstFractionFor = [](double seed) {
        seedRandom(seed);
        return randomFraction(1);
    };
    const double fromSeconds = firstFractionFor(12.0);
    EXPECT_NE(firstFractionFor(13.0), fromSeconds);
    EXPECT_EQ(firstFractionFor(-1.0), fromSeconds);
    EXPECT_EQ(firstFractionFor(NAN), fromSeconds);
}

// Seconds since system start, as the system tells them.
double systemUptime() {
#if defined(_WIN32)
    return static_cast<double>(::GetTickCount64()) / 1000.0;
#else
    double uptime = 0;
    std::ifstream("/proc/uptime") >> uptime;
    return uptime;
#endif
}

// Both clocks of the platform count seconds since system start: the fine one, and the tick count
// that stands in where the fine one fails (wrapping after 2^32 milliseconds).
TEST(PlatformClock, BothClocksCountSecondsSinceSystemStart) {
    const double uptime = systemUptime();
    const double fine = timerSeconds();
    EXPECT_NEAR(fine, uptime, 1.0);
    EXPECT_LE(fine, timerSeconds());

    SystemClock ticksOnly = nativePlatform().clock;
    ticksOnly.performanceFrequency = [](std::int64_t*) { return false; };
    const SystemClock* previous = useClock(&ticksOnly);
    const double ticks = timerSeconds();
    useClock(previous);
    EXPECT_NEAR(ticks, std::fmod(systemUptime(), 4'294'967.296), 1.0);
}

} // namespace
} // namespace ulo
