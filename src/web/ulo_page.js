// The page's side of Ulo in a browser: the folder kept in IndexedDB with its locks, the canvas,
// the keys, the bell and the end. The program reaches it through small imports (src/web/*.cpp);
// every operation that waits returns a promise, which the program awaits through Asyncify.
var UloPage = (function () {
  'use strict';

  // Where data.dat and temp.dat live: the program's working folder.
  const FOLDER = '/ulo';
  // How long a lock is waited for, as on the desktop: only a stuck tab holds one longer.
  const LOCK_WAIT_MILLISECONDS = 30000;

  const state = {
    kept: false, // the folder is kept in IndexedDB
    syncing: Promise.resolve(), // IndexedDB syncs, one at a time
    known: new Set(), // the paths IndexedDB held at the last sync
    locks: new Map(), // open file -> release of its Web Lock
    failure: 0,
    canvas: null,
    context: null,
    image: null,
    keys: [], // key events not yet taken by the program
    wake: null, // ends the program's wait for keys
    audio: null,
    // For measurements: when the first picture was shown, and for each key event the time from
    // the event to the canvas showing what it did (milliseconds of the page's clock).
    firstShownAt: null,
    keyArrivedAt: null,
    keyLatencies: [],
  };

  // ---- The folder in IndexedDB

  function sync(populate) {
    const step = state.syncing.then(() => new Promise((resolve) => {
      FS.syncfs(populate, (error) => resolve(error || null));
    }));
    state.syncing = step.then(() => undefined);
    return step;
  }

  // Reading from IndexedDB removes the files it lacks, which other tabs removed; a file this tab
  // made and has not kept yet (a first data.dat, opened to be locked) stays.
  function keepNewFilesWhenReading() {
    const reconcile = IDBFS.reconcile;
    IDBFS.reconcile = (source, target, callback) => {
      const known = state.known;
      state.known = new Set(Object.keys(source.entries));
      if (source.type === 'remote') {
        for (const path of Object.keys(target.entries)) {
          if (!(path in source.entries) && !known.has(path)) source.entries[path] = target.entries[path];
        }
      }
      reconcile(source, target, callback);
    };
  }

  // Opening the folder's database is a good part of a first visit (it is made then): started
  // while the program's code compiles, it is open when the program's first sync asks for it. A
  // refusal here is met again, and reported, by that sync.
  function openStorageEarly() {
    try {
      IDBFS.getDB(FOLDER, () => {});
    } catch (error) { /* no IndexedDB at all */ }
  }

  async function startStorage() {
    FS.mkdir(FOLDER);
    keepNewFilesWhenReading();
    let refusal = null;
    try {
      FS.mount(IDBFS, {}, FOLDER);
      refusal = await sync(true);
    } catch (error) {
      refusal = error;
    }
    state.kept = refusal === null;
    if (!state.kept) {
      try { FS.unmount(FOLDER); } catch (error) { /* it was never mounted */ }
      FS.mount(MEMFS, {}, FOLDER);
    }
    FS.chdir(FOLDER);
    return state.kept;
  }

  // Why an operation failed, for the program: the file system's error number, or one of these
  // negative codes for what IndexedDB and the locks report.
  const QUOTA_EXCEEDED = -1, STORAGE_REFUSED = -2, LOCK_TIMED_OUT = -3, OTHER = -4;

  function failureOf(error) {
    const name = error && error.name;
    if (name === 'QuotaExceededError') return QUOTA_EXCEEDED;
    if (name === 'SecurityError' || name === 'NotAllowedError') return STORAGE_REFUSED;
    return error && typeof error.errno === 'number' ? error.errno : OTHER;
  }

  // Runs a file operation; a thrown error is noted and `failed` returned instead.
  function attempt(operation, failed) {
    try {
      return operation();
    } catch (error) {
      state.failure = failureOf(error);
      return failed;
    }
  }

  // Pushes the folder to IndexedDB: true once every change so far is kept there.
  async function keep() {
    if (!state.kept) return true;
    const error = await sync(false);
    if (error) state.failure = failureOf(error);
    return error === null;
  }

  // Takes the Web Lock of the open file's name, the way flock locks a file, then reads what other
  // tabs kept meanwhile. Closing the file releases it.
  async function lock(fd, exclusive) {
    const stream = attempt(() => FS.getStream(fd), null);
    if (!stream) return false;
    if (typeof navigator === 'undefined' || !navigator.locks) return true;
    let release;
    const held = new Promise((resolve) => { release = resolve; });
    const granted = await new Promise((resolve) => {
      navigator.locks.request('ulo:' + stream.path,
        { mode: exclusive ? 'exclusive' : 'shared', signal: AbortSignal.timeout(LOCK_WAIT_MILLISECONDS) },
        () => { resolve(true); return held; }).catch(() => resolve(false));
    });
    if (!granted) {
      state.failure = LOCK_TIMED_OUT;
      return false;
    }
    state.locks.set(fd, release);
    if (state.kept) {
      const error = await sync(true);
      if (error) state.failure = failureOf(error);
    }
    return true;
  }

  function unlock(fd) {
    const release = state.locks.get(fd);
    if (release) {
      state.locks.delete(fd);
      release();
    }
  }

  // The program's file operations, on open files by number; each answers `failed` after a
  // failure and notes why.
  const files = {
    open: (name, flags, notAFile) => attempt(() => {
      const stream = FS.open(name, flags, 0o666);
      if (!FS.isFile(stream.node.mode)) {
        FS.close(stream);
        throw new FS.ErrnoError(notAFile);
      }
      return stream.fd;
    }, -1),
    read: (fd, buffer, count, offset) => attempt(() => (offset < 0
      ? FS.read(FS.getStream(fd), HEAP8, buffer, count)
      : FS.read(FS.getStream(fd), HEAP8, buffer, count, offset)), -1),
    write: (fd, bytes, count) => attempt(() => FS.write(FS.getStream(fd), HEAP8, bytes, count), 0),
    seek: (fd, offset, whence) => attempt(() => FS.llseek(FS.getStream(fd), offset, whence), -1),
    truncate: (fd, length) => attempt(() => { FS.ftruncate(fd, length); return true; }, false),
    close: (fd) => {
      unlock(fd);
      return attempt(() => { FS.close(FS.getStream(fd)); return true; }, false);
    },
    remove: (name) => attempt(() => { FS.unlink(name); return 0; }, -1),
    rename: (from, to) => attempt(() => { FS.rename(from, to); return true; }, false),
    isNamed: (fd, name) => attempt(() => FS.lookupPath(name).node === FS.getStream(fd).node, false),
    identify: (fd, fields) => attempt(() => {
      const node = FS.getStream(fd).node;
      const attributes = node.node_ops.getattr(node);
      HEAPF64.set([attributes.ino, attributes.size, attributes.mtime.getTime()], fields >> 3);
      return true;
    }, false),
  };

  // data.dat as kept now, read under a shared lock (for saving it to disk).
  async function knowledgeBytes() {
    const read = async () => {
      if (state.kept) await sync(true);
      return attempt(() => FS.readFile(FOLDER + '/data.dat'), new Uint8Array(0));
    };
    return navigator.locks ? navigator.locks.request('ulo:' + FOLDER + '/data.dat', { mode: 'shared' }, read) : read();
  }

  // Puts `bytes` in place of data.dat, all or nothing, under the exclusive lock.
  async function replaceKnowledge(bytes) {
    const replace = async () => {
      if (state.kept) await sync(true);
      const written = attempt(() => {
        FS.writeFile(FOLDER + '/temp.dat', bytes);
        FS.rename(FOLDER + '/temp.dat', FOLDER + '/data.dat');
        return true;
      }, false);
      return written && keep();
    };
    return navigator.locks ? navigator.locks.request('ulo:' + FOLDER + '/data.dat', { mode: 'exclusive' }, replace) : replace();
  }

  // ---- The screen

  // The largest whole scale of the picture that fits the window; below 1 only for a window
  // smaller than the picture.
  function fit() {
    const canvas = state.canvas;
    if (!canvas) return;
    const width = window.innerWidth;
    const height = window.innerHeight;
    let scale = Math.floor(Math.min(width / canvas.width, height / canvas.height));
    if (scale < 1) scale = Math.min(width / canvas.width, height / canvas.height);
    canvas.style.width = canvas.width * scale + 'px';
    canvas.style.height = canvas.height * scale + 'px';
  }

  function openScreen(width, height, title) {
    const canvas = document.getElementById('screen');
    if (!canvas) return false;
    canvas.width = width;
    canvas.height = height;
    state.canvas = canvas;
    state.context = canvas.getContext('2d', { alpha: false });
    state.image = state.context.createImageData(width, height);
    document.title = title;
    window.addEventListener('resize', fit);
    document.addEventListener('fullscreenchange', fit);
    fit();
    return true;
  }

  // Shows framebuffer rows first .. end - 1: 32-bit pixels, blue in the lowest byte.
  function present(pointer, pitch, first, end) {
    if (!state.image) return;
    const source = HEAPU8;
    const target = state.image.data;
    const width = state.image.width;
    for (let y = first; y < end; ++y) {
      let from = pointer + y * pitch;
      let to = y * width * 4;
      for (let x = 0; x < width; ++x, from += 4, to += 4) {
        target[to] = source[from + 2];
        target[to + 1] = source[from + 1];
        target[to + 2] = source[from];
        target[to + 3] = 255;
      }
    }
    state.context.putImageData(state.image, 0, 0, 0, first, width, end - first);
    const now = performance.now();
    if (state.firstShownAt === null) state.firstShownAt = now;
    if (state.keyArrivedAt !== null) state.keyLatencies.push(now - state.keyArrivedAt);
    state.keyArrivedAt = null;
  }

  function toggleFullScreen() {
    if (document.fullscreenElement) {
      document.exitFullscreen().catch(() => {});
    } else if (state.canvas) {
      document.body.requestFullscreen().catch(() => {});
    }
  }

  // ---- Keys

  // The PC keyboard's keys by position: set-1 scan code, grey (enhanced) key, virtual key.
  const KEYS = {
    Escape: [0x01, 0, 0x1B], Digit1: [0x02, 0, 0x31], Digit2: [0x03, 0, 0x32], Digit3: [0x04, 0, 0x33],
    Digit4: [0x05, 0, 0x34], Digit5: [0x06, 0, 0x35], Digit6: [0x07, 0, 0x36], Digit7: [0x08, 0, 0x37],
    Digit8: [0x09, 0, 0x38], Digit9: [0x0A, 0, 0x39], Digit0: [0x0B, 0, 0x30], Minus: [0x0C, 0, 0xBD],
    Equal: [0x0D, 0, 0xBB], Backspace: [0x0E, 0, 0x08], Tab: [0x0F, 0, 0x09], KeyQ: [0x10, 0, 0x51],
    KeyW: [0x11, 0, 0x57], KeyE: [0x12, 0, 0x45], KeyR: [0x13, 0, 0x52], KeyT: [0x14, 0, 0x54],
    KeyY: [0x15, 0, 0x59], KeyU: [0x16, 0, 0x55], KeyI: [0x17, 0, 0x49], KeyO: [0x18, 0, 0x4F],
    KeyP: [0x19, 0, 0x50], BracketLeft: [0x1A, 0, 0xDB], BracketRight: [0x1B, 0, 0xDD],
    Enter: [0x1C, 0, 0x0D], ControlLeft: [0x1D, 0, 0x11], KeyA: [0x1E, 0, 0x41], KeyS: [0x1F, 0, 0x53],
    KeyD: [0x20, 0, 0x44], KeyF: [0x21, 0, 0x46], KeyG: [0x22, 0, 0x47], KeyH: [0x23, 0, 0x48],
    KeyJ: [0x24, 0, 0x4A], KeyK: [0x25, 0, 0x4B], KeyL: [0x26, 0, 0x4C], Semicolon: [0x27, 0, 0xBA],
    Quote: [0x28, 0, 0xDE], Backquote: [0x29, 0, 0xC0], ShiftLeft: [0x2A, 0, 0x10],
    Backslash: [0x2B, 0, 0xDC], KeyZ: [0x2C, 0, 0x5A], KeyX: [0x2D, 0, 0x58], KeyC: [0x2E, 0, 0x43],
    KeyV: [0x2F, 0, 0x56], KeyB: [0x30, 0, 0x42], KeyN: [0x31, 0, 0x4E], KeyM: [0x32, 0, 0x4D],
    Comma: [0x33, 0, 0xBC], Period: [0x34, 0, 0xBE], Slash: [0x35, 0, 0xBF], ShiftRight: [0x36, 0, 0x10],
    NumpadMultiply: [0x37, 0, 0x6A], AltLeft: [0x38, 0, 0x12], Space: [0x39, 0, 0x20],
    CapsLock: [0x3A, 0, 0x14], F1: [0x3B, 0, 0x70], F2: [0x3C, 0, 0x71], F3: [0x3D, 0, 0x72],
    F4: [0x3E, 0, 0x73], F5: [0x3F, 0, 0x74], F6: [0x40, 0, 0x75], F7: [0x41, 0, 0x76], F8: [0x42, 0, 0x77],
    F9: [0x43, 0, 0x78], F10: [0x44, 0, 0x79], NumLock: [0x45, 0, 0x90], ScrollLock: [0x46, 0, 0x91],
    Numpad7: [0x47, 0, 0x67], Numpad8: [0x48, 0, 0x68], Numpad9: [0x49, 0, 0x69],
    NumpadSubtract: [0x4A, 0, 0x6D], Numpad4: [0x4B, 0, 0x64], Numpad5: [0x4C, 0, 0x65],
    Numpad6: [0x4D, 0, 0x66], NumpadAdd: [0x4E, 0, 0x6B], Numpad1: [0x4F, 0, 0x61],
    Numpad2: [0x50, 0, 0x62], Numpad3: [0x51, 0, 0x63], Numpad0: [0x52, 0, 0x60],
    NumpadDecimal: [0x53, 0, 0x6E], IntlBackslash: [0x56, 0, 0xE2], F11: [0x57, 0, 0x7A],
    F12: [0x58, 0, 0x7B], NumpadEnter: [0x1C, 1, 0x0D], ControlRight: [0x1D, 1, 0x11],
    NumpadDivide: [0x35, 1, 0x6F], PrintScreen: [0x37, 1, 0x2C], AltRight: [0x38, 1, 0x12],
    Home: [0x47, 1, 0x24], ArrowUp: [0x48, 1, 0x26], PageUp: [0x49, 1, 0x21], ArrowLeft: [0x4B, 1, 0x25],
    ArrowRight: [0x4D, 1, 0x27], End: [0x4F, 1, 0x23], ArrowDown: [0x50, 1, 0x28],
    PageDown: [0x51, 1, 0x22], Insert: [0x52, 1, 0x2D], Delete: [0x53, 1, 0x2E],
    MetaLeft: [0x5B, 1, 0x5B], MetaRight: [0x5C, 1, 0x5C], ContextMenu: [0x5D, 1, 0x5D],
  };
  // The characters of keys whose names say them: they type these without character input.
  const NAMED_CHARACTERS = { Enter: 13, Tab: 9, Backspace: 8, Escape: 27 };
  // Ctrl with a letter or one of [ \ ] types a control character (Ctrl+H is Backspace, Ctrl+M
  // Enter), which the browser never sends as text.
  const CONTROL_KEYS = 'abcdefghijklmnopqrstuvwxyz[\\]';

  function unsentCharacter(event, altGraph) {
    if (NAMED_CHARACTERS[event.key]) return NAMED_CHARACTERS[event.key];
    if (!event.ctrlKey || event.altKey || altGraph || event.key.length !== 1) return 0;
    return CONTROL_KEYS.indexOf(event.key.toLowerCase()) + 1;
  }

  // Control-key state bits, as the program's key tables read them.
  const RIGHT_ALT = 0x01, LEFT_ALT = 0x02, LEFT_CTRL = 0x08, SHIFT = 0x10, ENHANCED = 0x100;

  function queueKey(key, event) {
    if (event && state.keyArrivedAt === null) state.keyArrivedAt = event.timeStamp;
    state.keys.push(key);
    if (state.wake) state.wake();
  }

  function singleCharacter(text) {
    const characters = Array.from(text || '');
    return characters.length === 1 ? characters[0].codePointAt(0) : 0;
  }

  // The bell's sound: made on the first key (a page may start sound only for the user), and
  // suspended while silent, as a running audio context costs a share of a core.
  function startAudio() {
    if (state.audio) return;
    const make = window.uloAudioContext || (() => new (window.AudioContext || window.webkitAudioContext)());
    try {
      state.audio = make();
      state.sounding = 0;
      if (state.audio.suspend) state.audio.suspend();
    } catch (error) {
      state.audio = null;
    }
  }

  // Keys that are not keys of their own: the text they make comes as character input.
  const COMPOSING = new Set(['Dead', 'Process', 'Unidentified']);

  function onKeyDown(event) {
    startAudio();
    if (event.isComposing || COMPOSING.has(event.key)) return;
    if (event.key === 'Enter' && event.altKey) {
      event.preventDefault();
      if (!event.repeat) toggleFullScreen();
      return;
    }
    const position = KEYS[event.code] || [0, 0, 0];
    const altGraph = event.getModifierState && event.getModifierState('AltGraph');
    let control = (event.shiftKey ? SHIFT : 0) | (position[1] ? ENHANCED : 0);
    if (altGraph) control |= RIGHT_ALT | LEFT_CTRL;
    else control |= (event.ctrlKey ? LEFT_CTRL : 0) | (event.altKey ? LEFT_ALT : 0);
    const character = singleCharacter(event.key);
    const commanded = (event.ctrlKey || event.altKey || event.metaKey) && !altGraph;
    queueKey({
      scanCode: position[0],
      virtualKey: position[2],
      control: control,
      character: commanded ? 0 : character,
      base: character ? singleCharacter(event.key.toLowerCase()) : 0,
      unsent: unsentCharacter(event, altGraph),
      text: commanded ? 0 : character,
    }, event);
    // The page keeps its own shortcuts (Ctrl+R, F5, F12...); every other key is Ulo's, Tab,
    // Backspace and Escape included, and types nothing into the page. So are Ctrl+H, I, J and M,
    // Backspace, Tab and Enter in Ulo, which would otherwise also open the browser's history or
    // downloads.
    const editingControl = [8, 9, 10, 13].includes(unsentCharacter(event, altGraph)) && !event.metaKey;
    const browserKey = /^F\d+$/.test(event.key) || ((event.ctrlKey || event.metaKey) && event.key !== 'Backspace' && !editingControl);
    if (!browserKey) event.preventDefault();
  }

  // Text that came without a key of its own: composed characters, an on-screen keyboard.
  function onInput(event) {
    if (event.inputType === 'deleteContentBackward') {
      queueKey({ scanCode: 0x0E, virtualKey: 0x08, control: 0, character: 0, base: 0, unsent: 8, text: 0 });
    } else if (event.inputType === 'insertLineBreak') {
      queueKey({ scanCode: 0x1C, virtualKey: 0x0D, control: 0, character: 0, base: 0, unsent: 13, text: 0 });
    }
    for (const character of Array.from(event.data || '')) {
      queueKey({ scanCode: 0, virtualKey: 0, control: 0, character: 0, base: 0, unsent: 0, text: character.codePointAt(0) });
    }
    event.target.value = '';
  }

  // The keys go to a text field over the screen: it takes composed text, and a tap on a touch
  // screen brings up the on-screen keyboard with it.
  function startKeys() {
    const canvas = document.getElementById('screen');
    const typing = document.getElementById('typing');
    if (!canvas || !typing) return;
    typing.addEventListener('keydown', onKeyDown);
    typing.addEventListener('input', onInput);
    canvas.addEventListener('pointerdown', (event) => {
      event.preventDefault();
      typing.focus();
    });
    typing.focus();
  }

  // The next key event, into the program's record at `fields` (7 numbers); false when none waits.
  function takeKey(fields) {
    const key = state.keys.shift();
    if (!key) return false;
    const values = [key.scanCode, key.virtualKey, key.control, key.character, key.base, key.unsent, key.text];
    HEAP32.set(values, fields >> 2);
    return true;
  }

  // Resolves when a key is there or `milliseconds` have passed.
  function waitForKey(milliseconds) {
    if (state.keys.length > 0) return Promise.resolve();
    return new Promise((resolve) => {
      const done = () => {
        clearTimeout(timer);
        state.wake = null;
        resolve();
      };
      const timer = setTimeout(done, milliseconds);
      state.wake = done;
    });
  }

  // ---- The bell and the end

  function tone(frequency, milliseconds) {
    const audio = state.audio;
    if (!audio) return;
    try {
      if (audio.resume) audio.resume();
      const oscillator = audio.createOscillator();
      const gain = audio.createGain();
      oscillator.type = 'square';
      oscillator.frequency.value = frequency;
      gain.gain.value = 0.1;
      oscillator.connect(gain);
      gain.connect(audio.destination);
      state.sounding += 1;
      oscillator.onended = () => {
        state.sounding -= 1;
        if (state.sounding === 0 && audio.suspend) audio.suspend();
      };
      const now = audio.currentTime;
      oscillator.start(now);
      oscillator.stop(now + milliseconds / 1000);
    } catch (error) {
      // No sound: the bell stays silent.
    }
  }

  function ended() {
    const end = document.getElementById('ended');
    if (end) end.hidden = false;
  }

  return {
    openStorageEarly, startStorage, keep, lock, files, state, knowledgeBytes, replaceKnowledge,
    openScreen, present, fit, toggleFullScreen, startKeys, takeKey, waitForKey, tone, ended,
    failure: () => state.failure,
    heapBytes: () => HEAP8.length,
  };
})();

Module['preInit'] = [UloPage.openStorageEarly];
Module['onExit'] = function () { UloPage.ended(); };
// Ulo's exit unwinds the program with an ExitStatus: when it ends while resumed from a wait, that
// reaches the page, for which it is no error.
window.addEventListener('unhandledrejection', (event) => {
  if (event.reason instanceof ExitStatus) event.preventDefault();
});
window.addEventListener('error', (event) => {
  if (event.error instanceof ExitStatus) event.preventDefault();
});
Module['uloPage'] = UloPage;
