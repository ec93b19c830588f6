// An in-memory text screen: a console device that records what the grid console does to it (a
// grid of characters, the rows scrolled, the bells) and hands out keys from a script, installed
// into the console hooks. The grid console, the printer and the editor are tested on it.
#pragma once

#include "console/console_hooks.hpp"
#include "console/keys.hpp"

#include <deque>
#include <string>
#include <vector>

namespace ulo::testing {

class MemoryScreen {
public:
    // `showsCursor`: the device shows a text cursor (as a terminal does).
    MemoryScreen(int columns = 80, int rows = 30, bool showsCursor = false);
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
    int viewportClears() const;
    // Whether the program has set a graphics viewport of its own.
    void setViewport(bool set);

    void press(std::vector<KeyCode> keys);
    // The screen takes a new size once the keys queued so far have been read.
    void pressResize(int columns, int rows);
    void type(const std::string& text);
};

// Takes the place of the platform's beep while it lives, recording the tones the consoles' bell
// asks for (frequency in Hz, milliseconds).
class BeepRecorder {
public:
    BeepRecorder();
    ~BeepRecorder();
    BeepRecorder(const BeepRecorder&) = delete;
    BeepRecorder& operator=(const BeepRecorder&) = delete;
    std::vector<std::pair<int, int>> tones() const;
};

} // namespace ulo::testing
