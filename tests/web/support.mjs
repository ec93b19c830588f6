// What the page tests share: the browser, the served site, and Ulo's screen read back from the
// canvas cell by cell against the 8 x 16 font.
import { readFileSync } from 'node:fs';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const ROOT = fileURLToPath(new URL('../..', import.meta.url));
export const SITE_URL = process.env.ULO_WEB_URL || 'http://127.0.0.1:8000/';
export const NATIVE_ULO = process.env.ULO_NATIVE || `${ROOT}build/debug/src/ulo`;
// Generous: a loaded machine may be slow, and nothing waits this long when all is well.
export const DEADLINE_MS = 30000;
export const BANNER = 'Ulo V.3 01-09-07';

const FONT = [...readFileSync(`${ROOT}data/fonts/cp437-8x16.bin`)];

export async function launch() {
  return chromium.launch({
    executablePath: process.env.ULO_CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required'],
  });
}

// Errors thrown in the page fail the next wait for its screen.
export function watchErrors(page) {
  page.uloErrors = [];
  page.on('pageerror', (error) => page.uloErrors.push(error));
}

// A page of Ulo in `context`, its banner drawn.
export async function openUlo(context) {
  const page = await context.newPage();
  watchErrors(page);
  await page.goto(SITE_URL);
  await waitForScreen(page, (rows) => rows[0] === BANNER);
  return page;
}

// The screen as 30 lines of text, trailing blanks cut; throws when a cell is not exactly a glyph
// of the font in white on black (a pixel off anywhere fails).
export async function screenRows(page) {
  const result = await page.evaluate((font) => {
    const canvas = document.getElementById('screen');
    if (!canvas || canvas.width !== 640 || canvas.height !== 480) return { error: 'no 640 x 480 canvas' };
    const pixels = canvas.getContext('2d').getImageData(0, 0, 640, 480).data;
    if (!window.uloGlyphs) {
      window.uloGlyphs = new Map();
      for (let code = 255; code >= 0; --code) {
        window.uloGlyphs.set(font.slice(code * 16, code * 16 + 16).join(','), code);
      }
    }
    const rows = [];
    for (let row = 0; row < 30; ++row) {
      let text = '';
      for (let column = 0; column < 80; ++column) {
        const bits = [];
        for (let y = 0; y < 16; ++y) {
          let byte = 0;
          for (let x = 0; x < 8; ++x) {
            const at = ((row * 16 + y) * 640 + column * 8 + x) * 4;
            const value = pixels[at];
            if (pixels[at + 1] !== value || pixels[at + 2] !== value || pixels[at + 3] !== 255 ||
                (value !== 0 && value !== 255)) {
              return { error: `pixel (${column * 8 + x}, ${row * 16 + y}) is neither black nor white` };
            }
            byte = (byte << 1) | (value === 255 ? 1 : 0);
          }
          bits.push(byte);
        }
        const code = window.uloGlyphs.get(bits.join(','));
        if (code === undefined) return { error: `cell (${column}, ${row}) is no glyph of the font` };
        text += String.fromCharCode(code === 0 ? 32 : code);
      }
      rows.push(text.replace(/ +$/, ''));
    }
    return { rows };
  }, FONT);
  if (result.error) throw new Error(result.error);
  return result.rows;
}

// Polls the screen until `accept(rows)` holds; the rows then.
export async function waitForScreen(page, accept, what = 'the expected screen') {
  const deadline = Date.now() + DEADLINE_MS;
  let rows = [];
  for (;;) {
    if (page.uloErrors && page.uloErrors.length > 0) throw page.uloErrors[0];
    rows = await screenRows(page).catch((error) => (Date.now() < deadline ? [] : Promise.reject(error)));
    if (accept(rows)) return rows;
    if (Date.now() > deadline) throw new Error(`${what} did not come:\n${rows.join('\n')}`);
    await page.waitForFunction(() => new Promise((resolve) => requestAnimationFrame(() => resolve(true))));
  }
}

function lastLine(rows) {
  for (let row = rows.length - 1; row >= 0; --row) if (rows[row] !== '') return row;
  return -1;
}

// Types `text` and Enter, and returns the lines Ulo printed after it (its reply, and a question
// when it asks one). The canvas changes only while Ulo waits for keys, so every change seen is a
// whole turn. `shown`: the text as the screen shows it in code page 437.
export async function say(page, text, shown = text) {
  const before = await screenRows(page);
  await page.keyboard.type(text);
  const typed = await waitForScreen(page, (rows) => rows.join('\n') !== before.join('\n') &&
    rows[lastLine(rows)] === shown, `the echo of "${text}"`);
  await page.keyboard.press('Enter');
  const after = await waitForScreen(page, (rows) => rows.join('\n') !== typed.join('\n'), `a reply to "${text}"`);
  // The echo's row, moved up by as many rows as the screen scrolled.
  const echo = lastLine(typed);
  for (let scrolled = 0; scrolled <= echo; ++scrolled) {
    if (typed.slice(scrolled, echo + 1).every((line, i) => after[i] === line)) {
      return after.slice(echo - scrolled + 1, lastLine(after) + 1);
    }
  }
  throw new Error(`the screen after "${text}" does not follow from the one before`);
}

// Says `sentence` until Ulo asks for its reply, and teaches it `reply`; Ulo's acknowledgement.
export async function teach(page, sentence, reply) {
  for (let turn = 0; turn < 40; ++turn) {
    const lines = await say(page, sentence);
    if (lines[1] === sentence) return (await say(page, reply))[0];
  }
  throw new Error(`Ulo never asked about "${sentence}"`);
}

// data.dat as the page's "Save" button gives it.
export async function savedKnowledge(page) {
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#save')]);
  return readFileSync(await download.path());
}

// ---- The key table typed through the page's key events

// One key of the table: a key's name ("Left", "Keypad7") or a character typed as it is, with the
// modifiers held.
function parseKey(written, character) {
  if (character !== undefined) {
    return { name: character.toLowerCase(), shift: character !== character.toLowerCase() };
  }
  const parts = written.split('+');
  const key = { name: parts.pop() };
  const flags = { Shift: 'shift', Ctrl: 'ctrl', Alt: 'alt', NumLock: 'numLock' };
  for (const modifier of parts) {
    if (!flags[modifier]) return null;
    key[flags[modifier]] = true;
  }
  if (key.name.length === 1) key.name = key.name.toLowerCase();
  return key;
}

// The rows of tests/key_table.txt: its line number, what is typed, the keys and the line that
// Enter gives. A row that cannot be read throws.
export function readKeyTable() {
  const rows = [];
  readFileSync(`${ROOT}tests/key_table.txt`, 'utf8').split('\n').forEach((text, index) => {
    text = text.replace(/\r$/, '');
    if (text === '' || text.startsWith('#')) return;
    const fields = text.split('\t');
    const keys = [];
    const written = /([A-Za-z0-9 ])|<([^<>]+)>/y;
    let read = fields.length === 2;
    while (read && written.lastIndex < fields[0].length) {
      const match = written.exec(fields[0]);
      const key = match && parseKey(match[2], match[1]);
      if (key) keys.push(key);
      else read = false;
    }
    if (!read) throw new Error(`key_table.txt:${index + 1}: cannot read "${text}"`);
    rows.push({ lineNumber: index + 1, typed: fields[0], keys, line: fields[1] });
  });
  return rows;
}

// The browser's keys: key, code, key code, and the text the key types alone.
const NAMED_KEYS = {
  Left: ['ArrowLeft', 'ArrowLeft', 37], Right: ['ArrowRight', 'ArrowRight', 39],
  Up: ['ArrowUp', 'ArrowUp', 38], Down: ['ArrowDown', 'ArrowDown', 40], Home: ['Home', 'Home', 36],
  End: ['End', 'End', 35], Insert: ['Insert', 'Insert', 45], Delete: ['Delete', 'Delete', 46],
  PageUp: ['PageUp', 'PageUp', 33], PageDown: ['PageDown', 'PageDown', 34], Tab: ['Tab', 'Tab', 9],
  Enter: ['Enter', 'Enter', 13, '\r'], Backspace: ['Backspace', 'Backspace', 8],
  Escape: ['Escape', 'Escape', 27], F1: ['F1', 'F1', 112], F5: ['F5', 'F5', 116],
  F10: ['F10', 'F10', 121], F12: ['F12', 'F12', 123], KeypadEnter: ['Enter', 'NumpadEnter', 13, '\r'],
};
// The keypad's keys by code: with Num Lock off the browser reports the cursor key (key, key
// code), with it on the digit or full stop (key code).
const KEYPAD_KEYS = {
  Keypad0: ['Numpad0', 'Insert', 45, 96], Keypad1: ['Numpad1', 'End', 35, 97],
  Keypad2: ['Numpad2', 'ArrowDown', 40, 98], Keypad3: ['Numpad3', 'PageDown', 34, 99],
  Keypad4: ['Numpad4', 'ArrowLeft', 37, 100], Keypad5: ['Numpad5', 'Clear', 12, 101],
  Keypad6: ['Numpad6', 'ArrowRight', 39, 102], Keypad7: ['Numpad7', 'Home', 36, 103],
  Keypad8: ['Numpad8', 'ArrowUp', 38, 104], Keypad9: ['Numpad9', 'PageUp', 33, 105],
  KeypadPeriod: ['NumpadDecimal', 'Delete', 46, 110],
};
// The modifiers: the flag of a table key, the modifier key, and its bit in the protocol's events.
const MODIFIERS = [
  ['alt', { key: 'Alt', code: 'AltLeft', keyCode: 18 }, 1],
  ['ctrl', { key: 'Control', code: 'ControlLeft', keyCode: 17 }, 2],
  ['shift', { key: 'Shift', code: 'ShiftLeft', keyCode: 16 }, 8],
];

// A table key as the browser reports its press; throws for a key the browser path lacks.
export function browserKey(key) {
  if (key.name.length === 1) {
    const upper = key.name.toUpperCase();
    const text = key.shift ? upper : key.name;
    const code = key.name === ' ' ? 'Space' : /\d/.test(key.name) ? `Digit${key.name}` : `Key${upper}`;
    return { key: text, code, keyCode: upper.charCodeAt(0), text };
  }
  const keypad = KEYPAD_KEYS[key.name];
  if (keypad && key.numLock) {
    const text = key.name === 'KeypadPeriod' ? '.' : key.name.slice(-1);
    return { key: text, code: keypad[0], keyCode: keypad[3], text, location: 3 };
  }
  if (keypad) return { key: keypad[1], code: keypad[0], keyCode: keypad[2], location: 3 };
  const named = NAMED_KEYS[key.name];
  if (!named || (key.numLock && key.name !== 'KeypadEnter')) {
    throw new Error(`the browser has no key ${key.numLock ? 'NumLock+' : ''}${key.name}`);
  }
  const location = key.name === 'KeypadEnter' ? 3 : 0;
  return { key: named[0], code: named[1], keyCode: named[2], text: named[3], location };
}

// Types table keys through the DevTools protocol session `cdp` of the page: each modifier's press,
// the key's press and release, the modifiers' releases, as a keyboard sends them.
export async function typeKeys(cdp, keys) {
  for (const key of keys) {
    const press = browserKey(key);
    const held = MODIFIERS.filter(([flag]) => key[flag]);
    let modifiers = 0;
    const send = (type, { key: name, code, keyCode, location = 0 }, text) => {
      const typed = text ? { text, unmodifiedText: text } : {};
      return cdp.send('Input.dispatchKeyEvent', {
        type, modifiers, key: name, code, windowsVirtualKeyCode: keyCode, location, isKeypad: location === 3,
        ...typed,
      });
    };
    for (const [, modifier, bit] of held) {
      modifiers |= bit;
      await send('rawKeyDown', modifier);
    }
    // With Ctrl or Alt the key is a command: the browser gives it no text.
    const text = (modifiers & 3) === 0 ? press.text : undefined;
    await send(text ? 'keyDown' : 'rawKeyDown', press, text);
    await send('keyUp', press);
    for (const [, modifier, bit] of held.reverse()) {
      modifiers &= ~bit;
      await send('keyUp', modifier);
    }
  }
}
