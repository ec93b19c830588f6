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
