// Both pages under their policies, in Chromium, Firefox or WebKit (TUNER_BROWSER): the page
// opened from disk, and the site served on 127.0.0.1, kept by its worker and opened again
// from it. Each runs (the title, the tuner, its sound) with no violation reported and no
// error, and a script the page does not name is refused, and reported. A watcher of the
// browser's reports goes into a copy of each page before its scripts, with its hash added
// to the policy and, for the site, the worker's digests made again: nothing else changes.
// CTest runs it with TUNER_WEB_PAGE, TUNER_WEB_SITE, TUNER_SITE_WORKER, TUNER_SW and CMAKE,
// as site.test.mjs.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { cpSync, mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { credits } from './checks.mjs';
import * as drive from './driver.mjs';
import { host } from './host.mjs';
import * as webkit from './webkit.mjs';

const env = process.env;
const browserName = env.TUNER_BROWSER;
const work = mkdtempSync(join(tmpdir(), 'tuner-policy-'));
let browser, site;
before(async () => {
  browser = await (browserName === 'webkit' ? webkit.launch() : drive.launch(browserName));
  site = await host(join(work, 'site'));
});
after(async () => { await browser?.close(); await site?.close(); });

const watcher = `window.violations = [];
window.pageErrors = [];
addEventListener('securitypolicyviolation', (e) => window.violations.push(e.effectiveDirective + ' ' + e.blockedURI));
addEventListener('error', (e) => window.pageErrors.push(e.message));
addEventListener('unhandledrejection', (e) => window.pageErrors.push(String(e.reason)));
`;
function watch(file) {
  const page = readFileSync(file, 'utf8');
  const hash = createHash('sha256').update(watcher).digest('base64');
  const watched = page.replace(/(<meta http-equiv="Content-Security-Policy" content="[^"]*script-src)([^"]*">)/,
                               `$1 'sha256-${hash}'$2\n<script>${watcher}</script>`);
  assert.notEqual(watched, page, 'a policy that names its scripts');
  writeFileSync(file, watched);
}

async function visit(url) {
  if (browserName === 'webkit') return webkit.visit(browser, url);
  const page = await browser.newPage();
  await page.setViewport({ width: 960, height: 720 });
  await page.goto(url);
  return page;
}

async function until(page, fn, what) {
  for (const end = Date.now() + 20000; Date.now() < end;) {
    if (await page.evaluate(fn)) return;
    await new Promise((r) => setTimeout(r, 100));
  }
  throw new Error(`no ${what} in 20 s`);
}

// The tuner past its title, its sound made by a note, and nothing refused.
async function runs(page) {
  await credits(page);
  // Firefox's driver sends the keypad's Enter for Return: the page's button skips instead.
  if (browserName === 'firefox') await drive.tap(page, 'Skip title', true);
  else await drive.press(page, 'Enter');
  await until(page, () => /^String 1 of 6/.test(document.getElementById('string-state').textContent), 'tuner');
  await drive.press(page, 'ControlLeft');
  await until(page, () => document.getElementById('sound').hidden, 'sound');
  await drive.passes(page, 30);
  assert.deepEqual(await page.evaluate(() => window.violations), [], 'no violation');
  assert.deepEqual(await page.evaluate(() => window.pageErrors), [], 'no page errors');
  assert.equal(await drive.pageText(page, 'output'), '', 'nothing printed');
}

async function refuses(page) {
  assert.equal(await page.evaluate(() => {
    const script = document.createElement('script');
    script.textContent = 'window.ran = true;';
    document.head.append(script);
    return new Promise((done) => setTimeout(() => done(window.ran === true), 100));
  }), false, 'a script the page does not name, refused');
  await until(page, () => window.violations.length > 0, 'report');
  const [violation, ...more] = await page.evaluate(() => window.violations);
  assert.match(violation, /^script-src(-elem)? inline$/);
  assert.deepEqual(more, []);
}

test(`${browserName}: the page from disk, under its policy`, async () => {
  const file = join(work, 'vessandrel-tuner.html');
  cpSync(env.TUNER_WEB_PAGE, file);
  watch(file);
  const page = await visit('file://' + file);
  await runs(page);
  await refuses(page);
  if (page.close) await page.close();
});

test(`${browserName}: the site, under its policy, from the host and from its worker`, async () => {
  cpSync(env.TUNER_WEB_SITE, site.root, { recursive: true });
  watch(join(site.root, 'index.html'));
  execFileSync(env.CMAKE, [`-DSITE=${site.root}`, `-DWORKER=${env.TUNER_SW}`, '-P', env.TUNER_SITE_WORKER]);
  const page = await visit(site.address);
  await runs(page);
  // WebKitGTK may have no workers: the page registers none there.
  if (await page.evaluate(() => 'serviceWorker' in navigator)) {
    await until(page, () => navigator.serviceWorker.controller !== null, 'worker');
    await (page.reload ? page.reload() : page.driver.navigate().refresh());
    await runs(page);
    assert.ok(await page.evaluate(() => navigator.serviceWorker.controller !== null), 'the page from the worker');
  }
  await refuses(page);
  if (page.close) await page.close();
});
