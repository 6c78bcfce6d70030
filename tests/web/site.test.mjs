// The site (build-web/site/) served on 127.0.0.1 in headless Chromium: installable, kept by
// its worker, playing with the network off, and replaced by a rebuilt site with nothing
// cleared by hand, on a host that serves clean URLs; two copies on one origin, each kept
// offline; a new release caught half-way on the host, not kept; and the page's answers to
// iPhone's audio rules, with stand-ins for what only an iPhone has. CTest runs it with TUNER_WEB_PAGE, TUNER_NOTE_CHECK and TUNER_DEMO as
// tuner.test.mjs, and:
//   TUNER_WEB_SITE     the built site
//   TUNER_SITE_WORKER  the build's step that names the site's release
//                      (web/site/site-worker.cmake), TUNER_SW its worker (web/site/sw.js),
//                      CMAKE the cmake that runs it
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { cpSync, mkdtempSync, readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { assertNote, credits } from './checks.mjs';
import * as drive from './driver.mjs';
import { host } from './host.mjs';
import { call, iPhoneAudio } from './iphone.mjs';

const env = process.env;
const work = mkdtempSync(join(tmpdir(), 'tuner-site-'));
let browser, site, origin;
before(async () => {
  browser = await drive.launch('chromium');
  site = await host(join(work, 'first'), { cleanUrls: true });
  origin = await host(join(work, 'origin'));
});
after(async () => { await browser?.close(); await site?.close(); await origin?.close(); });

// A release of the site in `dir`: the built site with `mark` in its page, its worker made
// again by the build's own step, as a new build would make it.
function release(dir, mark) {
  cpSync(env.TUNER_WEB_SITE, dir, { recursive: true });
  const page = join(dir, 'index.html');
  writeFileSync(page, readFileSync(page, 'utf8').replace('<head>', `<head>\n<!-- ${mark} -->`));
  execFileSync(env.CMAKE, [`-DSITE=${dir}`, `-DWORKER=${env.TUNER_SW}`, '-P', env.TUNER_SITE_WORKER]);
  return /const release = '([^']+)'/.exec(readFileSync(join(dir, 'sw.js'), 'utf8'))[1];
}
const cacheOf = (address, release) => `vessandrel-tuner ${address} ${release}`;
const pageCaches = (page) => page.evaluate(() => caches.keys().then((names) => names.sort()));
const marked = (page, mark) => page.evaluate((mark) => document.documentElement.innerHTML.includes(`<!-- ${mark} -->`), mark);
const controlled = (page) => page.waitForFunction(() => navigator.serviceWorker.controller !== null, { timeout: 20000 });
// Asks the browser to look for a new worker now: what the new one came to.
const update = (page) => page.evaluate(async () => {
  const registration = await navigator.serviceWorker.getRegistration();
  await registration.update();
  const worker = registration.installing;
  if (!worker) return 'no new worker';
  return new Promise((done) => {
    const ended = () => { if (worker.state === 'redundant' || worker.state === 'activated') done(worker.state); };
    worker.addEventListener('statechange', ended);
    ended();
  });
});

test('the site on a host of clean URLs: installable, kept by its worker, offline, and replaced by a new build', async () => {
  const first = release(site.root, 'first');
  const page = await browser.newPage();
  // The recorder's worklet is the test's, which the page's policy rightly refuses.
  await page.setBypassCSP(true);
  await page.setViewport({ width: 960, height: 720 });
  await page.evaluateOnNewDocument(drive.installTap);
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  await page.goto(site.address);
  await credits(page);

  const cdp = await page.createCDPSession();
  assert.deepEqual((await cdp.send('Page.getInstallabilityErrors')).installabilityErrors, [], 'installable');
  await controlled(page);
  assert.deepEqual(await pageCaches(page), [cacheOf(site.address, first)], 'the site kept in the cache named after it');
  await page.reload();
  await credits(page);
  assert.ok(await marked(page, 'first'), 'the page again, online, from the worker');

  // The network off: the page, the program and its notes come from the worker.
  await page.setOfflineMode(true);
  site.served = 0;
  await page.reload();
  await credits(page);
  assert.equal(site.served, 0, 'nothing reached the host');
  await page.goto(site.address + 'index.html');
  await credits(page);
  assert.equal(site.served, 0, 'nothing reached the host');
  await drive.press(page, 'Enter');
  await assertNote(page, 1, 64);
  await page.setOfflineMode(false);

  // A new build whose page changed, named as the build names it, on the same host.
  const second = join(work, 'second');
  const rebuilt = release(second, 'rebuilt');
  assert.notEqual(rebuilt, first, 'a new release name for a changed site');
  site.root = second;
  // The first reload is still the old page, from the old cache, and finds the new worker,
  // which keeps the new site; once it has deleted the old cache, the next reload is new.
  await page.reload();
  await page.waitForFunction((name) => caches.keys().then((names) => names.join() === name),
                             { timeout: 30000 }, cacheOf(site.address, rebuilt));
  if (!(await marked(page, 'rebuilt'))) await page.reload();
  assert.ok(await marked(page, 'rebuilt'), 'the new page within two reloads');
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

test('two copies of the site on one origin, in two folders: both offline once both are kept, and after either is updated', async () => {
  const a = join(origin.root, 'a'), b = join(origin.root, 'b');
  const releases = { a: release(a, 'a1'), b: release(b, 'b1') };
  const page = await browser.newPage();
  const visit = async (folder, mark) => {
    await page.goto(origin.address + folder + '/');
    await credits(page);
    assert.ok(await marked(page, mark), `${folder}'s page, ${mark}`);
  };
  const offline = async (marks) => {
    await page.setOfflineMode(true);
    origin.served = 0;
    for (const [folder, mark] of Object.entries(marks)) await visit(folder, mark);
    assert.equal(origin.served, 0, 'nothing reached the host');
    await page.setOfflineMode(false);
  };
  const kept = () => Object.entries(releases).map(([folder, name]) => cacheOf(`${origin.address}${folder}/`, name));

  await visit('a', 'a1');
  await controlled(page);
  await visit('b', 'b1');
  await controlled(page);
  assert.deepEqual(await pageCaches(page), kept(), 'a cache for each');
  await offline({ a: 'a1', b: 'b1' });

  // Then b, then a, updated: each new worker deletes its own old cache, and only it.
  for (const [folder, mark] of [['b', 'b2'], ['a', 'a2']]) {
    releases[folder] = release(join(origin.root, folder), mark);
    await visit(folder, `${folder}1`);
    await page.waitForFunction((names) => caches.keys().then((now) => now.sort().join() === names.join()),
                               { timeout: 30000 }, kept());
  }
  await offline({ a: 'a2', b: 'b2' });
  await page.close();
});

test('a new release whose program the host has cut short: not kept, the release before goes on offline, and the next visit keeps it whole', async () => {
  const c = join(origin.root, 'c');
  const before = release(c, 'c1');
  const page = await browser.newPage();
  await page.goto(origin.address + 'c/');
  await credits(page);
  await controlled(page);

  const after = release(c, 'c2');
  const program = join(c, readdirSync(c).find((f) => f.endsWith('.wasm')));
  const whole = readFileSync(program);
  writeFileSync(program, whole.subarray(0, whole.length >> 1));
  assert.equal(await update(page), 'redundant', 'the new worker gave up');
  const caches = async () => (await pageCaches(page)).filter((name) => name.startsWith(cacheOf(origin.address + 'c/', '')));
  assert.deepEqual(await caches(), [cacheOf(origin.address + 'c/', before)], 'the release before, alone');

  await page.setOfflineMode(true);
  await page.reload();
  await credits(page);
  assert.ok(await marked(page, 'c1'), 'the release before');
  await drive.press(page, 'Enter');
  await page.waitForFunction(() => /^String 1 of 6/.test(document.getElementById('string-state').textContent),
                             { timeout: 10000 });
  await page.setOfflineMode(false);

  // The upload finished: the next visit keeps the new release, whole.
  writeFileSync(program, whole);
  assert.equal(await update(page), 'activated');
  assert.deepEqual(await caches(), [cacheOf(origin.address + 'c/', after)], 'the new release, alone');
  await page.setOfflineMode(true);
  await page.reload();
  await credits(page);
  assert.ok(await marked(page, 'c2'), 'the new release, offline');
  await page.close();
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

  await drive.tap(page, 'Play');
  await call(page);
  assert.match(await drive.pageText(page, 'sound'), /^Sound is off until you tap a string’s button or the picture/);
  assert.equal(await drive.pageText(page, 'string-state'), 'String 1 of 6: E4, 329.63 Hz, held silent by the browser');
  // A note that starts as the sound resumes is cut at its start now and then by the
  // recorder, which restarts with the sound: the tap resumes, and a note played after it
  // is measured whole, as in WebKit.
  await drive.tap(page, '◀ String');
  await drive.soundRunning(page);
  assert.equal(await drive.pageText(page, 'sound'), '', 'the notice gone');
  await assertNote(page, 2, 64, () => drive.tap(page, 'Play'));
  assert.deepEqual(page.errors, [], 'no page errors');
});
