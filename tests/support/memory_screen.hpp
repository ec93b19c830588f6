// An in-memory text screen installed into the console hooks: a grid of characters with a
// cursor, printing through ttyPrint with the pending wrap and lazy scrolling of the graphics
// screen, and keys from a script. The editor and the printer are tested on it.
#pragma once

#include "console/console_hooks.hpp"
#include "console/keys.hpp"

#include <deque>
#include <string>
#include <vector>

namespace ulo::testing {

class MemoryScreen {
public:
    MemoryScreen(int columns = 80, int rows = 30);
    ~MemoryScreen();

    // Row `row` (1-based) as text, trailing spaces kept.
    std::string row(int row) const;
    // Places the cursor (1-based).
    void moveTo(int row, int column);
    int cursorColumn() const; // 1-based
    int cursorRow() const;    // 1-based
    bool pendingWrap() const;
    int scrolls() const; // rows scrolled so far
    int beeps() const;

    void press(std::vector<KeyCode> keys);
    // The screen takes a new size once the keys queued so far have been read.
    void pressResize(int columns, int rows);
    void type(const std::string& text);
};

} // namespace ulo::testing
