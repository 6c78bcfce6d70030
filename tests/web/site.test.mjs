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
import { chmodSync, cpSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { gzipSync } from 'node:zlib';
import { assertNote, credits } from './checks.mjs';
import * as drive from './driver.mjs';
import { host, nginx } from './host.mjs';
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
// Until `name` is the only cache of its copy, and holds every file of it.
const kept = (page, name) => page.waitForFunction(async (name, files) => {
  const copy = name.slice(0, name.lastIndexOf(' ') + 1);
  const names = (await caches.keys()).filter((n) => n.startsWith(copy));
  // The site's files, and the page again at its folder's address, but the worker and _headers.
  return names.join() === name && (await (await caches.open(name)).keys()).length === files - 1;
}, { timeout: 30000 }, name, readdirSync(env.TUNER_WEB_SITE).length);
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

test('a new release whose page the host has cut short: not kept, the release before goes on offline, and the next visit keeps it whole', async () => {
  const c = join(origin.root, 'c');
  const before = release(c, 'c1');
  const page = await browser.newPage();
  await page.goto(origin.address + 'c/');
  await credits(page);
  await controlled(page);

  const after = release(c, 'c2');
  const cut = join(c, 'index.html');
  const whole = readFileSync(cut);
  writeFileSync(cut, whole.subarray(0, whole.length >> 1));
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
  writeFileSync(cut, whole);
  assert.equal(await update(page), 'activated');
  assert.deepEqual(await caches(), [cacheOf(origin.address + 'c/', after)], 'the new release, alone');
  await page.setOfflineMode(true);
  await page.reload();
  await credits(page);
  assert.ok(await marked(page, 'c2'), 'the new release, offline');
  await page.close();
});

// The site at the root of a host that refuses a folder's address, as object stores do,
// beside a page of a neighbour's showing a picture from another origin.
test('at the root of a host without folder index: kept, each file once, healed, and its neighbour left alone', async () => {
  const root = await host(join(work, 'root'), { folderIndex: false });
  release(root.root, 'r1');
  mkdirSync(join(root.root, 'blog'));
  writeFileSync(join(root.root, 'blog', 'index.html'), `<!DOCTYPE html><title>Blog</title><img src="${origin.address}picture.png">`);
  cpSync(join(root.root, 'icon-192.png'), join(origin.root, 'picture.png'));
  const program = '/' + readdirSync(root.root).find((f) => f.endsWith('.wasm'));
  const size = gzipSync(readFileSync(join(root.root, program))).length; // as the host sends it
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  await page.goto(root.address + 'index.html');
  await credits(page);
  await controlled(page);
  const moved = root.bytes[program];
  assert.ok(moved <= 1.05 * size, `the program moved once on a first visit: ${moved} B of ${size}`);

  const neighbour = await page.goto(root.address + 'blog/index.html');
  assert.equal(neighbour.headers()['content-security-policy'], undefined, 'no policy of the tuner\'s on its neighbour');
  assert.ok(await page.$eval('img', (img) => img.complete && img.naturalWidth > 0), 'the neighbour\'s picture');

  // A one-word update that keeps the program: none of it comes down again.
  const second = release(root.root, 'r2');
  await page.goto(root.address + 'index.html');
  await kept(page, cacheOf(root.address, second));
  assert.equal(root.bytes[program], moved, 'the program not moved by an update that keeps it');

  // Another app of the origin clears every cache: the next online visit keeps the site again.
  await page.evaluate(() => caches.keys().then((names) => Promise.all(names.map((name) => caches.delete(name)))));
  await page.reload();
  await kept(page, cacheOf(root.address, second));
  await root.close(); // offline, for the worker's fetches too
  await page.goto(root.address + 'index.html');
  await credits(page);
  assert.ok(await marked(page, 'r2'), 'the site healed, offline');
  await context.close();
});

test('a host that alters the page: the tuner plays, says once why it will not work offline, and does not try again at once', async () => {
  const d = join(origin.root, 'd');
  release(d, 'd1');
  const page = join(d, 'index.html');
  writeFileSync(page, readFileSync(page, 'utf8').replace('</body>', '<script>/* the host\'s */</script></body>'));
  const context = await browser.createBrowserContext();
  const visitor = await context.newPage();
  const said = () => visitor.waitForSelector('#offline', { timeout: 30000 }).then((line) => line.evaluate((p) => p.textContent));
  await visitor.goto(origin.address + 'd/');
  await credits(visitor);
  assert.equal(await said(), 'The tuner plays, but will not work offline from this host (files altered).');
  origin.asked = [];
  await visitor.reload();
  await credits(visitor);
  assert.equal(await said(), 'The tuner plays, but will not work offline from this host (files altered).');
  assert.equal(await visitor.$$eval('#notes p', (lines) => lines.filter((p) => /offline/.test(p.textContent)).length), 1, 'said once');
  assert.ok(!origin.asked.includes('/d/index.html'), 'no new attempt at the next visit');
  await context.close();
});

test('on Debian\'s nginx with the guide\'s configuration: installable, playing offline, each header once', async () => {
  const folder = join(work, 'nginx', 'tuner');
  release(folder, 'n1');
  chmodSync(work, 0o755);
  const server = await nginx(join(work, 'nginx'), readFileSync(new URL('../../web/site/nginx.conf', import.meta.url), 'utf8'));
  const address = server.address + 'tuner/';
  const page = await browser.newPage(); // installable: no incognito context, but a new origin
  await page.setBypassCSP(true);
  await page.evaluateOnNewDocument(drive.installTap);
  assert.equal((await page.goto(address)).headers()['content-security-policy'], "frame-ancestors 'none'");
  await credits(page);
  const cdp = await page.createCDPSession();
  assert.deepEqual((await cdp.send('Page.getInstallabilityErrors')).installabilityErrors, [], 'installable');
  await controlled(page);
  // The program's headers each once, its type for compiling it as it downloads.
  const program = readdirSync(folder).find((f) => f.endsWith('.wasm'));
  const headers = (await fetch(address + program, { method: 'HEAD' })).headers;
  assert.deepEqual(['content-type', 'cache-control', 'x-content-type-options', 'content-encoding'].map((h) => headers.get(h)),
                   ['application/wasm', 'public, max-age=31536000, immutable', 'nosniff', 'gzip']);
  await server.close(); // offline, for the worker's fetches too
  await page.reload();
  await credits(page);
  await drive.press(page, 'Enter');
  await assertNote(page, 1, 64);
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
