#include "console/print.hpp"

#include "console/console_hooks.hpp"
#include "files/channels.hpp"

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

namespace ulo {
namespace {

constexpr int SCREEN_CHANNEL = 0;

// The screen channel's own state: its width and the column used for print zones.
struct ScreenChannelState {
    std::int32_t width = 80;
    std::int32_t column = 0;
};
ScreenChannelState screen;

// The text view, 0-based rows; bottom -1 while it is the whole screen, whatever size the screen
// has (a terminal's size changes).
struct TextView {
    std::int32_t top = 0;
    std::int32_t bottom = -1;
};
TextView textView;

RuntimeErrorCode screenWrite(FileChannel&, const std::uint8_t* bytes, std::size_t count) {
    activeHook (&ConsoleHooks::printBuffer)(bytes, count, 0);
    const std::string_view run(reinterpret_cast<const char*>(bytes), count);
    const std::size_t lineEnd = run.find_last_of("\r\n");
    if (lineEnd == std::string_view::npos) {
        screen.column += static_cast<std::int32_t>(count);
    } else {
        screen.column = static_cast<std::int32_t>(count - lineEnd - 1);
    }
    if (screen.width > 0) {
        screen.column %= screen.width;
    }
    return ERR_NONE;
}

// The screen channel only writes: it has no end, nothing to read, sync or cut back.
constexpr FileDevice SCREEN_DEVICE = {
    .writeBytes = screenWrite,
};

// Channel 0 gets its device when it is first used: width from the text size, column from the
// cursor.
void ensureScreenChannel() {
    if (openChannelSlot(SCREEN_CHANNEL) != nullptr) {
        return;
    }
    attachChannelDevice(SCREEN_CHANNEL, &SCREEN_DEVICE, &screen);
    std::int32_t columns = 0;
    std::int32_t rows = 0;
    getTextSize(&columns, &rows);
    std::int32_t column = 1;
    std::int32_t row = 1;
    getCursor(&column, &row);
    screen.width = columns;
    screen.column = std::max(column - 1, 0);
}

std::int32_t channelColumn(int channel) {
    if (channel == SCREEN_CHANNEL) {
        return screen.column;
    }
    const FileChannel* slot = openChannelSlot(channel);
    return slot != nullptr ? slot->outputColumn : 0;
}

bool graphicsScreenActive() {
    return consoleHooks().printBuffer != nullptr;
}

} // namespace

RuntimeErrorCode printText(int channel, std::string_view text, std::int32_t mask) {
    if (channel == SCREEN_CHANNEL) {
        ensureScreenChannel();
    }
    if (openChannelSlot(channel) == nullptr) {
        return setErrorCode(ERR_ILLEGAL_FUNCTION_CALL);
    }
    if (!text.empty()) {
        writeBytes(channel, text);
    }
    return printEnd(channel, mask);
}

RuntimeErrorCode printEnd(int channel, std::int32_t mask) {
    if (channel == SCREEN_CHANNEL) {
        ensureScreenChannel();
    }
    if (openChannelSlot(channel) == nullptr) {
        return setErrorCode(ERR_ILLEGAL_FUNCTION_CALL);
    }
    if ((mask & (PRINT_NEWLINE | PRINT_NEWLINE_TOO)) != 0) {
        return writeBytes(channel, "\r\n");
    }
    if ((mask & PRINT_PAD) != 0) {
        const std::int32_t column = channelColumn(channel);
        const std::string spaces(
            static_cast<std::size_t>(PRINT_ZONE_WIDTH - column % PRINT_ZONE_WIDTH), ' ');
        return writeBytes(channel, spaces);
    }
    return setErrorCode(ERR_NONE);
}

void printBuffer(std::string_view bytes, std::int32_t mask) {
    activeHook (&ConsoleHooks::printBuffer)(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                            bytes.size(), mask);
}

void clearScreen(std::uint32_t mode) {
    activeHook (&ConsoleHooks::clear)(mode);
    screen.column = 0;
}

std::int32_t setCursor(std::int32_t row, std::int32_t column, std::int32_t visibility) {
    std::int32_t columns = 0;
    std::int32_t rows = 0;
    getTextSize(&columns, &rows);
    std::int32_t top = 0;
    std::int32_t bottom = 0;
    getTextView(&top, &bottom);
    const bool rowRefused = row != 0 && (row < top || row > bottom);
    const bool columnRefused = column != 0 && (column < 1 || column > columns);
    if (rowRefused || columnRefused) {
        row = 0;
        column = 0;
    }
    const std::int32_t result = activeHook(&ConsoleHooks::setCursor)(row, column, visibility);
    if (column != 0) {
        screen.column = column - 1;
    }
    setErrorCode(ERR_NONE);
    return result;
}

void getCursor(std::int32_t* column, std::int32_t* row) {
    activeHook (&ConsoleHooks::getCursor)(column, row);
}

void getTextSize(std::int32_t* columns, std::int32_t* rows) {
    activeHook (&ConsoleHooks::getTextSize)(columns, rows);
}

void getTextView(std::int32_t* top, std::int32_t* bottom) {
    std::int32_t columns = 0;
    std::int32_t rows = 0;
    getTextSize(&columns, &rows);
    const std::int32_t last = rows - 1;
    const std::int32_t viewBottom = textView.bottom < 0 ? last : std::min(textView.bottom, last);
    *top = std::min(textView.top, viewBottom) + 1;
    *bottom = viewBottom + 1;
}

void setTextView(std::int32_t top, std::int32_t bottom) {
    std::int32_t columns = 0;
    std::int32_t rows = 0;
    getTextSize(&columns, &rows);
    if (top == 0 && bottom == 0) {
        top = 1;
        bottom = rows;
    } else if (top < 1 || bottom < top || bottom > rows) {
        setErrorCode(ERR_ILLEGAL_FUNCTION_CALL);
        return;
    }
    textView.top = top - 1;
    textView.bottom = top == 1 && bottom == rows ? -1 : bottom - 1;
    if (auto update = activeHook(&ConsoleHooks::viewUpdate)) {
        update(top, bottom);
    }
    if (graphicsScreenActive()) {
        setCursor(1, 1, CURSOR_KEEP);
    }
    setErrorCode(ERR_NONE);
}

RuntimeErrorCode inputLine(const std::string_view* prompt, std::string& destination,
                           std::int32_t destinationLength, std::int32_t fillRemainder,
                           std::int32_t addQuestion, std::int32_t addNewline) {
    return setErrorCode(activeHook(&ConsoleHooks::inputLine)(
        prompt, destination, destinationLength, fillRemainder, addQuestion, addNewline));
}

std::int32_t screenColumn() {
    return screen.column;
}

void resetScreenColumn() {
    screen.column = 0;
}

bool keyAvailable() {
    auto available = activeHook(&ConsoleHooks::keyAvailable);
    return available != nullptr && available();
}

KeyCode readKey() {
    auto read = activeHook(&ConsoleHooks::readKey);
    return read != nullptr ? read() : 0;
}

void sleepMilliseconds(std::int32_t milliseconds) {
    if (auto sleep = activeHook(&ConsoleHooks::sleep)) {
        sleep(milliseconds);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

} // namespace ulo
