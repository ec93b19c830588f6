// The key table (tests/key_table.txt): lines typed with the editing keys, the modifiers and the
// keypad, each with the line the editor returns after Enter. Every screen's key path runs the
// same table: a path turns typed keys into the raw events of its screen, puts them through that
// screen's own translation and hands back the key codes that come out. A screen joins by adding
// its path to an instantiation of KeyTable.
#pragma once

#include "console/keys.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ulo::testing {

// One key as the table writes it.
struct TypedKey {
    // A key's name ("Left", "F5", "Keypad7", ...) or a character typed as it is: a letter, digit
    // or space (a lower-case letter with a modifier: "<Alt+X>" is Alt with the X key).
    std::string name;
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
    bool numLock = false; // a keypad key while Num Lock is on

    bool isCharacter() const { return name.size() == 1; }
    char character() const { return name[0]; }
};

struct KeyPath {
    const char* name;
    // The key codes that typing `keys` one after another gives on this path, oldest first.
    std::vector<KeyCode> (*type)(const std::vector<TypedKey>& keys);
};

class KeyTable : public ::testing::TestWithParam<KeyPath> {};

// Empties the key buffer, oldest code first: a path that goes through it reads after each key,
// as the editor does, for the buffer holds 15 codes.
inline void takeQueuedKeys(std::vector<KeyCode>& codes) {
    for (KeyCode code = popKey(); code != 0; code = popKey()) {
        codes.push_back(code);
    }
}

// The test name of a key path, and the path as a test's parameter prints.
std::string keyPathName(const ::testing::TestParamInfo<KeyPath>& path);
void PrintTo(const KeyPath& path, std::ostream* out);

} // namespace ulo::testing
