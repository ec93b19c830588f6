// The key table run through each screen's key path into the line editor: every path gives the
// line that the table (and the README) says.
#include "console/line_editor.hpp"
#include "console/print.hpp"
#include "support/key_table.hpp"
#include "support/memory_screen.hpp"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <optional>
#include <string_view>

namespace ulo::testing {
namespace {

struct KeyTableRow {
    int lineNumber;
    std::string typed;
    std::vector<TypedKey> keys;
    std::string line;
};

bool knownKeyName(std::string_view name) {
    constexpr std::string_view NAMES[] = {
        "Left",   "Right",  "Up",       "Down", "Home",         "End",        "Insert",
        "Delete", "PageUp", "PageDown", "Tab",  "Enter",        "Backspace",  "Escape",
        "F1",     "F5",     "F10",      "F12",  "KeypadPeriod", "KeypadEnter"};
    if (name.size() == 1 || (name.size() == 7 && name.starts_with("Keypad"))) {
        return std::isalnum(static_cast<unsigned char>(name.back())) != 0 &&
               (name.size() == 1 || std::isdigit(static_cast<unsigned char>(name.back())) != 0);
    }
    return std::find(std::begin(NAMES), std::end(NAMES), name) != std::end(NAMES);
}

// "<Ctrl+Left>" without its brackets: modifiers, then the key.
std::optional<TypedKey> parseKey(std::string_view written) {
    TypedKey key;
    for (std::size_t plus = written.find('+'); plus != std::string_view::npos;
         plus = written.find('+')) {
        const std::string_view modifier = written.substr(0, plus);
        bool* flag = modifier == "Shift"     ? &key.shift
                     : modifier == "Ctrl"    ? &key.ctrl
                     : modifier == "Alt"     ? &key.alt
                     : modifier == "NumLock" ? &key.numLock
                                             : nullptr;
        if (flag == nullptr) {
            return std::nullopt;
        }
        *flag = true;
        written.remove_prefix(plus + 1);
    }
    if (!knownKeyName(written)) {
        return std::nullopt;
    }
    key.name = written.size() == 1
                   ? std::string(
                         1, static_cast<char>(std::tolower(static_cast<unsigned char>(written[0]))))
                   : std::string(written);
    return key;
}

std::optional<std::vector<TypedKey>> parseTyped(std::string_view typed) {
    std::vector<TypedKey> keys;
    while (!typed.empty()) {
        if (typed[0] != '<') {
            const char c = typed[0];
            if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != ' ') {
                return std::nullopt;
            }
            TypedKey key;
            key.name = std::string(1, c);
            key.shift = std::isupper(static_cast<unsigned char>(c)) != 0;
            keys.push_back(key);
            typed.remove_prefix(1);
            continue;
        }
        const std::size_t end = typed.find('>');
        const auto key =
            end == std::string_view::npos ? std::nullopt : parseKey(typed.substr(1, end - 1));
        if (!key) {
            return std::nullopt;
        }
        keys.push_back(*key);
        typed.remove_prefix(end + 1);
    }
    return keys;
}

// The rows of the table; a line that cannot be read fails the test.
std::vector<KeyTableRow> readKeyTable() {
    std::ifstream file(ULO_KEY_TABLE, std::ios::binary);
    EXPECT_TRUE(file.is_open()) << ULO_KEY_TABLE;
    std::vector<KeyTableRow> rows;
    std::string text;
    for (int number = 1; std::getline(file, text); ++number) {
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        if (text.empty() || text[0] == '#') {
            continue;
        }
        const std::size_t tab = text.find('\t');
        const auto keys = tab == std::string::npos || text.find('\t', tab + 1) != std::string::npos
                              ? std::nullopt
                              : parseTyped(std::string_view(text).substr(0, tab));
        if (!keys) {
            ADD_FAILURE() << "key_table.txt:" << number << ": cannot read \"" << text << '"';
            continue;
        }
        rows.push_back({number, text.substr(0, tab), *keys, text.substr(tab + 1)});
    }
    return rows;
}

TEST_P(KeyTable, EachLineTypedGivesTheLineOfTheTable) {
    static constexpr std::string_view NO_PROMPT;
    const std::vector<KeyTableRow> rows = readKeyTable();
    ASSERT_FALSE(rows.empty());
    for (const KeyTableRow& row : rows) {
        // Ten columns, so that Up and Down (a screen row back or on) show in short lines.
        MemoryScreen screen(10, 30);
        std::vector<TypedKey> keys = row.keys;
        keys.push_back(TypedKey{.name = "Enter"});
        screen.press(GetParam().type(keys));
        std::string line = "unchanged";
        EXPECT_EQ(inputLine(&NO_PROMPT, line, -1, 0, 0, -1), ERR_NONE);
        EXPECT_EQ(line, row.line) << "key_table.txt:" << row.lineNumber << ": " << row.typed;
    }
}

} // namespace

std::string keyPathName(const ::testing::TestParamInfo<KeyPath>& path) {
    return path.param.name;
}

void PrintTo(const KeyPath& path, std::ostream* out) {
    *out << path.name;
}

} // namespace ulo::testing
