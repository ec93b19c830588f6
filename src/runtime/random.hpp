// Random fractions behind every roll, from a 15-bit linear congruential generator that gives the
// same sequence for the same seed on every platform.
#pragma once

#include <cstdint>

namespace ulo {

// A source of 15-bit integers 0..32767. The default is the generator below; tests put in a script.
struct RandomSource {
    void (*seed)(void* context, std::int32_t seed);
    std::int32_t (*next)(void* context);
    void* context;
};

// The classic generator: state = state * 214013 + 2531011 (mod 2^32), output (state >> 16) &
// 0x7FFF.
struct LinearCongruentialGenerator {
    std::uint32_t state = 1;

    static constexpr std::uint32_t MULTIPLIER = 214013u;
    static constexpr std::uint32_t INCREMENT = 2531011u;

    void seed(std::int32_t value) { state = static_cast<std::uint32_t>(value); }
    std::int32_t next() {
        state = state * MULTIPLIER + INCREMENT;
        return static_cast<std::int32_t>((state >> 16) & 0x7FFFu);
    }
    // Moves the state on by `steps` values at once: the composition of `steps` steps, built
    // from the step's powers of two.
    void skip(std::uint64_t steps) {
        std::uint32_t multiplier = MULTIPLIER;
        std::uint32_t increment = INCREMENT;
        for (; steps != 0; steps >>= 1) {
            if ((steps & 1) != 0) {
                state = state * multiplier + increment;
            }
            increment *= multiplier + 1;
            multiplier *= multiplier;
        }
    }
};

// Replaces the process's random source; returns the previous one. Null restores the generator.
RandomSource useRandomSource(const RandomSource* source);

// Seeds the generator with `seed` truncated toward zero (-1 or NaN: the timer's seconds; a value
// outside the 32-bit range: -2147483648) and discards one value.
void seedRandom(double seed);

// n = 0: the value last returned (0.0 before any). Otherwise a new r = k / 32768, 0 <= r < 1.
double randomFraction(std::int32_t n);

// A roll with `outcomes` outcomes: floor(r * outcomes) + 1 for a new fraction r.
int roll(int outcomes);
// `count` rolls (at least one), of which the last is returned: the same draws as `count` calls
// of roll, made at once where the source is the generator.
int rollTimes(int outcomes, std::int64_t count);

// The integer a seed value turns into: truncation toward zero, out of range -2147483648.
std::int32_t seedInteger(double seed);

} // namespace ulo
