// Line input: the editor that reads one line from the keys of the screen or console in use,
// echoing and editing it in place. It works only through the public console operations, so the
// graphics screen and the consoles all run the same steps.
#pragma once

#include "runtime/errors.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ulo {

inline constexpr std::int32_t KEY_POLL_INTERVAL_MS = 25;
// The longest line the editor keeps, as long as a field of the knowledge file: keys that would
// make the line longer are refused with the bell, so that endless input takes no more memory.
inline constexpr std::int32_t MAX_LINE_LENGTH = 4096;

// The whole line input: resolves a pending wrap, prints the prompt (and "? " when asked), runs
// the editor, prints a line end when asked and stores the line. ERR_OUT_OF_MEMORY when no line
// could be made (the destination is left alone); ERR_INPUT_ENDED when the keys have ended for
// good before a line was entered.
RuntimeErrorCode runInputLine(const std::string_view* prompt, std::string& destination,
                              std::int32_t destinationLength, std::int32_t fillRemainder,
                              std::int32_t addQuestion, std::int32_t addNewline);

// runInputLine with Unicode text: the prompt is printed in code page 437 (characters it lacks as
// '?') and the line comes back in Unicode.
RuntimeErrorCode runInputLineWide(const std::u32string_view* prompt, std::u32string& destination,
                                  std::int32_t destinationLength, std::int32_t fillRemainder,
                                  std::int32_t addQuestion, std::int32_t addNewline);

struct EditedLine {
    std::string text;
    bool inputEnded = false; // the keys ended before Enter
};

// Edits one line until Enter (or LF). Nothing when no result string can be made.
std::optional<EditedLine> editLine();

// Cursor arithmetic with row wrap: (x, y) moved by d cells on a screen `columns` wide, rows
// allowed to go above 1 or below the last.
struct CellPosition {
    std::int32_t x;
    std::int32_t y;
};
CellPosition advancePosition(CellPosition position, std::int32_t d, std::int32_t columns);

} // namespace ulo
