// Printing, clearing, the cursor and line input: the text operations the conversation calls.
// Each goes to its ConsoleHooks slot, or to the process console while the slot is empty.
#pragma once

#include "console/console_hooks.hpp"
#include "runtime/errors.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ulo {

// Print mask bits.
inline constexpr std::int32_t PRINT_NEWLINE = 1;
inline constexpr std::int32_t PRINT_PAD = 2;
inline constexpr std::int32_t PRINT_NEWLINE_TOO = 4; // has the same effect as PRINT_NEWLINE
inline constexpr std::int32_t PRINT_FORCE_ADJUST = 8;
// Print zones for PRINT_PAD are this many columns wide.
inline constexpr std::int32_t PRINT_ZONE_WIDTH = 14;

// Clear modes.
inline constexpr std::uint32_t CLEAR_DEFAULT = 0xFFFF0000u;
inline constexpr std::uint32_t CLEAR_ALL = 0;
inline constexpr std::uint32_t CLEAR_GRAPHICS_VIEWPORT = 1;
inline constexpr std::uint32_t CLEAR_TEXT_VIEW = 2;

// Cursor visibility arguments of setCursor.
inline constexpr std::int32_t CURSOR_SHOW = 1;
inline constexpr std::int32_t CURSOR_HIDE = 0;
inline constexpr std::int32_t CURSOR_KEEP = -1;

// Writes `text` to the channel (0: the screen), then printEnd with the same mask.
RuntimeErrorCode printText(int channel, std::string_view text, std::int32_t mask);
// PRINT_NEWLINE (or 4): "\r\n"; else PRINT_PAD: spaces to the next print zone; else nothing.
RuntimeErrorCode printEnd(int channel, std::int32_t mask);
// The screen write that every print ends in.
void printBuffer(std::string_view bytes, std::int32_t mask);

void clearScreen(std::uint32_t mode);
// Row and column are 1-based, 0 keeps that coordinate. A row outside the text view or a column
// outside 1..columns is refused: then only the visibility request is carried out.
// Result: column in bits 0-7, row in bits 8-15, visibility in bit 16.
std::int32_t setCursor(std::int32_t row, std::int32_t column, std::int32_t visibility);
void getCursor(std::int32_t* column, std::int32_t* row);
void getTextSize(std::int32_t* columns, std::int32_t* rows);

// The text view, 1-based and inclusive. setTextView(0, 0) makes it the whole screen.
void getTextView(std::int32_t* top, std::int32_t* bottom);
void setTextView(std::int32_t top, std::int32_t bottom);

// Line input: prints the prompt (when given; then "? " if addQuestion), edits a line, prints a
// line end if addNewline and stores the line. destinationLength -1: the whole line; otherwise the
// destination holds at most destinationLength - 1 bytes. ERR_INPUT_ENDED when input has ended.
RuntimeErrorCode inputLine(const std::string_view* prompt, std::string& destination,
                           std::int32_t destinationLength, std::int32_t fillRemainder,
                           std::int32_t addQuestion, std::int32_t addNewline);

// The screen channel's column counter (0-based), used for print zones.
std::int32_t screenColumn();
// Sets that counter to 0, as a clear does (a graphics mode set does it too).
void resetScreenColumn();

// Keys, from the screen's key buffer or the console.
bool keyAvailable();
// The next key code, 0 when none waits.
KeyCode readKey();
// Sleeps on the screen or console in use.
void sleepMilliseconds(std::int32_t milliseconds);

} // namespace ulo
