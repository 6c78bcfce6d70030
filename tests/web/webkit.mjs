// The tuner's page in WebKit, Safari's engine: Debian's WebKitGTK, its MiniBrowser driven
// through WebKitWebDriver by selenium-webdriver. The page it opens answers the calls that
// driver.mjs makes of a puppeteer page (evaluate, and the keyboard and a mouse's click,
// through WebDriver's actions), so that the same helpers drive it and checks.mjs's checks
// hold it.
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { Builder, Key } from 'selenium-webdriver';
import { findFreePort } from 'selenium-webdriver/net/portprober.js';
import { DriverService } from 'selenium-webdriver/remote/index.js';
import { installTap, scratchFolder } from './driver.mjs';

const minibrowser = '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';

export async function launch() {
  const port = await findFreePort();
  // The browser's own complaints reach the test's output: a web process that dies says so
  // there ("WebProcess CRASHED"), where the driver only answers the next call with an error.
  const service = new DriverService('/usr/bin/WebKitWebDriver', {
    port, args: [`--port=${port}`], loopback: true, stdio: ['ignore', 'ignore', 'inherit']
  });
  const driver = await new Builder().usingServer(await service.start()).withCapabilities({
    browserName: 'MiniBrowser',
    'webkitgtk:browserOptions': { binary: minibrowser, args: ['--automation'] }
  }).build();
  await driver.manage().setTimeouts({ script: 120000 });
  await driver.manage().window().setRect({ x: 0, y: 0, width: 960, height: 720 });
  return { driver, close: async () => { await driver.quit(); await service.kill(); } };
}

// The tuner's keys as WebDriver names them. Its Return (not its keypad's Enter) is the key
// the page knows as Enter.
const keys = {
  Enter: Key.RETURN, Tab: Key.TAB, ControlLeft: Key.CONTROL, ArrowLeft: Key.ARROW_LEFT,
  ArrowRight: Key.ARROW_RIGHT, ArrowUp: Key.ARROW_UP, ArrowDown: Key.ARROW_DOWN, KeyA: 'a'
};

// Opens a copy of `file` from disk with driver.mjs's recorder put in before the page's own
// scripts (WebDriver has no script to run before a page's), and the functions `extra`;
// it keeps too every error that reached it. The copy has no policy: the page's own would
// refuse these scripts and the recorder's worklet (policy.test.mjs runs the page under it).
export async function open(browser, file, extra = []) {
  const copy = join(scratchFolder('tuner-webkit-'), 'page.html');
  const before = `<script>
window.pageErrors = [];
addEventListener('error', (e) => window.pageErrors.push(e.message));
addEventListener('unhandledrejection', (e) => window.pageErrors.push(String(e.reason)));
(${installTap})();
${extra.map((f) => `(${f})();`).join('\n')}
</script>`;
  const page = readFileSync(file, 'utf8').replace(/<meta http-equiv="Content-Security-Policy" [^>]*>/, '');
  writeFileSync(copy, page.replace('<head>', '<head>\n' + before));
  return visit(browser, 'file://' + copy);
}

// Opens `url`, for the calls that driver.mjs makes of a puppeteer page.
export async function visit({ driver }, url) {
  await driver.get(url);
  const page = {
    driver,
    // fn(...args) run in the page, as puppeteer's evaluate runs it, its promise awaited.
    evaluate: async (fn, ...args) => {
      const r = await driver.executeAsyncScript(`const done = arguments[arguments.length - 1];
        const args = Array.prototype.slice.call(arguments, 0, -1);
        Promise.resolve().then(() => (${fn}).apply(null, args))
          .then((v) => done({ v: v === undefined ? null : v }), (e) => done({ e: String(e && e.stack || e) }));`, ...args);
      if (r.e) throw new Error(r.e);
      return r.v;
    },
    keyboard: {
      down: (key) => driver.actions().keyDown(keys[key]).perform(),
      up: (key) => driver.actions().keyUp(keys[key]).perform()
    },
    mouse: {
      click: (x, y) => driver.actions().move({ x: Math.round(x), y: Math.round(y) }).press().release().perform()
    },
    errors: () => driver.executeScript('return window.pageErrors'),
    waitFor: async (fn, what, seconds = 10) => {
      for (const end = Date.now() + seconds * 1000; Date.now() < end;) {
        if (await page.evaluate(fn)) return;
        await new Promise((r) => setTimeout(r, 100));
      }
      throw new Error(`WebKit: no ${what} in ${seconds} s`);
    }
  };
  return page;
}
