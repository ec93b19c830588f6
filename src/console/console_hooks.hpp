// The table of text operations. While a graphics screen is open its operations fill every slot;
// an empty slot means the process's own console does the work instead.
#pragma once

#include "console/keys.hpp"
#include "runtime/errors.hpp"
#include "runtime/platform.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ulo {

struct ConsoleHooks {
    // The operations Ulo uses: keys, printing, clearing, the cursor, the text size and view, line
    // input and waiting. readKey gives the next key code, 0 when none waits.
    KeyCode (*readKey)() = nullptr;
    bool (*keyAvailable)() = nullptr;
    void (*clear)(std::uint32_t mode) = nullptr;
    // Result: column in bits 0-7, row in bits 8-15, visibility in bit 16.
    std::int32_t (*setCursor)(std::int32_t row, std::int32_t column,
                              std::int32_t visibility) = nullptr;
    void (*getCursor)(std::int32_t* column, std::int32_t* row) = nullptr;
    void (*getTextSize)(std::int32_t* columns, std::int32_t* rows) = nullptr;
    void (*printBuffer)(const std::uint8_t* bytes, std::size_t length, std::int32_t mask) = nullptr;
    void (*viewUpdate)(std::int32_t top, std::int32_t bottom) = nullptr;
    RuntimeErrorCode (*inputLine)(const std::string_view* prompt, std::string& destination,
                                  std::int32_t destinationLength, std::int32_t fillRemainder,
                                  std::int32_t addQuestion, std::int32_t addNewline) = nullptr;
    // Waits up to the given time; returns early when a key arrives.
    void (*sleep)(std::int32_t milliseconds) = nullptr;

    // Kept for the rest of the text interface; nothing in Ulo calls these.
    std::int32_t (*waitKey)() = nullptr;
    void (*setColor)(std::uint32_t foreground, std::uint32_t background) = nullptr;
    void (*setTextWidth)(std::int32_t columns, std::int32_t rows) = nullptr;
    std::int32_t (*getColumn)() = nullptr;
    std::int32_t (*getRow)() = nullptr;
    void (*printBufferWide)(const char32_t* text, std::size_t length, std::int32_t mask) = nullptr;
    RuntimeErrorCode (*readString)(std::string& text, std::int32_t count) = nullptr;
    std::int32_t (*keyState)(std::int32_t scanCode) = nullptr;
    std::int32_t (*readMouse)(std::int32_t* x, std::int32_t* y, std::int32_t* wheel,
                              std::int32_t* buttons) = nullptr;
    void (*placeMouse)(std::int32_t x, std::int32_t y, std::int32_t pointer) = nullptr;
    std::int32_t (*portIn)(std::int32_t port) = nullptr;
    void (*portOut)(std::int32_t port, std::int32_t value) = nullptr;
    RuntimeErrorCode (*inputLineWide)(const std::u32string_view* prompt,
                                      std::u32string& destination, std::int32_t destinationLength,
                                      std::int32_t fillRemainder, std::int32_t addQuestion,
                                      std::int32_t addNewline) = nullptr;
    std::int32_t (*readCell)(std::int32_t column, std::int32_t row, std::uint32_t* foreground,
                             std::uint32_t* background) = nullptr;
};

// The process-wide table; every slot empty at start.
ConsoleHooks& consoleHooks();
// Fills every slot from `hooks` (a graphics screen opening).
void installConsoleHooks(const ConsoleHooks& hooks);
// Empties every slot: text goes to the process console again.
void clearConsoleHooks();

// The process's own console: the platform chooses it at the first text operation that reaches
// it, and it serves every empty slot from then on.
const ConsoleHooks& processConsoleHooks();

// The operation that serves `slot` now: the installed one, else the process console's.
template <typename Slot>
Slot activeHook(Slot ConsoleHooks::*slot) {
    Slot installed = consoleHooks().*slot;
    return installed != nullptr ? installed : processConsoleHooks().*slot;
}

} // namespace ulo
