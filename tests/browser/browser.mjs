// The demo page in headless Chromium against the bridge on loopback: the
// page view against `tessel view`, Print into a PDF file, Sync into the
// device simulator, and the control's message boxes as the page's dialogs.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { existsSync, readFileSync, rmSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import {
  childProcesses, comparePng, flashDirectory, host, hostView, pageCount, pdfPages, stalledServer, startBridge, tempDir,
  timedStop, until,
} from './bridge.mjs';

const here = dirname(fileURLToPath(import.meta.url));

// Flags that keep Chromium off the network: no background requests, no
// component or sync updates, no proxy, no QUIC.
const CHROMIUM_FLAGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--no-proxy-server', '--disable-features=Translate,OptimizationHints,MediaRouter',
];

async function loadPlaywright() {
  if (!existsSync(join(here, 'node_modules', 'playwright-core'))) {
    // Once per checkout: the pinned package from the lock file, no browser
    // download (the system's chromium is used).
    execFileSync('npm', ['ci', '--no-audit', '--no-fund', '--loglevel=error'], {
      cwd: here, stdio: 'inherit', timeout: 180000,
      env: { ...process.env, PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD: '1' },
    });
  }
  return import('playwright-core');
}

function chromiumPath() {
  const path = process.env.TESSEL_CHROMIUM || '/usr/bin/chromium';
  if (!existsSync(path))
    throw new Error(`chromium is missing at ${path}: install the Debian package chromium (.ci/deps.sh)`);
  return path;
}

// The picture the page shows, as the bytes of its PNG.
async function shownPng(page) {
  const base64 = await page.evaluate(async () => {
    const img = document.querySelector('tessel-control').shadowRoot.querySelector('img');
    const bytes = new Uint8Array(await (await fetch(img.src)).arrayBuffer());
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return btoa(text);
  });
  return Buffer.from(base64, 'base64');
}

const pageLabel = (page, text) =>
  page.waitForFunction((t) => document.getElementById('page').textContent === t, text, { timeout: 15000 });
// Print and Sync lay out every page, at 600 dpi or 29 times over.
const logged = (page, line) =>
  page.waitForFunction((l) => document.getElementById('log').textContent.includes(l), line, { timeout: 60000 });
const ready = (page) => page.waitForFunction(() => !document.getElementById('sync').disabled, null, { timeout: 15000 });

export async function browserSuite({ tessel, build, source }) {
  const { chromium } = await loadPlaywright();
  const profile = tempDir('chromium');
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: chromiumPath(), headless: true, args: CHROMIUM_FLAGS, viewport: { width: 1000, height: 1200 },
  });
  const sample = join(source, 'samples', 'report.html');
  const simulator = join(build, 'device', 'AtUsbHidSimulator.so');
  const tesselFlash = join(build, 'apps', 'tessel-flash');
  let pages;
  const samplePages = () => (pages ??= pageCount(tessel, sample));

  // Runs `body` on a fresh page of the demo at `query`, against a bridge
  // started with `options`; a dialog the page did not expect fails the test.
  async function onDemo(options, query, body) {
    const bridge = await startBridge(tessel, options);
    const page = await context.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(String(e)));
    try {
      await page.goto(`${bridge.base}/${query}`);
      await body(page, bridge);
      assert.deepEqual(errors, []);
    } finally {
      await page.close();
      const code = await bridge.stop();
      assert.equal(code, 0, bridge.stderr());
    }
  }

  const dialog = (page) => page.locator('tessel-control dialog[open]');

  return {
    close: async () => {
      await context.close();
      rmSync(profile, { recursive: true, force: true });
    },
    tests: {
      async 'the demo shows the sample and steps through it as tessel view draws it'() {
        await onDemo({}, '', async (page) => {
          await pageLabel(page, 'page 1');
          const first = hostView(tessel, sample, 0, 816, 1056);
          assert.equal(comparePng(await shownPng(page), first), null, 'page 1');
          await page.click('#next');
          await pageLabel(page, 'page 2');
          assert.equal(comparePng(await shownPng(page), hostView(tessel, sample, 1, 816, 1056)), null, 'page 2');
          await page.click('#prev');
          await pageLabel(page, 'page 1');
          assert.equal(comparePng(await shownPng(page), first), null, 'page 1 again');
          // The view follows the element's size.
          await page.evaluate(() => {
            const control = document.querySelector('tessel-control');
            window.sized = new Promise((resolve) => control.addEventListener('tessel-view', (e) => {
              if (e.detail.width === 408) resolve();
            }));
            control.style.width = '408px';
            control.style.height = '528px';
          });
          await page.evaluate(() => window.sized);
          assert.equal(comparePng(await shownPng(page), hostView(tessel, sample, 0, 408, 528)), null, 'resized');
        });
      },

      async 'Print from the page writes every page into the pdf: printer of the bridge'() {
        const dir = tempDir('print');
        try {
          const pdf = join(dir, 'report.pdf');
          await onDemo({ after: ['--printer', `pdf:${pdf}`] }, '', async (page) => {
            await ready(page);
            await page.click('#print');
            await logged(page, 'Print: done');
          });
          assert.equal(pdfPages(pdf), samplePages());
        } finally {
          rmSync(dir, { recursive: true, force: true });
        }
      },

      async 'Sync from the page writes the pages and their directory into the simulator'() {
        const dir = tempDir('sync');
        try {
          const flash = join(dir, 'flash.bin');
          await onDemo({ after: ['--library', simulator], env: { TESSEL_SIM_FLASH: flash } }, '', async (page) => {
            await ready(page);
            await page.click('#sync');
            await logged(page, 'Sync: done');
          });
          // The same transfer as the command-line host's first one.
          const reference = join(dir, 'reference.bin');
          host(tessel, sample, ['sync', '--library', simulator], { TESSEL_SIM_FLASH: reference });
          assert.ok(flashDirectory(tesselFlash, flash) > 0);
          assert.equal(flashDirectory(tesselFlash, flash), flashDirectory(tesselFlash, reference));
          assert.ok(readFileSync(flash).equals(readFileSync(reference)), 'the flash contents differ');
        } finally {
          rmSync(dir, { recursive: true, force: true });
        }
      },

      async 'a document that cannot be downloaded shows the message as a dialog'() {
        const query = `?src=${encodeURIComponent('http://127.0.0.1:9/missing.html')}`;
        await onDemo({}, query, async (page) => {
          const shown = dialog(page);
          await shown.waitFor({ timeout: 15000 });
          assert.equal(await shown.locator('h2').textContent(), 'Error Downloading');
          assert.equal(await shown.locator('p').textContent(),
            'Error downloading information.  Click OK, then press the F5 key to try again.');
          assert.deepEqual(await shown.locator('button').allTextContents(), ['OK']);
          await shown.locator('button').click();
        });
      },

      async 'two pages side by side: one on a stalled document, the other works as usual'() {
        const stalled = await stalledServer();
        const bridge = await startBridge(tessel);
        const stuck = await context.newPage();
        const working = await context.newPage();
        const errors = [];
        for (const page of [stuck, working]) page.on('pageerror', (e) => errors.push(String(e)));
        try {
          await stuck.goto(`${bridge.base}/?src=${encodeURIComponent(stalled.url())}`);
          await until('the stalled download', () => stalled.connections() > 0);
          await working.goto(`${bridge.base}/`);
          await pageLabel(working, 'page 1');
          await working.click('#next');
          await pageLabel(working, 'page 2');
          assert.equal(comparePng(await shownPng(working), hostView(tessel, sample, 1, 816, 1056)), null, 'page 2');
          await working.click('#prev');
          await pageLabel(working, 'page 1');
          // The other page still waits for its document, and says so.
          assert.equal(await stuck.textContent('#page'), 'loading…');
          assert.ok(await stuck.isDisabled('#next'));
          assert.deepEqual(errors, []);
        } finally {
          await stuck.close();
          await working.close();
          const { code, ms } = await timedStop(bridge);
          await stalled.close();
          assert.equal(code, 0, bridge.stderr());
          assert.ok(ms < 2000, `the bridge took ${ms} ms to stop`);
        }
      },

      async 'a page whose control process died says so and opens it again'() {
        await onDemo({}, '', async (page, bridge) => {
          await ready(page);
          await page.click('#next');
          await pageLabel(page, 'page 2');
          for (const pid of childProcesses(bridge.proc.pid)) process.kill(pid, 'SIGKILL');
          await page.click('#next');
          await logged(page, 'open the session again');
          await page.click('#reopen');
          await pageLabel(page, 'page 1');
          assert.ok(await page.isHidden('#reopen'));
          await page.click('#next');
          await pageLabel(page, 'page 2');
        });
      },

      async 'the device search asks Retry or Cancel and waits for the answer'() {
        const dir = tempDir('unplugged');
        try {
          const env = { TESSEL_SIM_FLASH: join(dir, 'flash.bin'), TESSEL_SIM_UNPLUGGED: '1' };
          await onDemo({ after: ['--library', simulator], env }, '', async (page) => {
            await ready(page);
            await page.click('#sync');
            const shown = dialog(page);
            for (const answer of ['Retry', 'Cancel']) {
              await shown.waitFor({ timeout: 15000 });
              assert.equal(await shown.locator('h2').textContent(), 'ORV/Tessel');
              assert.equal(await shown.locator('p').textContent(), 'Unable to find Tessel.  Please make sure it is plugged in.');
              assert.deepEqual(await shown.locator('button').allTextContents(), ['Retry', 'Cancel']);
              await shown.locator('button', { hasText: answer }).click();
            }
            await logged(page, 'Sync: done');
            const boxes = await page.evaluate(() => document.getElementById('log').textContent);
            assert.equal(boxes.match(/Unable to find Tessel/g).length, 2, boxes);
          });
        } finally {
          rmSync(dir, { recursive: true, force: true });
        }
      },
    },
  };
}
