#include "support/memory_screen.hpp"

#include "console/line_editor.hpp"
#include "console/print.hpp"
#include "console/tty_print.hpp"

#include <algorithm>

namespace ulo::testing {
namespace {

struct Screen {
    int columns = 80;
    int rows = 30;
    std::vector<std::string> cells;
    int x = 0; // 0-based cursor
    int y = 0;
    bool pendingWrap = false;
    int scrolls = 0;
    int beeps = 0;
    std::deque<KeyCode> keys; // negative: a size change, an index into `sizes` counted from -1
    std::vector<std::pair<int, int>> sizes;
};
Screen screen;

// Carries out the size changes queued before the next key: the grid keeps its top-left part.
void applySizeChanges() {
    while (!screen.keys.empty() && screen.keys.front() < 0) {
        const auto [columns, rows] =
            screen.sizes.at(static_cast<std::size_t>(-screen.keys.front() - 1));
        screen.keys.pop_front();
        screen.cells.resize(static_cast<std::size_t>(rows));
        for (std::string& line : screen.cells) {
            line.resize(static_cast<std::size_t>(columns), ' ');
        }
        screen.columns = columns;
        screen.rows = rows;
        screen.x = std::min(screen.x, columns - 1);
        screen.y = std::min(screen.y, rows - 1);
    }
}

void gridScroll(TtyTarget& target, int, int top, int, int bottom, int n) {
    for (int row = top; row <= bottom; ++row) {
        const int from = row + n;
        screen.cells[static_cast<std::size_t>(row)] =
            from <= bottom ? screen.cells[static_cast<std::size_t>(from)]
                           : std::string(static_cast<std::size_t>(screen.columns), ' ');
    }
    screen.scrolls += n;
    target.y = bottom;
}

int gridWrite(TtyTarget& target, const std::uint8_t* bytes, std::size_t count) {
    std::string& line = screen.cells[static_cast<std::size_t>(target.y)];
    line.replace(static_cast<std::size_t>(target.x), count, reinterpret_cast<const char*>(bytes),
                 count);
    return 1;
}

void gridBeep(TtyTarget&) {
    ++screen.beeps;
}

void screenPrint(const std::uint8_t* bytes, std::size_t length, std::int32_t mask) {
    if ((mask & PRINT_FORCE_ADJUST) == 0 && length == 0) {
        return;
    }
    std::int32_t top = 0;
    std::int32_t bottom = 0;
    getTextView(&top, &bottom);
    TtyTarget target{nullptr, gridScroll,         gridWrite,  gridBeep, 0,
                     top - 1, screen.columns - 1, bottom - 1, screen.x, screen.y};
    if (screen.pendingWrap) {
        screen.pendingWrap = false;
        target.x = target.left;
        ++target.y;
        if (target.y > target.bottom) {
            gridScroll(target, 0, target.top, target.right, target.bottom,
                       target.y - target.bottom);
        }
    }
    ttyPrint(target, bytes, length, 1);
    if (target.x == target.left && target.y == target.bottom + 1) {
        screen.pendingWrap = true;
        target.x = target.right;
        target.y = target.bottom;
    } else if (target.y > target.bottom) {
        gridScroll(target, 0, target.top, target.right, target.bottom, target.y - target.bottom);
    }
    screen.x = target.x;
    screen.y = target.y;
}

std::int32_t screenSetCursor(std::int32_t row, std::int32_t column, std::int32_t) {
    screen.pendingWrap = false;
    if (row != 0) {
        screen.y = row - 1;
    }
    if (column != 0) {
        screen.x = column - 1;
    }
    return 0;
}

void screenGetCursor(std::int32_t* column, std::int32_t* row) {
    *column = screen.x + 1;
    *row = screen.y + 1;
}

void screenGetTextSize(std::int32_t* columns, std::int32_t* rows) {
    *columns = screen.columns;
    *rows = screen.rows;
}

bool screenKeyAvailable() {
    applySizeChanges();
    return !screen.keys.empty();
}

KeyString screenReadKey() {
    if (screen.keys.empty()) {
        return {};
    }
    const KeyCode code = screen.keys.front();
    screen.keys.pop_front();
    return keyStringFor(code);
}

// The script has run out: the keys have ended.
void screenSleep(std::int32_t) {
    screen.keys.push_back(INPUT_END_KEY);
}

} // namespace

MemoryScreen::MemoryScreen(int columns, int rows) {
    screen = Screen{};
    screen.columns = columns;
    screen.rows = rows;
    screen.cells.assign(static_cast<std::size_t>(rows),
                        std::string(static_cast<std::size_t>(columns), ' '));
    ConsoleHooks hooks{};
    hooks.printBuffer = screenPrint;
    hooks.setCursor = screenSetCursor;
    hooks.getCursor = screenGetCursor;
    hooks.getTextSize = screenGetTextSize;
    hooks.keyAvailable = screenKeyAvailable;
    hooks.readKey = screenReadKey;
    hooks.sleep = screenSleep;
    hooks.inputLine = runInputLine;
    installConsoleHooks(hooks);
    setTextView(0, 0);
}

MemoryScreen::~MemoryScreen() {
    clearConsoleHooks();
}

std::string MemoryScreen::row(int row) const {
    return screen.cells.at(static_cast<std::size_t>(row - 1));
}
void MemoryScreen::moveTo(int row, int column) {
    screen.y = row - 1;
    screen.x = column - 1;
    screen.pendingWrap = false;
}
int MemoryScreen::cursorColumn() const {
    return screen.x + 1;
}
int MemoryScreen::cursorRow() const {
    return screen.y + 1;
}
bool MemoryScreen::pendingWrap() const {
    return screen.pendingWrap;
}
int MemoryScreen::scrolls() const {
    return screen.scrolls;
}
int MemoryScreen::beeps() const {
    return screen.beeps;
}

void MemoryScreen::press(std::vector<KeyCode> keys) {
    screen.keys.insert(screen.keys.end(), keys.begin(), keys.end());
}

void MemoryScreen::pressResize(int columns, int rows) {
    screen.sizes.emplace_back(columns, rows);
    screen.keys.push_back(-static_cast<KeyCode>(screen.sizes.size()));
}

void MemoryScreen::type(const std::string& text) {
    for (const char c : text) {
        screen.keys.push_back(static_cast<std::uint8_t>(c));
    }
}

} // namespace ulo::testing
