// The browser version's figures, measured in headless Chromium against the built site:
//
//   scripts/build-web && (cd tests/web && npm ci) && node bench/web_bench.mjs
//
// It serves build/web/site itself (or uses ULO_WEB_URL) and prints: page load to banner shown
// (median of 10 loads), key event to canvas changed (median), the site's size gzip-compressed,
// the CPU time of Chromium's processes while the tab waits for a key for 10 s, and the
// WebAssembly heap after a conversation.
import { spawn } from 'node:child_process';
import { readdirSync, readFileSync } from 'node:fs';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { gzipSync } from 'node:zlib';
import { BANNER, launch, say, waitForScreen } from '../tests/web/support.mjs';

const SITE = fileURLToPath(new URL('../build/web/site', import.meta.url));

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = Math.floor(sorted.length / 2);
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

async function serve() {
  if (process.env.ULO_WEB_URL) return { url: process.env.ULO_WEB_URL, stop() {} };
  const server = spawn('python3', ['-u', '-m', 'http.server', '--bind', '127.0.0.1', '--directory', SITE, '0'],
    { stdio: ['ignore', 'pipe', 'ignore'] });
  const port = await new Promise((resolve, reject) => {
    server.stdout.on('data', (chunk) => {
      const found = /port (\d+)/.exec(String(chunk));
      if (found) resolve(found[1]);
    });
    server.on('exit', () => reject(new Error('the web server ended')));
  });
  return { url: `http://127.0.0.1:${port}/`, stop: () => server.kill() };
}

// CPU seconds of all of Chromium's processes (the browser, the GPU process, the tabs).
async function cpuSeconds(cdp) {
  const { processInfo } = await cdp.send('SystemInfo.getProcessInfo');
  return processInfo.reduce((sum, process) => sum + process.cpuTime, 0);
}

const server = await serve();
process.env.ULO_WEB_URL = server.url;
let browser = await launch();
try {
  // First visits (a new context each: nothing cached, no IndexedDB yet), then reloads of one tab.
  const firstVisits = [];
  const reloads = [];
  for (let i = 0; i < 10; ++i) {
    const context = await browser.newContext();
    const page = await context.newPage();
    await page.goto(server.url);
    await waitForScreen(page, (rows) => rows[0] === BANNER);
    firstVisits.push(await page.evaluate(() => Module.uloPage.state.firstShownAt));
    await context.close();
  }
  const reloaded = await browser.newPage();
  await reloaded.goto(server.url);
  for (let i = 0; i < 10; ++i) {
    await reloaded.reload();
    await waitForScreen(reloaded, (rows) => rows[0] === BANNER);
    reloads.push(await reloaded.evaluate(() => Module.uloPage.state.firstShownAt));
  }
  await reloaded.close();

  // The rest in a browser of its own, so that the tabs closed above are not cleaned up while the
  // idle tab is measured.
  await browser.close();
  browser = await launch();
  const context = await browser.newContext();
  const page = await context.newPage();
  await page.goto(server.url);
  await waitForScreen(page, (rows) => rows[0] === BANNER);
  for (const sentence of ['hello', 'how are you', 'what is this', 'where am I']) await say(page, sentence);
  const latencies = await page.evaluate(() => Module.uloPage.state.keyLatencies);
  const heap = await page.evaluate(() => Module.uloPage.heapBytes());

  // Chromium's processes while the tab waits for a key, and while a blank tab stands in its place.
  const cdp = await browser.newBrowserCDPSession();
  const idleShare = async () => {
    const before = await cpuSeconds(cdp);
    const started = Date.now();
    await new Promise((resolve) => setTimeout(resolve, 10000));
    return (await cpuSeconds(cdp) - before) / ((Date.now() - started) / 1000);
  };
  // The first seconds after typing are not idle yet (the engine's optimising compiler, garbage
  // collection): they are measured apart. The tab's own tasks are counted in a window of their
  // own, as counting them costs Chromium a share of a core too.
  const settling = await idleShare();
  const idle = await idleShare();
  const metrics = await context.newCDPSession(page);
  await metrics.send('Performance.enable');
  const taskSeconds = async () => (await metrics.send('Performance.getMetrics')).metrics
    .find((metric) => metric.name === 'TaskDuration').value;
  const tasksBefore = await taskSeconds();
  await idleShare();
  const tabTasks = (await taskSeconds() - tasksBefore) / 10;
  await metrics.send('Performance.disable');
  await page.goto('about:blank');
  const blank = await idleShare();

  let compressed = 0;
  for (const file of readdirSync(SITE)) compressed += gzipSync(readFileSync(join(SITE, file))).length;

  console.log(`page load to banner shown, median of 10: first visit ${median(firstVisits).toFixed(1)} ms, reload ${median(reloads).toFixed(1)} ms (goal <= 300)`);
  console.log(`key event to canvas changed, median of ${latencies.length}: ${median(latencies).toFixed(2)} ms (goal <= 16)`);
  console.log(`site gzip-compressed: ${(compressed / 1024).toFixed(1)} KiB (goal <= 250 KB)`);
  console.log(`idle tab, Chromium's processes: ${(idle * 100).toFixed(2)} % of one core over 10 s (the 10 s after typing ${(settling * 100).toFixed(2)} %), a blank tab ${(blank * 100).toFixed(2)} %; the tab's own tasks ${(tabTasks * 100).toFixed(2)} % (goal <= 1 %)`);
  console.log(`WebAssembly heap: ${(heap / 1048576).toFixed(1)} MiB (goal <= 16)`);
  await context.close();
} finally {
  await browser.close();
  server.stop();
}
