// Loads an embedded page from src/web/pages into Debian's Chromium with a
// stand-in for the browser host: window.chrome.webview records every message
// the page posts, and the page functions are called as the host calls them.
import { chromium } from 'playwright-core';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { isDeepStrictEqual, inspect } from 'node:util';

export const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
export const pageFile = (name) => path.join(root, 'src', 'web', 'pages', name);

const CHROMIUM = process.env.QV_CHROMIUM || '/usr/bin/chromium';

export async function launch() {
  if (!fs.existsSync(CHROMIUM)) throw new Error(`no Chromium at ${CHROMIUM} (scripts/setup installs it)`);
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'qv-pages-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM,
    headless: true,
    viewport: { width: 352, height: 900 },
    args: [
      '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
    ],
  });
  // The host: every postMessage is kept as the JSON the host would receive.
  await context.addInitScript(() => {
    window.__posted = [];
    window.chrome = window.chrome || {};
    window.chrome.webview = {
      postMessage(message) { window.__posted.push(JSON.parse(JSON.stringify(message))); },
      addEventListener() {},
      removeEventListener() {},
    };
  });
  return {
    context,
    async close() {
      await context.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

// One page per case, loaded from disk; requests other than the page itself are
// refused and remembered (the page must stand alone).
export async function openPage(browser, name) {
  const page = await browser.context.newPage();
  page.outsideRequests = [];
  await page.route('**/*', (route) => {
    const url = route.request().url();
    if (url.startsWith('file:')) return route.continue();
    page.outsideRequests.push(url);
    return route.abort();
  });
  page.pageErrors = [];
  page.on('pageerror', (e) => page.pageErrors.push(String(e)));
  await page.goto(pathToFileURL(pageFile(name)).href);
  return page;
}

export const posted = (page) => page.evaluate(() => window.__posted);
// Messages posted since the last call, leaving out the "size" reports.
export async function take(page, { sizes = false } = {}) {
  const all = await page.evaluate(() => window.__posted.splice(0));
  return sizes ? all : all.filter((m) => m.type !== 'size');
}

// PASS/FAIL lines and the closing count, as the other tiers print them.
export class Tally {
  constructor(tier) { this.tier = tier; this.passed = 0; this.failed = 0; }
  async check(name, fn) {
    try {
      await fn();
      this.passed++;
      console.log(`PASS ${name}`);
    } catch (e) {
      this.failed++;
      console.log(`FAIL ${name}`);
      console.log('    ' + String(e && e.message ? e.message : e).split('\n').join('\n    '));
    }
  }
  summary() { console.log(`${this.tier}: ${this.passed} passed, ${this.failed} failed`); }
}

export function expectEqual(actual, expected, what = 'value') {
  if (!isDeepStrictEqual(actual, expected)) {
    throw new Error(`${what}:\n  expected ${inspect(expected, { depth: 6 })}\n  got      ${inspect(actual, { depth: 6 })}`);
  }
}

export function expect(cond, what) {
  if (!cond) throw new Error(what);
}

export function median(values) {
  const v = [...values].sort((a, b) => a - b);
  const mid = v.length >> 1;
  return v.length % 2 ? v[mid] : (v[mid - 1] + v[mid]) / 2;
}

// The flyout host as it was before it stopped pushing after "setvol", and as
// any display or device event still makes it: every "setvol" sets that
// direction's volume and queues a state push (the next of `states`, in turn)
// the way the real host's script call arrives after the message; a level
// tick every `tickMs` carries the volumes back. `settle` waits until every
// queued push has run. Installed on an open page; `stop` ends the ticks.
export async function pushingHost(page, states, { vol = 0.5, tickMs = 50 } = {}) {
  await page.evaluate(([docs, v, ms]) => {
    const host = { docs, pushes: 0, pending: 0, vol: { spk: v, mic: v } };
    const record = window.chrome.webview.postMessage;
    window.chrome.webview.postMessage = (message) => {
      record(message);
      if (message.type !== 'setvol') return;
      host.vol[message.cap ? 'mic' : 'spk'] = message.vol;
      host.pending++;
      setTimeout(() => {
        host.pending--;
        window.qvState(host.docs[host.pushes++ % host.docs.length]);
      }, 0);
    };
    const level = (dir) => ({ ok: true, vol: host.vol[dir], mute: false, peak: 0.3 });
    const tick = () => window.qvLevels({ spk: level('spk'), mic: level('mic') });
    tick();
    host.timer = setInterval(tick, ms);
    window.__host = host;
  }, [states, vol, tickMs]);
  return {
    settle: () => page.waitForFunction(() => window.__host.pending === 0),
    pushes: () => page.evaluate(() => window.__host.pushes),
    stop: () => page.evaluate(() => clearInterval(window.__host.timer)),
  };
}
