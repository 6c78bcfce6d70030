// The site (build-web/site/) served on 127.0.0.1 in headless Chromium: installable, kept by
// its worker, playing with the network off, and replaced by a rebuilt site with nothing
// cleared by hand; and the page's answers to iPhone's audio rules, with stand-ins for what
// only an iPhone has. CTest runs it with TUNER_WEB_PAGE, TUNER_NOTE_CHECK and TUNER_DEMO as
// tuner.test.mjs, and:
//   TUNER_WEB_SITE     the built site
//   TUNER_SITE_WORKER  the build's step that names the site's cache (web/site-worker.cmake),
//                      TUNER_SW its worker (web/sw.js), CMAKE the cmake that runs it
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { cpSync, mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { assertNote, credits } from './checks.mjs';
import * as drive from './driver.mjs';
import { host } from './host.mjs';
import { call, iPhoneAudio } from './iphone.mjs';

const env = process.env;
const work = mkdtempSync(join(tmpdir(), 'tuner-site-'));
let browser, site;
before(async () => {
  browser = await drive.launch('chromium');
  site = await host(join(work, 'first'));
});
after(async () => { await browser?.close(); await site?.close(); });

const cacheName = (site) => /const cacheName = '([^']+)'/.exec(readFileSync(join(site, 'sw.js'), 'utf8'))[1];
const pageCaches = (page) => page.evaluate(() => caches.keys());

test('the site: installable, kept by its worker, offline, and replaced by a new build', async () => {
  cpSync(env.TUNER_WEB_SITE, site.root, { recursive: true });
  const page = await browser.newPage();
  await page.setViewport({ width: 960, height: 720 });
  await page.evaluateOnNewDocument(drive.installTap);
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  await page.goto(site.address);
  await credits(page);

  const cdp = await page.createCDPSession();
  assert.deepEqual((await cdp.send('Page.getInstallabilityErrors')).installabilityErrors, [], 'installable');
  await page.waitForFunction(() => navigator.serviceWorker.controller !== null, { timeout: 20000 });
  assert.deepEqual(await pageCaches(page), [cacheName(site.root)], 'the site kept in the cache named after it');

  // The network off: the page, the program and its notes come from the worker.
  await page.setOfflineMode(true);
  site.served = 0;
  await page.reload();
  await credits(page);
  assert.equal(site.served, 0, 'nothing reached the host');
  await drive.press(page, 'Enter');
  await assertNote(page, 1, 64);
  await page.setOfflineMode(false);

  // A new build whose page changed, named as the build names it, on the same host.
  const second = join(work, 'second');
  cpSync(site.root, second, { recursive: true });
  const changed = readFileSync(join(second, 'index.html'), 'utf8').replace('<head>', '<head>\n<!-- rebuilt -->');
  writeFileSync(join(second, 'index.html'), changed);
  execFileSync(env.CMAKE, [`-DSITE=${second}`, `-DWORKER=${env.TUNER_SW}`, '-P', env.TUNER_SITE_WORKER]);
  assert.notEqual(cacheName(second), cacheName(site.root), 'a new cache name for a changed site');
  site.root = second;
  // The first reload is still the old page, from the old cache, and finds the new worker,
  // which keeps the new site; once it has deleted the old cache, the next reload is new.
  const isNew = () => page.evaluate(() => document.documentElement.innerHTML.includes('<!-- rebuilt -->'));
  await page.reload();
  await page.waitForFunction((name) => caches.keys().then((names) => names.join() === name),
                             { timeout: 30000 }, cacheName(second));
  if (!(await isNew())) await page.reload();
  assert.ok(await isNew(), 'the new page within two reloads');
  await credits(page);
  assert.deepEqual(errors, [], 'no page errors');

  // Opened from disk, the site registers no worker, and as the browser refuses to fetch its
  // program there, says that the tuner could not start (the one page is for disk).
  const file = await drive.open(browser, join(second, 'index.html'));
  await file.waitForFunction(() => !document.getElementById('stopped').hidden, { timeout: 30000 });
  assert.match(await drive.pageText(file, 'output'), /^Error: /);
  assert.equal(await drive.pageText(file, 'why'), 'The tuner could not start, and has stopped.');
  assert.equal(await file.evaluate(() => navigator.serviceWorker?.getRegistrations().then((r) => r.length, () => 0) ?? 0), 0);
});

test('the site in the browser\'s language: the home screen\'s title and the manifest', async () => {
  cpSync(env.TUNER_WEB_SITE, site.root, { recursive: true });
  const page = await browser.newPage();
  const cdp = await page.createCDPSession();
  await cdp.send('Emulation.setUserAgentOverride', { userAgent: await browser.userAgent(), acceptLanguage: 'ja-JP,ja' });
  await page.goto(site.address);
  await credits(page);
  assert.equal(await page.$eval('meta[name="apple-mobile-web-app-title"]', (m) => m.content), 'チューナー');
  const { url, data } = await cdp.send('Page.getAppManifest');
  assert.match(url, /\/manifest-ja\.webmanifest$/);
  const manifest = JSON.parse(data);
  assert.deepEqual([manifest.lang, manifest.name, manifest.short_name], ['ja', 'Vessandrel ギターチューナー', 'チューナー']);
  assert.deepEqual((await cdp.send('Page.getInstallabilityErrors')).installabilityErrors, [], 'installable');
  await page.close();
});

test('the audio session: playback before the first sound, and an interrupted sound resumed by a tap', async () => {
  const page = await drive.open(browser, env.TUNER_WEB_PAGE,
    { width: 360, height: 640, deviceScaleFactor: 3, isMobile: true, hasTouch: true });
  await page.evaluateOnNewDocument(iPhoneAudio);
  await page.reload();
  await credits(page);
  await drive.tap(page, 'Skip title');
  await drive.soundRunning(page);
  const session = await page.evaluate(() => window.session);
  assert.equal(session.typeAtStart, 'playback', 'the session\'s type when the sound was made');
  if (session.resumes > 0) assert.equal(session.typeAtFirstResume, 'playback', 'and when it was first resumed');

  await call(page);
  assert.match(await drive.pageText(page, 'sound'), /^Sound is off until you press a key or tap a button/);
  // A note that starts as the sound resumes is cut at its start now and then by the
  // recorder, which restarts with the sound: the tap resumes, and a note played after it
  // is measured whole, as in WebKit.
  await drive.tap(page, '◀ String');
  await drive.soundRunning(page);
  assert.equal(await drive.pageText(page, 'sound'), '', 'the notice gone');
  await assertNote(page, 2, 64, () => drive.tap(page, 'Play'));
  assert.deepEqual(page.errors, [], 'no page errors');
});
