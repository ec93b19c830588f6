#include "runtime/random.hpp"

#include "runtime/timer.hpp"

#include <cmath>

namespace ulo {
namespace {

constexpr double TIMER_MARKER = -1.0;
constexpr float FRACTION_SCALE = 1.0f / 32768.0f; // exact: 2^-15

LinearCongruentialGenerator generator;

void generatorSeed(void*, std::int32_t seed) {
    generator.seed(seed);
}
std::int32_t generatorNext(void*) {
    return generator.next();
}

constexpr RandomSource GENERATOR_SOURCE = {generatorSeed, generatorNext, nullptr};

RandomSource currentSource = GENERATOR_SOURCE;
double lastRandom = 0.0;

} // namespace

RandomSource useRandomSource(const RandomSource* source) {
    RandomSource previous = currentSource;
    currentSource = source != nullptr ? *source : GENERATOR_SOURCE;
    return previous;
}

std::int32_t seedInteger(double seed) {
    const double truncated = std::trunc(seed);
    if (!(truncated >= -2147483648.0 && truncated <= 2147483647.0)) {
        return INT32_MIN;
    }
    return static_cast<std::int32_t>(truncated);
}

void seedRandom(double seed) {
    if (seed == TIMER_MARKER || std::isnan(seed)) {
        seed = timerSeconds();
    }
    currentSource.seed(currentSource.context, seedInteger(seed));
    currentSource.next(currentSource.context);
}

double randomFraction(std::int32_t n) {
    if (n == 0) {
        return lastRandom;
    }
    // The generator is called directly when it is the source: a turn rolls once per record.
    const std::int32_t k = currentSource.next == generatorNext
                               ? generator.next()
                               : currentSource.next(currentSource.context);
    lastRandom = static_cast<double>(k) * static_cast<double>(FRACTION_SCALE);
    return lastRandom;
}

int roll(int outcomes) {
    // The product is exact and never negative, so truncation is the floor.
    return static_cast<int>(randomFraction(1) * outcomes) + 1;
}

int rollTimes(int outcomes, std::int64_t count) {
    if (currentSource.next == generatorNext && count > 1) {
        generator.skip(static_cast<std::uint64_t>(count - 1));
    } else {
        for (std::int64_t drawn = 1; drawn < count; ++drawn) {
            currentSource.next(currentSource.context);
        }
    }
    return roll(outcomes);
}

} // namespace ulo
