// Ulo's page in headless Chromium, against the site served from build/web/site.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';
import {
  BANNER, NATIVE_ULO, browserKey, launch, openUlo, readKeyTable, savedKnowledge, say, screenRows, teach,
  typeKeys, waitForScreen,
} from './support.mjs';

let browser;
before(async () => { browser = await launch(); });
after(async () => { await browser.close(); });

// Each test has a site of its own: a fresh context keeps its own IndexedDB.
async function freshUlo(setUp) {
  const context = await browser.newContext({ acceptDownloads: true });
  if (setUp) await context.addInitScript(setUp);
  return { context, page: await openUlo(context) };
}

describe('the screen', () => {
  test('shows the banner and a conversation in the font, white on black', async () => {
    const { context, page } = await freshUlo();
    const rows = await screenRows(page);
    assert.deepEqual(rows, [BANNER, ...Array(29).fill('')]);
    const lines = await say(page, 'hello');
    assert.equal(lines.length >= 1 && lines[0].length > 0, true, `a reply: ${lines}`);
    assert.equal((await screenRows(page))[2], 'hello');
    await context.close();
  });

  test('is scaled by the largest whole factor that fits, below 1 only in a small window', async () => {
    const { context, page } = await freshUlo();
    for (const [width, height, shown] of [[1300, 1000, '1280px'], [1919, 1440, '1280px'], [1920, 1440, '1920px'],
      [700, 500, '640px'], [320, 480, '320px']]) {
      await page.setViewportSize({ width, height });
      await page.waitForFunction((expected) => document.getElementById('screen').style.width === expected, shown);
    }
    await context.close();
  });

  test('Alt+Enter switches to full screen and back, typing nothing', async () => {
    const { context, page } = await freshUlo();
    await page.keyboard.press('Alt+Enter');
    await page.waitForFunction(() => document.fullscreenElement !== null);
    await page.keyboard.press('Alt+Enter');
    await page.waitForFunction(() => document.fullscreenElement === null);
    // Had Alt+Enter reached Ulo as Enter, the line would start rows lower.
    await page.keyboard.type('x');
    await waitForScreen(page, (rows) => rows[2] === 'x' && rows.slice(3).every((row) => row === ''));
    await context.close();
  });
});

// The table is typed on a screen 10 columns wide, where Up and Down move 10 characters; the
// page's is 80 wide. A row with Up or Down is typed with each character 8 times and its line
// expected so: Up and Down then move over as many of the table's characters. That holds only
// where the row's other keys go to an end of the line or end it.
const TABLE_COLUMNS = 10;
const COLUMNS = 80;
const SCALE = COLUMNS / TABLE_COLUMNS;
const ROWS_OF_A_LINE = new RegExp(`.{1,${COLUMNS}}`, 'g');
const VERTICAL = new Set(['ArrowUp', 'ArrowDown']);
const WHOLE_LINE = new Set(['ArrowUp', 'ArrowDown', 'Home', 'End', 'Enter']);

function onThePage({ keys, line }) {
  const moves = keys.filter((key) => key.name.length > 1).map((key) => browserKey(key).key);
  if (!moves.some((move) => VERTICAL.has(move))) return { keys, line };
  if (!moves.every((move) => WHOLE_LINE.has(move))) {
    throw new Error(`Up or Down with keys that cannot be scaled to ${COLUMNS} columns`);
  }
  return {
    keys: keys.flatMap((key) => (key.name.length === 1 ? Array(SCALE).fill(key) : [key])),
    line: [...line].map((character) => character.repeat(SCALE)).join(''),
  };
}

test('each row of the key table, typed with the browser\'s keys, gives the line of the table', async (t) => {
  const { context, page } = await freshUlo();
  const cdp = await context.newCDPSession(page);
  for (const row of readKeyTable()) {
    await t.test(`key_table.txt:${row.lineNumber}: ${row.typed}`, async () => {
      const { keys, line } = onThePage(row);
      // Each row on a new screen: its line starts on the third row and goes on below it, and
      // Ulo's reply follows it.
      await page.reload();
      await waitForScreen(page, (rows) => rows[0] === BANNER && rows[2] === '', 'a new screen');
      await typeKeys(cdp, [...keys, { name: 'Enter' }]);
      const shown = (line.match(ROWS_OF_A_LINE) || ['']).map((part) => part.replace(/ +$/, ''));
      await waitForScreen(page, (rows) => shown.every((part, i) => rows[2 + i] === part) &&
        rows[2 + shown.length] !== '', `"${line}", then a reply`);
    });
  }
  await t.test('Ctrl+H, I, J and M edit in Ulo alone; the browser keeps Ctrl+R and F5', async () => {
    const keptFromTheBrowser = await page.evaluate(() => ['h', 'i', 'j', 'm', 'r', 'F5'].map((key) =>
      !document.getElementById('typing').dispatchEvent(new KeyboardEvent('keydown',
        { key, ctrlKey: key !== 'F5', cancelable: true, bubbles: true }))));
    assert.deepEqual(keptFromTheBrowser, [true, true, true, true, false, false]);
  });
  await context.close();
});

describe('the knowledge in the browser', () => {
  test('a taught reply is kept across a reload', async () => {
    const { context, page } = await freshUlo();
    assert.ok(['Interesting.', 'Okay.', 'I see.', 'Really.'].includes(await teach(page, 'hello', 'hi there')));
    await page.reload();
    await waitForScreen(page, (rows) => rows[0] === BANNER && rows[2] === '');
    assert.deepEqual(await say(page, 'hello'), ['hi there']);
    await context.close();
  });

  test('data.dat holds the bytes the Linux build writes for the same records', async (t) => {
    const sentences = ['hello', 'say "hi"', 'caf\u00e9'];
    assert.ok(existsSync(NATIVE_ULO), `the Linux build is needed: ${NATIVE_ULO}`);
    // An empty line after each sentence answers a teaching question with nothing (nothing is
    // taught), or is an empty turn: the records are the same whatever the rolls.
    const folder = mkdtempSync(join(tmpdir(), 'ulo-web-'));
    t.after(() => rmSync(folder, { recursive: true, force: true }));
    const env = { ...process.env, LANG: 'C.UTF-8', LC_ALL: 'C.UTF-8' };
    delete env.DISPLAY;
    delete env.WAYLAND_DISPLAY;
    const run = spawnSync(NATIVE_ULO, [], {
      cwd: folder, env, input: sentences.map((s) => `${s}\n\n`).join('') + 'exit\n',
    });
    assert.equal(run.status, 0, String(run.stderr));
    const expected = readFileSync(join(folder, 'data.dat'));

    const { context, page } = await freshUlo();
    for (const sentence of sentences) {
      await say(page, sentence, sentence.replace('\u00e9', '\x82'));
      await page.keyboard.press('Enter');
    }
    assert.deepEqual(await savedKnowledge(page), expected);
    // And a file of the desktop's loads into the page.
    await page.setInputFiles('#load', { name: 'data.dat', mimeType: 'application/octet-stream',
      buffer: Buffer.from('"ping","pong","&&$&&"\r\n') });
    await page.waitForSelector('#status:has-text("Loaded data.dat.")');
    assert.deepEqual(await say(page, 'ping'), ['pong']);
    await context.close();
  });

  test('two pages teach in turn, and each answers what the other taught', async () => {
    const { context, page: first } = await freshUlo();
    const second = await openUlo(context);
    await teach(first, 'apple', 'red');
    await teach(second, 'sky', 'blue');
    await teach(first, 'grass', 'green');
    assert.deepEqual(await say(first, 'sky'), ['blue']);
    assert.deepEqual(await say(second, 'apple'), ['red']);
    assert.deepEqual(await say(second, 'grass'), ['green']);
    const records = String(await savedKnowledge(second)).split('\r\n').filter((line) => line !== '');
    assert.deepEqual(records.sort(), ['"apple","red","&&$&&"', '"grass","green","&&$&&"', '"sky","blue","&&$&&"']);
    await context.close();
  });

  test('storage refused: one line says so, and the conversation goes on in memory', async () => {
    const { context, page } = await freshUlo(() => {
      IDBFactory.prototype.open = () => { throw new DOMException('storage is blocked', 'SecurityError'); };
    });
    const rows = await waitForScreen(page, (shown) => shown[1] !== '', 'the notice');
    assert.match(rows[1], /storage/);
    assert.deepEqual(rows.slice(2), Array(28).fill(''));
    await teach(page, 'hello', 'hi there');
    assert.deepEqual(await say(page, 'hello'), ['hi there']);
    await context.close();
  });
});

test('exit ends Ulo, and the page starts it again', async () => {
  const { context, page } = await freshUlo();
  await page.keyboard.type('exit');
  await page.keyboard.press('Enter');
  await page.waitForSelector('#ended:not([hidden])');
  await page.click('#restart');
  await waitForScreen(page, (rows) => rows[0] === BANNER && rows[2] === '');
  assert.equal(await page.isHidden('#ended'), true);
  await say(page, 'hello');
  await context.close();
});

test('the bell asks Web Audio for a 1000 Hz tone of 250 ms', async () => {
  const { context, page } = await freshUlo(() => {
    window.uloTones = [];
    window.uloAudioContext = () => ({
      currentTime: 2,
      destination: {},
      createGain: () => ({ gain: {}, connect() {} }),
      createOscillator() {
        const tone = { frequency: {}, connect() {}, start(at) { this.startAt = at; }, stop(at) { this.stopAt = at; } };
        window.uloTones.push(tone);
        return tone;
      },
    });
  });
  await page.keyboard.type('a');
  await page.keyboard.press('Delete'); // at the end of the line
  await page.waitForFunction(() => window.uloTones.length === 1 && window.uloTones[0].stopAt !== undefined);
  const [tone] = await page.evaluate(() => window.uloTones.map((t) => ({ hz: t.frequency.value, s: t.stopAt - t.startAt })));
  assert.equal(tone.hz, 1000);
  assert.ok(Math.abs(tone.s - 0.25) < 1e-9, `${tone.s} s`);
  await context.close();
});
