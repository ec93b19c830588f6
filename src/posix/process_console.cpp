// The process console on POSIX systems: standard input and output.
//
// Output is converted from code page 437 to UTF-8 when the locale's character set is UTF-8 and
// written line by line, so that a program at the other end of a pipe sees every line as soon as
// it is printed. Input comes a line at a time: from a terminal in its own line mode (which echoes
// as the user types), or from a pipe or file, whose lines are echoed here the way the screen
// shows typed text.
#include "console/console_hooks.hpp"
#include "terminal/codepage437.hpp"

#include <cerrno>
#include <clocale>
#include <cstring>
#include <langinfo.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

namespace ulo {
namespace {

// Lines longer than this are cut: the conversation keeps far less, and input must not be able to
// take all memory.
constexpr std::size_t MAX_INPUT_LINE = 1u << 20;

struct ProcessConsole {
    bool ready = false;
    bool inputIsTerminal = false;
    bool outputIsTerminal = false;
    bool utf8 = false;
    bool inputEnded = false;
    bool pendingLineFeed = false; // a CR ended the last line; an LF right after it belongs to it
    std::int32_t column = 1;
    std::int32_t row = 1;
    char inputBuffer[4096];
    std::size_t inputStart = 0;
    std::size_t inputEnd = 0;
};
ProcessConsole console;

void prepare() {
    if (console.ready) {
        return;
    }
    console.ready = true;
    console.inputIsTerminal = ::isatty(STDIN_FILENO) == 1;
    console.outputIsTerminal = ::isatty(STDOUT_FILENO) == 1;
    std::setlocale(LC_CTYPE, "");
    const char* codeset = ::nl_langinfo(CODESET);
    console.utf8 = codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0;
}

void writeOut(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return; // nobody is reading any more; the conversation goes on regardless
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
}

void consolePrintBuffer(const std::uint8_t* bytes, std::size_t length, std::int32_t) {
    prepare();
    std::string out;
    out.reserve(length + 8);
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t byte = bytes[i];
        switch (byte) {
        case '\r':
            console.column = 1;
            break;
        case '\n':
            out.push_back('\n');
            console.column = 1;
            ++console.row;
            break;
        case 7:
            if (console.outputIsTerminal) {
                out.push_back('\a');
            }
            break;
        case 8:
        case 9:
            out.push_back(static_cast<char>(byte));
            break;
        default:
            if (console.utf8) {
                appendUtf8(out, cp437ToUnicode(byte));
            } else {
                out.push_back(static_cast<char>(byte));
            }
            ++console.column;
            break;
        }
    }
    writeOut(out);
}

void consoleClear(std::uint32_t) {
    prepare();
    if (console.outputIsTerminal) {
        writeOut("\x1b[H\x1b[2J");
    }
    console.column = 1;
    console.row = 1;
}

std::int32_t consoleSetCursor(std::int32_t row, std::int32_t column, std::int32_t) {
    if (row != 0) {
        console.row = row;
    }
    if (column != 0) {
        console.column = column;
    }
    return (console.column & 0xFF) | ((console.row & 0xFF) << 8);
}

void consoleGetCursor(std::int32_t* column, std::int32_t* row) {
    *column = console.column;
    *row = console.row;
}

void consoleGetTextSize(std::int32_t* columns, std::int32_t* rows) {
    prepare();
    winsize size{};
    if (console.outputIsTerminal && ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 &&
        size.ws_col > 0 && size.ws_row > 0) {
        *columns = size.ws_col;
        *rows = size.ws_row;
        return;
    }
    *columns = 80;
    *rows = 25;
}

// The next input byte, or -1 when input has ended.
int readInputByte() {
    if (console.inputStart == console.inputEnd) {
        if (console.inputEnded) {
            return -1;
        }
        ssize_t got;
        do {
            got = ::read(STDIN_FILENO, console.inputBuffer, sizeof console.inputBuffer);
        } while (got < 0 && errno == EINTR);
        if (got <= 0) {
            console.inputEnded = true;
            return -1;
        }
        console.inputStart = 0;
        console.inputEnd = static_cast<std::size_t>(got);
    }
    return static_cast<std::uint8_t>(console.inputBuffer[console.inputStart++]);
}

// One line of input bytes without its line end (LF, CR or CR LF). False at the end of input when
// no byte of a line was read.
bool readInputLine(std::string& line) {
    line.clear();
    bool any = false;
    for (int byte = readInputByte(); byte >= 0; byte = readInputByte()) {
        if (console.pendingLineFeed) {
            console.pendingLineFeed = false;
            if (byte == '\n') {
                continue;
            }
        }
        any = true;
        if (byte == '\n') {
            return true;
        }
        if (byte == '\r') {
            console.pendingLineFeed = true;
            return true;
        }
        if (byte != 0 && line.size() < MAX_INPUT_LINE) { // NUL is no key
            line.push_back(static_cast<char>(byte));
        }
    }
    return any;
}

RuntimeErrorCode consoleInputLine(const std::string_view* prompt, std::string& destination,
                                  std::int32_t destinationLength, std::int32_t,
                                  std::int32_t addQuestion, std::int32_t addNewline) {
    prepare();
    if (prompt != nullptr) {
        consolePrintBuffer(reinterpret_cast<const std::uint8_t*>(prompt->data()), prompt->size(),
                           0);
        if (addQuestion != 0) {
            consolePrintBuffer(reinterpret_cast<const std::uint8_t*>("? "), 2, 0);
        }
    }
    std::string line;
    if (!readInputLine(line)) {
        return ERR_INPUT_ENDED;
    }
    if (console.utf8) {
        line = utf8ToCp437(line);
    }
    // A terminal echoes what is typed, line end included; other input is echoed here.
    if (!console.inputIsTerminal) {
        consolePrintBuffer(reinterpret_cast<const std::uint8_t*>(line.data()), line.size(), 0);
        if (addNewline != 0) {
            consolePrintBuffer(reinterpret_cast<const std::uint8_t*>("\r\n"), 2, 0);
        }
    } else {
        console.column = 1;
        ++console.row;
    }
    if (destinationLength >= 0) {
        line.resize(std::min<std::size_t>(
            line.size(), static_cast<std::size_t>(std::max(destinationLength - 1, 0))));
    }
    destination = std::move(line);
    return ERR_NONE;
}

constexpr ConsoleHooks makeProcessConsole() {
    ConsoleHooks hooks{};
    hooks.clear = consoleClear;
    hooks.setCursor = consoleSetCursor;
    hooks.getCursor = consoleGetCursor;
    hooks.getTextSize = consoleGetTextSize;
    hooks.printBuffer = consolePrintBuffer;
    hooks.inputLine = consoleInputLine;
    return hooks;
}
constexpr ConsoleHooks PROCESS_CONSOLE = makeProcessConsole();

} // namespace

const ConsoleHooks& processConsoleHooks() {
    return PROCESS_CONSOLE;
}

} // namespace ulo
