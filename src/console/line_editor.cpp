#include "console/line_editor.hpp"

#include "console/codepage437.hpp"
#include "console/keys.hpp"
#include "console/print.hpp"

#include <algorithm>
#include <array>
#include <new>
#include <utility>

namespace ulo {
namespace {

std::int32_t floorDivide(std::int32_t a, std::int32_t b) {
    std::int32_t quotient = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) {
        --quotient;
    }
    return quotient;
}

void printBytes(std::string_view bytes) {
    printBuffer(bytes, 0);
}

// The editor's state for one line.
class LineEditor {
public:
    LineEditor() { getTextSize(&columns_, &rows_); }

    std::optional<EditedLine> run() {
        const std::int32_t visibility = (setCursor(0, 0, CURSOR_KEEP) >> 16) & 1;
        setCursor(0, 0, CURSOR_HIDE);
        printBytes(text_);
        setCursor(0, 0, CURSOR_SHOW);
        getCursor(&cursor_.x, &cursor_.y);
        bool inputEnded = false;
        for (;;) {
            awaitKey();
            const KeyCode code = readKey();
            if (code == 0) {
                continue; // the key vanished
            }
            if (code == INPUT_END_KEY) {
                inputEnded = true;
                break;
            }
            getCursor(&cursor_.x, &cursor_.y);
            if (!handleKey(code)) {
                break;
            }
        }
        getCursor(&cursor_.x, &cursor_.y);
        moveCursor(static_cast<std::int32_t>(text_.size()) - position_);
        setCursor(0, 0, visibility);
        return EditedLine{std::move(text_), inputEnded};
    }

private:
    std::int32_t length() const { return static_cast<std::int32_t>(text_.size()); }

    // Waits until a key is there, following the screen's size meanwhile.
    void awaitKey() {
        for (;;) {
            const bool available = keyAvailable();
            followScreenSize();
            if (available) {
                return;
            }
            sleepMilliseconds(KEY_POLL_INTERVAL_MS);
        }
    }

    // A terminal's size can change while the line is edited (the console keeps the cursor's row
    // in view). In a new width the line is drawn again from its start, as if typed at that width,
    // and what is left of its old picture is blanked; the cursor goes back to the edit position.
    void followScreenSize() {
        std::int32_t columns = columns_;
        getTextSize(&columns, &rows_);
        if (columns == columns_) {
            return;
        }
        const std::int32_t oldColumns = std::exchange(columns_, columns);
        CellPosition now{};
        getCursor(&now.x, &now.y);
        if (text_.empty()) {
            cursor_ = now;
            return;
        }
        // The line's start and its last row in the old width; the console may have moved the
        // text up with the cursor, and pulled the cursor's column into a narrower screen.
        const std::int32_t moved = now.y - cursor_.y;
        CellPosition start = advancePosition(cursor_, -position_, oldColumns);
        const std::int32_t lastRow = advancePosition(start, length() - 1, oldColumns).y + moved;
        start.y += moved;
        start.x = std::min(start.x, columns_);
        redraw(start, std::min(lastRow, rows_));
    }

    // Prints the line from `start` in the present width, blanks the rest of the rows up to
    // `lastRow`, and puts the cursor at the edit position. A start above the screen's first row
    // prints only what falls from that row on.
    void redraw(CellPosition start, std::int32_t lastRow) {
        std::int32_t from = 0; // the first character printed
        if (start.y < 1) {
            from = std::min((1 - start.y) * columns_ - (start.x - 1), length());
            start = {1, 1};
        }
        const CellPosition end = advancePosition(start, length() - from, columns_);
        const std::int32_t blanks =
            lastRow >= end.y ? (lastRow - end.y) * columns_ + columns_ - end.x + 1 : 0;
        setCursor(start.y, start.x, CURSOR_HIDE);
        std::string picture = text_.substr(static_cast<std::size_t>(from));
        picture.append(static_cast<std::size_t>(blanks), ' ');
        printBytes(picture);
        const auto printed = static_cast<std::int32_t>(picture.size());
        const CellPosition after = advancePosition(start, printed, columns_);
        if (after.y > rows_ + 1 || (after.y == rows_ + 1 && after.x > 1)) {
            // The print scrolled the view: it ended on the last row, or just after it when it
            // filled that row (the cursor is parked there then). Count back from that end.
            cursor_ = {after.x, after.x == 1 ? rows_ + 1 : rows_};
            moveCursor(position_ - from - printed);
        } else {
            cursor_ = start;
            moveCursor(position_ - from);
        }
        setCursor(0, 0, CURSOR_SHOW);
    }

    // What a key does to the line once its verb has moved the edit position: characters to
    // delete there, then bytes to insert there.
    struct Edit {
        std::int32_t deleted = 0;
        std::string inserted{};
    };

    // Acts on one key; false when it ends the line.
    bool handleKey(KeyCode code) {
        if (code == KEY_ENTER || code == KEY_LINE_FEED) {
            setCursor(0, 0, CURSOR_SHOW);
            return false;
        }
        const CellPosition before = cursor_;
        apply(editFor(code), before);
        setCursor(0, 0, CURSOR_SHOW);
        return true;
    }

    // Runs the verb of the key: an editing key's, a printable byte's insertion, or nothing for
    // every other key (other control codes, Insert, Page Up, the function keys, the close key).
    Edit editFor(KeyCode code) {
        for (const KeyVerb& entry : KEY_VERBS) {
            if (entry.key == code) {
                return (this->*entry.verb)();
            }
        }
        if (code >= 32 && code <= 255) {
            return {.inserted = std::string(1, static_cast<char>(code))};
        }
        return {};
    }

    void apply(Edit edit, CellPosition before) {
        if (length() + static_cast<std::int32_t>(edit.inserted.size()) > MAX_LINE_LENGTH) {
            printBytes("\a"); // the line is full
            edit.inserted.clear();
        }
        if (edit.deleted == 0 && edit.inserted.empty()) {
            return;
        }
        setCursor(0, 0, CURSOR_HIDE);
        if (edit.deleted > 0) {
            deleteAt(edit.deleted);
        }
        if (!edit.inserted.empty()) {
            insertAt(edit.inserted, before);
        }
    }

    // The verbs of the editing keys.
    Edit backspace() {
        if (position_ == 0) {
            return {};
        }
        moveTo(position_ - 1);
        return {.deleted = 1};
    }
    Edit deleteKey() {
        if (position_ == length()) {
            printBytes("\a"); // nothing to delete
            return {};
        }
        return {.deleted = 1};
    }
    Edit left() {
        if (position_ > 0) {
            moveTo(position_ - 1);
        }
        return {};
    }
    Edit right() {
        if (position_ < length()) {
            moveTo(position_ + 1);
        }
        return {};
    }
    Edit home() {
        moveTo(0);
        return {};
    }
    Edit end() {
        moveTo(length());
        return {};
    }
    // Up and Down move by a screen row of the text, while the line has one there.
    Edit up() {
        if (position_ >= columns_) {
            moveTo(position_ - columns_);
        }
        return {};
    }
    Edit down() {
        if (position_ + columns_ <= length()) {
            moveTo(position_ + columns_);
        }
        return {};
    }
    // Escape empties the line, blanking it on the screen.
    Edit escape() {
        moveTo(0);
        return {.deleted = length()};
    }
    // Tab stops every 8 characters of the text, counted from its start.
    Edit tab() {
        const std::int32_t spaces = (position_ + 8) / 8 * 8 - position_;
        return {.inserted = std::string(static_cast<std::size_t>(spaces), ' ')};
    }

    struct KeyVerb {
        KeyCode key;
        Edit (LineEditor::*verb)();
    };
    static const std::array<KeyVerb, 10> KEY_VERBS;

    // Moves the edit position, and the cursor with it.
    void moveTo(std::int32_t position) {
        moveCursor(position - position_);
        position_ = position;
    }

    // Removes k characters at the edit position, prints the tail over them followed by k spaces
    // that blank the cells the old tail took, and puts the cursor back.
    void deleteAt(std::int32_t k) {
        text_.erase(static_cast<std::size_t>(position_), static_cast<std::size_t>(k));
        std::string tail = text_.substr(static_cast<std::size_t>(position_));
        tail.append(static_cast<std::size_t>(k), ' ');
        printBytes(tail);
        setCursor(cursor_.y, cursor_.x, CURSOR_KEEP);
    }

    // Inserts bytes at the edit position and prints them with the tail after them. The cursor
    // then goes after the inserted bytes, which is where the printed run left it unless the
    // print scrolled the view.
    void insertAt(const std::string& bytes, CellPosition before) {
        const auto m = static_cast<std::int32_t>(bytes.size());
        text_.insert(static_cast<std::size_t>(position_), bytes);
        const std::int32_t printed = length() - position_;
        printBytes(std::string_view(text_).substr(static_cast<std::size_t>(position_)));
        CellPosition after{};
        getCursor(&after.x, &after.y);
        if (printed == m) {
            cursor_ = before;
        } else {
            const CellPosition end = advancePosition(before, printed, columns_);
            const bool scrolled = end.y > rows_ + 1 || (end.y == rows_ + 1 && end.x > 1);
            if (scrolled) {
                cursor_ = after;
                moveCursor(m - printed);
                position_ += m;
                return;
            }
            cursor_ = before;
        }
        moveCursor(m);
        position_ += m;
    }

    // Moves the cursor d cells with row wrap. One past the bottom-right cell means the view
    // must scroll: the cursor goes to that cell and a line end scrolls it.
    void moveCursor(std::int32_t d) {
        cursor_ = advancePosition(cursor_, d, columns_);
        if (cursor_.x == 1 && cursor_.y == rows_ + 1) {
            setCursor(rows_, columns_, CURSOR_KEEP);
            printBytes("\r\n");
        } else {
            setCursor(cursor_.y, cursor_.x, CURSOR_KEEP);
        }
    }

    std::string text_;
    std::int32_t position_ = 0;
    std::int32_t columns_ = 80;
    std::int32_t rows_ = 25;
    CellPosition cursor_{1, 1};
};

const std::array<LineEditor::KeyVerb, 10> LineEditor::KEY_VERBS = {{
    {KEY_BACKSPACE, &LineEditor::backspace},
    {KEY_DELETE, &LineEditor::deleteKey},
    {KEY_LEFT, &LineEditor::left},
    {KEY_RIGHT, &LineEditor::right},
    {KEY_HOME, &LineEditor::home},
    {KEY_END, &LineEditor::end},
    {KEY_UP, &LineEditor::up},
    {KEY_DOWN, &LineEditor::down},
    {KEY_ESCAPE, &LineEditor::escape},
    {KEY_TAB, &LineEditor::tab},
}};

} // namespace

CellPosition advancePosition(CellPosition position, std::int32_t d, std::int32_t columns) {
    const std::int32_t t = (position.x - 1) + d;
    const std::int32_t rowsMoved = floorDivide(t, columns);
    return {t - rowsMoved * columns + 1, position.y + rowsMoved};
}

std::optional<EditedLine> editLine() {
    try {
        return LineEditor().run();
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

RuntimeErrorCode runInputLine(const std::string_view* prompt, std::string& destination,
                              std::int32_t destinationLength, std::int32_t fillRemainder,
                              std::int32_t addQuestion, std::int32_t addNewline) {
    printBuffer({}, PRINT_FORCE_ADJUST);
    if (prompt != nullptr) {
        printText(0, *prompt, 0);
        if (addQuestion != 0) {
            printText(0, "? ", 0);
        }
    }
    std::optional<EditedLine> line = editLine();
    if (line && line->inputEnded && line->text.empty()) {
        return setErrorCode(ERR_INPUT_ENDED);
    }
    if (addNewline != 0) {
        printBuffer("\r\n", 0);
    }
    if (!line) {
        return setErrorCode(ERR_OUT_OF_MEMORY);
    }
    if (destinationLength < 0) {
        destination = std::move(line->text);
        if (destination.empty()) {
            destination.shrink_to_fit();
        }
    } else {
        const auto room =
            static_cast<std::size_t>(destinationLength > 0 ? destinationLength - 1 : 0);
        destination = line->text.substr(0, room);
        if (fillRemainder != 0) {
            destination.resize(room, ' ');
        }
    }
    return setErrorCode(ERR_NONE);
}

RuntimeErrorCode runInputLineWide(const std::u32string_view* prompt, std::u32string& destination,
                                  std::int32_t destinationLength, std::int32_t fillRemainder,
                                  std::int32_t addQuestion, std::int32_t addNewline) {
    const std::string narrowPrompt = prompt != nullptr ? unicodeTextToCp437(*prompt) : "";
    const std::string_view promptView = narrowPrompt;
    std::string line;
    const RuntimeErrorCode result =
        runInputLine(prompt != nullptr ? &promptView : nullptr, line, destinationLength,
                     fillRemainder, addQuestion, addNewline);
    if (result == ERR_NONE) {
        destination.clear();
        for (const char c : line) {
            destination.push_back(cp437ToUnicode(static_cast<std::uint8_t>(c)));
        }
    }
    return result;
}

} // namespace ulo
