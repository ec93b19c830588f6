#include "console/keys.hpp"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace ulo {
namespace {

// Table values: 0 (no code), a character up to 255, or an extended code × 256.
using KeyValue = std::uint16_t;

constexpr KeyValue ext(int code) {
    return static_cast<KeyValue>(code << 8);
}

struct KeyRow {
    KeyValue plain, shift, ctrl, alt;
};

// The extended codes of the keys, by scan code 0-88. Characters never become key codes through
// this table (they are delivered as typed characters), so only the extended codes are filled in.
constexpr std::array<KeyRow, 89> makeKeyTable() {
    std::array<KeyRow, 89> table{};
    table[0x01].alt = ext(0x01); // Esc
    // The digit row 1..0, - and =.
    for (int scan = 0x02; scan <= 0x0D; ++scan) {
        table[scan].alt = ext(0x78 + scan - 0x02);
    }
    table[0x03].ctrl = ext(0x03);                       // 2
    table[0x0E].alt = ext(0x0E);                        // Backspace
    table[0x0F] = {0, ext(0x0F), ext(0x94), ext(0x0F)}; // Tab
    // Letters and punctuation with Alt give their own scan code.
    for (int scan : {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B,
                     0x1C, 0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28,
                     0x29, 0x2C, 0x2D, 0x2E, 0x2F, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35}) {
        table[scan].alt = ext(scan);
    }
    // F1-F10.
    for (int i = 0; i < 10; ++i) {
        table[0x3B + i] = {ext(0x3B + i), ext(0x54 + i), ext(0x5E + i), ext(0x68 + i)};
    }
    // The keypad's cursor block (its Shift column holds digits, which are characters).
    table[0x47] = {ext(0x47), 0, ext(0x77), 0};
    table[0x48] = {ext(0x48), 0, ext(0x8D), 0};
    table[0x49] = {ext(0x49), 0, ext(0x84), 0};
    table[0x4B] = {ext(0x4B), 0, ext(0x73), 0};
    table[0x4C] = {ext(0x4C), 0, ext(0x8F), ext(0x4C)};
    table[0x4D] = {ext(0x4D), 0, ext(0x74), 0};
    table[0x4F] = {ext(0x4F), 0, ext(0x75), 0};
    table[0x50] = {ext(0x50), 0, ext(0x91), 0};
    table[0x51] = {ext(0x51), 0, ext(0x76), 0};
    table[0x52] = {ext(0x52), 0, ext(0x92), 0};
    table[0x53] = {ext(0x53), 0, ext(0x93), 0};
    table[0x57] = {ext(0x85), ext(0x87), ext(0x89), ext(0x8B)}; // F11
    table[0x58] = {ext(0x86), ext(0x88), ext(0x8A), ext(0x8C)}; // F12
    return table;
}
constexpr auto KEY_TABLE = makeKeyTable();

struct EnhancedKeyRow {
    std::uint8_t scanCode;
    KeyRow values;
};

// The grey keys, which report the enhanced-key flag.
constexpr std::array<EnhancedKeyRow, 12> ENHANCED_KEY_TABLE = {{
    {0x1C, {13, 13, 10, ext(0xA6)}},                      // keypad Enter
    {0x35, {'/', '?', ext(0x95), ext(0xA4)}},             // keypad /
    {0x47, {ext(0x47), ext(0x47), ext(0x77), ext(0x97)}}, // Home
    {0x48, {ext(0x48), ext(0x48), ext(0x8D), ext(0x98)}}, // Up
    {0x49, {ext(0x49), ext(0x49), ext(0x84), ext(0x99)}}, // Page Up
    {0x4B, {ext(0x4B), ext(0x4B), ext(0x73), ext(0x9B)}}, // Left
    {0x4D, {ext(0x4D), ext(0x4D), ext(0x74), ext(0x9D)}}, // Right
    {0x4F, {ext(0x4F), ext(0x4F), ext(0x75), ext(0x9F)}}, // End
    {0x50, {ext(0x50), ext(0x50), ext(0x91), ext(0xA0)}}, // Down
    {0x51, {ext(0x51), ext(0x51), ext(0x76), ext(0xA1)}}, // Page Down
    {0x52, {ext(0x52), ext(0x52), ext(0x92), ext(0xA2)}}, // Insert
    {0x53, {ext(0x53), ext(0x53), ext(0x93), ext(0xA3)}}, // Delete
}};

// The column for the modifiers held: Alt before Ctrl before Shift.
KeyValue modifiedColumn(const KeyRow& row, std::uint32_t state, bool& modified) {
    modified = true;
    if ((state & ALT_PRESSED) != 0) {
        return row.alt;
    }
    if ((state & CTRL_PRESSED) != 0) {
        return row.ctrl;
    }
    if ((state & SHIFT_PRESSED) != 0) {
        return row.shift;
    }
    modified = false;
    return row.plain;
}

KeyCode extendedValue(KeyValue value) {
    return (value & 0xFF00) + 255;
}

std::uint8_t otherCase(std::uint8_t c) {
    if (c >= 'a' && c <= 'z') {
        return static_cast<std::uint8_t>(c - 'a' + 'A');
    }
    if (c >= 'A' && c <= 'Z') {
        return static_cast<std::uint8_t>(c - 'A' + 'a');
    }
    return c;
}

struct KeyBuffer {
    std::array<KeyCode, KEY_BUFFER_SLOTS> codes{};
    unsigned write = 0;
    unsigned read = 0;
    bool arrived = false;
};
KeyBuffer keyBuffer;

// The key-arrival signal: pushes (and wake-ups) counted, so that a reader on another thread than
// the pusher can sleep until the next key instead of polling. The count changes under the lock
// (a sleeping reader cannot miss it) but is read without it: a reader notes it 40 times a second.
struct KeyArrival {
    std::mutex mutex;
    std::condition_variable signal;
    std::atomic<std::uint64_t> pushes{0};
};
KeyArrival arrival;

} // namespace

KeyCode translateKey(const KeyPress& press, bool charactersAsNone) {
    const auto character = [&]() -> KeyCode {
        return press.character != 0 && !charactersAsNone ? press.character : -1;
    };
    if (press.character == 0 && (press.controlKeyState & ENHANCED_KEY) != 0) {
        for (const EnhancedKeyRow& row : ENHANCED_KEY_TABLE) {
            if (row.scanCode != press.scanCode) {
                continue;
            }
            bool modified = false;
            const KeyValue value = modifiedColumn(row.values, press.controlKeyState, modified);
            if (value == 0) {
                return -1;
            }
            if (value > 255) {
                return extendedValue(value);
            }
            return charactersAsNone ? -1 : value;
        }
        return -1;
    }
    if (press.scanCode >= KEY_TABLE.size()) {
        return character();
    }
    const KeyRow& row = KEY_TABLE[press.scanCode];
    bool modified = false;
    KeyValue value = modifiedColumn(row, press.controlKeyState, modified);
    if (!modified && press.character != 0) {
        value = press.baseCharacter;
    }
    const bool ownCharacter =
        press.character == press.baseCharacter || press.character == otherCase(press.baseCharacter);
    if (value > 255 && ownCharacter) {
        return extendedValue(value);
    }
    return character();
}

void pushKey(KeyCode code) {
    keyBuffer.codes[keyBuffer.write] = code;
    keyBuffer.write = (keyBuffer.write + 1) % KEY_BUFFER_SLOTS;
    if (keyBuffer.write == keyBuffer.read) {
        keyBuffer.read = (keyBuffer.read + 1) % KEY_BUFFER_SLOTS;
    }
    keyBuffer.arrived = true;
    wakeKeyReaders();
}

void wakeKeyReaders() {
    {
        const std::lock_guard<std::mutex> guard(arrival.mutex);
        arrival.pushes.fetch_add(1, std::memory_order_release);
    }
    arrival.signal.notify_all();
}

std::uint64_t keyPushCount() {
    return arrival.pushes.load(std::memory_order_acquire);
}

void waitForKeyPush(std::uint64_t seen, std::int32_t milliseconds) {
    std::unique_lock<std::mutex> guard(arrival.mutex);
    arrival.signal.wait_for(guard, std::chrono::milliseconds(milliseconds),
                            [&] { return arrival.pushes.load(std::memory_order_relaxed) != seen; });
}

KeyCode popKey() {
    keyBuffer.arrived = false;
    if (keyBuffer.read == keyBuffer.write) {
        return 0;
    }
    const KeyCode code = keyBuffer.codes[keyBuffer.read];
    keyBuffer.read = (keyBuffer.read + 1) % KEY_BUFFER_SLOTS;
    return code;
}

bool keyBufferEmpty() {
    return keyBuffer.read == keyBuffer.write;
}
bool keyArrived() {
    return keyBuffer.arrived;
}
void resetKeyBuffer() {
    keyBuffer = KeyBuffer{};
}

} // namespace ulo
