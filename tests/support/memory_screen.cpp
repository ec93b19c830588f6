#include "support/memory_screen.hpp"

#include "console/grid_console.hpp"
#include "console/print.hpp"

#include <algorithm>

namespace ulo::testing {
namespace {

struct Screen {
    int columns = 80;
    int rows = 30;
    std::vector<std::string> cells;
    int scrolls = 0;
    int beeps = 0;
    int viewportClears = 0;
    bool viewportSet = false;
    std::deque<KeyCode> keys; // negative: a size change, an index into `sizes` counted from -1
    std::vector<std::pair<int, int>> sizes;
};
Screen screen;
GridConsole memoryGrid;

// Carries out the size changes queued before the next key: the grid keeps its top-left part.
void applySizeChanges(GridCursor& cursor) {
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
        cursor.x = std::min(cursor.x, columns - 1);
        cursor.y = std::min(cursor.y, rows - 1);
    }
}

bool memoryWrite(GridConsole&, std::int32_t x, std::int32_t y, const std::uint8_t* bytes,
                 std::size_t count) {
    screen.cells.at(static_cast<std::size_t>(y))
        .replace(static_cast<std::size_t>(x), count, reinterpret_cast<const char*>(bytes), count);
    return true;
}

void memoryScroll(GridConsole&, std::int32_t top, std::int32_t bottom, std::int32_t n) {
    for (int row = top; row <= bottom; ++row) {
        const int from = row + n;
        screen.cells[static_cast<std::size_t>(row)] =
            from <= bottom ? screen.cells[static_cast<std::size_t>(from)]
                           : std::string(static_cast<std::size_t>(screen.columns), ' ');
    }
    screen.scrolls += n;
}

void memoryClear(GridConsole&, std::int32_t top, std::int32_t bottom, bool) {
    for (int row = top; row <= bottom; ++row) {
        screen.cells[static_cast<std::size_t>(row)].assign(static_cast<std::size_t>(screen.columns),
                                                           ' ');
    }
}

bool memoryClearViewport(GridConsole&, bool byDefault) {
    if (byDefault && !screen.viewportSet) {
        return false;
    }
    ++screen.viewportClears;
    return true;
}

void memoryTextSize(GridConsole&, std::int32_t* columns, std::int32_t* rows) {
    *columns = screen.columns;
    *rows = screen.rows;
}

// One key of the script at a time, after the size changes queued before it.
void memoryPollKeys(GridConsole& console) {
    applySizeChanges(console.cursor);
    if (!screen.keys.empty()) {
        console.typed.push_back(screen.keys.front());
        screen.keys.pop_front();
    }
}

// The script has run out: the keys have ended.
void memoryWait(GridConsole&, std::int32_t) {
    screen.keys.push_back(INPUT_END_KEY);
}

void memoryBell(GridConsole&) {
    ++screen.beeps;
}

constexpr ConsoleDevice memoryDevice(bool showsCursor) {
    return {
        .writeCells = memoryWrite,
        .scrollRows = memoryScroll,
        .clearRows = memoryClear,
        .clearViewport = memoryClearViewport,
        .textSize = memoryTextSize,
        .pollKeys = memoryPollKeys,
        .waitForInput = memoryWait,
        .bell = memoryBell,
        .showsCursor = showsCursor,
    };
}
constexpr ConsoleDevice MEMORY_DEVICES[] = {memoryDevice(false), memoryDevice(true)};

} // namespace

MemoryScreen::MemoryScreen(int columns, int rows, bool showsCursor) {
    screen = Screen{};
    screen.columns = columns;
    screen.rows = rows;
    screen.cells.assign(static_cast<std::size_t>(rows),
                        std::string(static_cast<std::size_t>(columns), ' '));
    resetKeyBuffer();
    restartGridConsole(memoryGrid, MEMORY_DEVICES[showsCursor ? 1 : 0]);
    installConsoleHooks(GRID_CONSOLE_HOOKS<memoryGrid>);
    setTextView(0, 0);
}

MemoryScreen::~MemoryScreen() {
    clearConsoleHooks();
    resetKeyBuffer();
}

std::string MemoryScreen::row(int row) const {
    return screen.cells.at(static_cast<std::size_t>(row - 1));
}
void MemoryScreen::moveTo(int row, int column) {
    memoryGrid.cursor = {column - 1, row - 1, false};
}
int MemoryScreen::cursorColumn() const {
    return memoryGrid.cursor.x + 1;
}
int MemoryScreen::cursorRow() const {
    return memoryGrid.cursor.y + 1;
}
bool MemoryScreen::pendingWrap() const {
    return memoryGrid.cursor.pendingWrap;
}
int MemoryScreen::scrolls() const {
    return screen.scrolls;
}
int MemoryScreen::beeps() const {
    return screen.beeps;
}
int MemoryScreen::viewportClears() const {
    return screen.viewportClears;
}
void MemoryScreen::setViewport(bool set) {
    screen.viewportSet = set;
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

namespace {
std::vector<std::pair<int, int>> recordedTones;
BeepFunction beepBefore = nullptr;
void recordTone(std::int32_t frequency, std::int32_t milliseconds) {
    recordedTones.emplace_back(frequency, milliseconds);
}
} // namespace

BeepRecorder::BeepRecorder() {
    recordedTones.clear();
    beepBefore = useBeep(recordTone);
}
BeepRecorder::~BeepRecorder() {
    useBeep(beepBefore);
}
std::vector<std::pair<int, int>> BeepRecorder::tones() const {
    return recordedTones;
}

} // namespace ulo::testing
