#include "console/tty_print.hpp"

namespace ulo {
namespace {

constexpr std::uint8_t BEL = 7;
constexpr std::uint8_t BS = 8;
constexpr std::uint8_t TAB = 9;
constexpr std::uint8_t LF = 10;
constexpr std::uint8_t CR = 13;
constexpr int TAB_WIDTH = 8;

// The printer's state over one run: the bytes waiting to be written and the column they bring
// the cursor to.
class TtyPrinter {
public:
    TtyPrinter(TtyTarget& target) : target_(target), column_(target.x) {}

    void output(std::uint8_t byte) {
        if (pending_ == TTY_BUFFER_SIZE) {
            flush();
        }
        buffer_[pending_++] = byte;
        ++column_;
        if (column_ > target_.right) {
            const int width = target_.right - target_.left + 1;
            column_ = target_.left + (column_ - target_.left) % width;
        }
    }

    // Moves the cursor by (dx, dy), after writing what waits; moves never scroll at once.
    void move(int dx, int dy) {
        flush();
        target_.x += dx;
        target_.y += dy;
        column_ = target_.x;
        moved_ = true;
    }

    void flush() {
        if (pending_ > 0) {
            ttyWriteRun(target_, buffer_, pending_);
            pending_ = 0;
        }
    }

    // The end of the run: write what waits, or, when nothing did and the cursor moved below the
    // bottom border, scroll it back into view.
    void finish() {
        if (pending_ > 0) {
            flush();
            return;
        }
        if (moved_ && target_.bottom != -1 && target_.y > target_.bottom) {
            target_.scroll(target_, target_.left, target_.top, target_.right, target_.bottom,
                           target_.y - target_.bottom);
            target_.y = target_.bottom;
        }
    }

    int column() const { return column_; }

private:
    TtyTarget& target_;
    int column_;
    std::uint8_t buffer_[TTY_BUFFER_SIZE];
    std::size_t pending_ = 0;
    bool moved_ = false;
};

} // namespace

void ttyPrint(TtyTarget& target, const std::uint8_t* bytes, std::size_t length, int textMode) {
    TtyPrinter printer(target);
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t byte = bytes[i];
        switch (byte) {
        case BEL:
            if (target.beep != nullptr) {
                target.beep(target);
            }
            break;
        case BS:
            printer.move(printer.column() > target.left ? -1 : 0, 0);
            break;
        case TAB: {
            const int offset = printer.column() - target.left;
            const int spaces = (offset + TAB_WIDTH) / TAB_WIDTH * TAB_WIDTH - offset;
            for (int n = 0; n < spaces; ++n) {
                printer.output(' ');
            }
            break;
        }
        case LF:
            printer.move(textMode != 0 ? target.left - printer.column() : 0, 1);
            break;
        case CR:
            printer.move(target.left - printer.column(), 0);
            break;
        default:
            printer.output(byte);
            break;
        }
    }
    printer.finish();
}

void ttyWriteRun(TtyTarget& target, const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        if (target.x > target.right) { // a cursor left beyond the border wraps first
            target.x = target.left;
            ++target.y;
        }
        const std::size_t room = static_cast<std::size_t>(target.right - target.x + 1);
        const std::size_t piece = count < room ? count : room;
        if (target.bottom != -1 && target.y > target.bottom) {
            target.scroll(target, target.left, target.top, target.right, target.bottom,
                          target.y - target.bottom);
            target.y = target.bottom;
        }
        if (target.write(target, bytes, piece) == 0) {
            return;
        }
        target.x += static_cast<int>(piece);
        bytes += piece;
        count -= piece;
        if (target.x == target.right + 1) {
            target.x = target.left;
            ++target.y;
        }
    }
}

} // namespace ulo
