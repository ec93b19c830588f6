// A real terminal for the tests: a private tmux server whose one pane runs a shell, typed into
// with send-keys and read with capture-pane. The server is killed when the session ends.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace ulo::testing {

class TerminalPane {
public:
    using Screen = std::vector<std::string>;

    // Starts a shell in `directory` in a pane of `columns` × `rows`.
    TerminalPane(const std::string& directory, int columns, int rows);
    ~TerminalPane();
    TerminalPane(const TerminalPane&) = delete;
    TerminalPane& operator=(const TerminalPane&) = delete;

    // Keys by their tmux names ("Enter", "Left", "C-c", ...).
    void keys(const std::vector<std::string>& names);
    // Text typed literally.
    void type(const std::string& text);
    // Types a shell command line and Enter.
    void run(const std::string& commandLine);

    // The pane's rows as text, trailing blanks removed.
    Screen screen();
    // Polls the screen until `holds` is true for it; false when it never was within `timeout`.
    bool waitFor(const std::function<bool(const Screen&)>& holds,
                 std::chrono::seconds timeout = std::chrono::seconds(30));
    // Waits until some row is exactly `row`.
    bool waitForRow(const std::string& row);

    // Resizes the window, and returns once the pane's terminal has the new size.
    void resize(int columns, int rows);
    // The cursor, 0-based column and row.
    std::pair<int, int> cursor();
    // Whether the terminal's bell has rung.
    bool bellRang();
    // The process id of the pane's shell.
    int shellProcess();

private:
    std::string tmux(const std::vector<std::string>& arguments);

    std::string server_;
    std::string socket_;
    std::string directory_;
};

// The text of `screen`, one row per line, for failure messages.
std::string showScreen(const TerminalPane::Screen& screen);

} // namespace ulo::testing
