// The pieces of the browser's platform record, made in the files of this folder.
#pragma once

#include "console/grid_console.hpp"
#include "files/file_system.hpp"
#include "screen/display_driver.hpp"

#include <cstdint>

namespace ulo {

// The folder kept in IndexedDB, with the Web Locks API for locks.
extern const FileSystem WEB_FILE_SYSTEM;
// Mounts the folder and reads what IndexedDB keeps; false when the browser refuses storage and
// the folder lives in memory only.
bool startWebStorage();

// The canvas of the page.
extern const DisplayDriver WEB_DISPLAY_DRIVER;
// Shows the framebuffer rows drawn since the last call.
void presentDirtyRows();
// A line said once on the screen, below the banner, before the first key is read; null: none.
void noteScreenNotice(const char* text);

// The graphics screen's console on the page: the canvas is brought up to date before Ulo looks
// for keys, and waiting yields to the page until a key event comes or the time is up.
extern const ConsoleDevice PAGE_CONSOLE_DEVICE;
// Starts listening to the page's keys.
void startPageKeys();

} // namespace ulo
