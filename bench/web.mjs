// Figures of the browser build in headless Chromium, not tests: nothing here fails on a
// slow machine.
//
//   node bench/web.mjs PAGE [SITE [BEFORE_PAGE BEFORE_SITE]]
//
// The page's size, raw and gzipped; from opening the page to the credits on the canvas;
// the time a pass takes in the browser, out of the frame it runs in; and from a key to the
// note's first sample in the page's audio graph. Each also with Chromium slowing the
// processor four times, as a slow phone would. From a finger's touch-down (a tap held
// 80 ms) to the note's first sample, for each string 0 to 5 away from string 1, by a tap
// on the picture and by a string button (a button of the bench's own that calls
// Module.playString on touch-down, as the page's will), as it is and slowed six times.
// With SITE (build-web/site), the site's size, and served on 127.0.0.1: a first visit to
// the credits, a second visit answered by its worker, and a reload with the network off.
// With BEFORE_PAGE and BEFORE_SITE (another build's), each figure of theirs too, measured
// in the same run, one beside the other.
import { readdirSync, readFileSync } from 'node:fs';
import { join } from 'node:path';
import { gzipSync } from 'node:zlib';
import * as drive from '../tests/web/driver.mjs';
import { host } from '../tests/web/host.mjs';

const [file, siteDir, beforeFile, beforeSiteDir] = process.argv.slice(2);
const builds = [{ name: 'this build', file, siteDir }];
if (beforeFile) builds.push({ name: 'before', file: beforeFile, siteDir: beforeSiteDir });
const size = (bytes) => `${(bytes.length / 1024).toFixed(0)} KiB, ${(gzipSync(bytes, { level: 9 }).length / 1024).toFixed(0)} KiB gzipped`;
for (const b of builds) {
  console.log(`The page (${b.name}): ${size(readFileSync(b.file))}`);
  if (b.siteDir) {
    const files = readdirSync(b.siteDir);
    console.log(`The site (${b.name}), ${files.length} files: ${size(Buffer.concat(files.map((f) => readFileSync(join(b.siteDir, f)))))}`);
  }
}

// Before the page's scripts: how long each frame's callbacks run (the tuner's pass is one
// of them), and, on a tap of 256-sample buffers before the speakers, when the first sound
// entered the graph, in the audio clock, against when the last key or finger went down.
function instrument() {
  window.bench = { passes: [], keyAt: 0, soundAt: 0 };
  const raf = window.requestAnimationFrame.bind(window);
  window.requestAnimationFrame = (f) => raf((t) => {
    const t0 = performance.now();
    f(t);
    window.bench.passes.push(performance.now() - t0);
  });
  const connect = AudioNode.prototype.connect;
  AudioNode.prototype.connect = function (target, ...rest) {
    if (!(target instanceof AudioDestinationNode)) return connect.call(this, target, ...rest);
    const context = target.context, tap = context.createScriptProcessor(256, 1, 1);
    const asked = () => { window.bench.keyAt = context.currentTime; window.bench.soundAt = 0; };
    addEventListener('keydown', asked, true);
    addEventListener('pointerdown', asked, true);
    tap.onaudioprocess = (e) => {
      const x = e.inputBuffer.getChannelData(0);
      const i = x.findIndex((v) => v !== 0);
      // The input of a buffer played at playbackTime entered the graph one buffer earlier.
      if (i >= 0 && !window.bench.soundAt) window.bench.soundAt = e.playbackTime - 256 / context.sampleRate + i / context.sampleRate;
    };
    connect.call(this, tap);
    connect.call(tap, target);
    return connect.call(this, target, ...rest);
  };
}

const spread = (xs) => {
  const s = [...xs].sort((a, b) => a - b), at = (q) => s[Math.min(s.length - 1, Math.floor(q * s.length))];
  return `median ${at(0.5).toFixed(2)}, 90 % ${at(0.9).toFixed(2)}, most ${s[s.length - 1].toFixed(2)}`;
};

// A string's place on the picture, and the bench's string button, in the page's pixels.
const places = (page) => page.evaluate(() => {
  const r = document.getElementById('screen').getBoundingClientRect();
  const button = document.createElement('div');
  button.style.cssText = 'position: fixed; left: 0; bottom: 0; width: 96px; height: 64px; touch-action: none';
  button.addEventListener('pointerdown', () => Module.playString(window.benchString));
  document.body.append(button);
  return {
    picture: [1, 2, 3, 4, 5, 6].map((s) => [r.x + (60 + 40 * (6 - s) + 4) * r.width / 320, r.y + r.height / 2]),
    button: [48, innerHeight - 32]
  };
});

const browser = await drive.launch('chromium');
const slowed = (slowdown) => (slowdown === 1 ? 'as it is' : `slowed ${slowdown} times`);
for (const slowdown of [1, 4, 6]) {
  for (const b of builds) {
    const opened = [], passes = [], notes = [], taps = { picture: [], button: [] };
    for (let run = 0; run < 3; run++) {
      const page = await browser.newPage();
      await page.setViewport({ width: 960, height: 720, hasTouch: true });
      const cdp = await page.createCDPSession();
      if (slowdown > 1) await cdp.send('Emulation.setCPUThrottlingRate', { rate: slowdown });
      await page.evaluateOnNewDocument(instrument);
      const t0 = Date.now();
      await page.goto('file://' + b.file);
      await page.waitForFunction(() => {
        const d = document.getElementById('screen').getContext('2d').getImageData(0, 91, 320, 1).data;
        return d.some((v, i) => i % 4 !== 3 && v > 0);
      }, { polling: 'raf', timeout: 60000 });
      opened.push(Date.now() - t0);
      await drive.press(page, 'Enter');
      if (slowdown !== 6) {
        // Only the tuner asks for frames meanwhile, so every callback timed is a pass.
        await page.evaluate(() => { window.bench.passes = []; });
        await new Promise((done) => setTimeout(done, 4000));
        passes.push(...await page.evaluate(() => window.bench.passes));
        // Each of three notes played for the first time, then the first again.
        for (const key of ['ControlLeft', 'ArrowLeft', 'ControlLeft', 'ArrowLeft', 'ControlLeft', 'ArrowRight',
                           'ArrowRight', 'ControlLeft']) {
          await drive.press(page, key);
          if (key !== 'ControlLeft') continue;
          await page.waitForFunction(() => window.bench.soundAt > 0, { timeout: 10000 });
          notes.push(await page.evaluate(() => (window.bench.soundAt - window.bench.keyAt) * 1000));
        }
      }
      // From string 1, each string in turn, by the picture and by the button, each after
      // Left and Right have stopped the note that played. Each note is played once first,
      // so that none waits for the rest of its decoding, which a slowed processor has not
      // finished by the end of the title.
      if (slowdown !== 4) {
        const at = await places(page);
        for (let s = 1; s <= 6; s++) {
          await page.evaluate((s) => Module.playString(s), s);
          await drive.passes(page, 20);
        }
        for (const by of ['picture', 'button']) {
          for (let s = 1; s <= 6; s++) {
            await drive.press(page, 'ArrowLeft');
            await drive.press(page, 'ArrowRight');
            await drive.passes(page, 10);
            await page.evaluate((s) => { window.benchString = s; }, s);
            const [x, y] = by === 'picture' ? at.picture[s - 1] : at.button;
            await cdp.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [{ x, y }] });
            await new Promise((done) => setTimeout(done, 80));
            await cdp.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
            await page.waitForFunction(() => window.bench.soundAt > 0, { timeout: 10000 });
            taps[by][s - 1] = (taps[by][s - 1] || []).concat(
              await page.evaluate(() => (window.bench.soundAt - window.bench.keyAt) * 1000));
          }
        }
      }
      await page.close();
    }
    console.log(`Chromium, processor ${slowed(slowdown)}, ${b.name}:`);
    console.log(`  opening the page to the credits on the canvas, ms: ${opened.join(', ')}`);
    if (passes.length) console.log(`  one pass, ms of its frame (${passes.length} passes): ${spread(passes)}`);
    if (notes.length) console.log(`  a key to the note's first sample in the audio graph, ms: ${spread(notes)} (${notes.map((n) => n.toFixed(0)).join(', ')})`);
    for (const by of ['picture', 'button']) {
      if (!taps[by].length) continue;
      console.log(`  touch-down on the ${by === 'picture' ? 'picture' : 'string button'} to the note's first sample, ms: ${spread(taps[by].flat())}`);
      console.log(`    each string's, from string 1 (0 to 5 away: 0, 1, 2, 3, 2, 1 Lefts or Rights, and Left Ctrl): ` +
                  taps[by].map((t, i) => `${i + 1}: ${t.map((n) => n.toFixed(0)).join(' ')}`).join('; '));
    }
  }
}

// Until the title is on the canvas, from `start`.
const titleShown = async (page, start) => {
  await page.waitForFunction(() => {
    const d = document.getElementById('screen').getContext('2d').getImageData(0, 91, 320, 1).data;
    return d.some((v, i) => i % 4 !== 3 && v > 0);
  }, { polling: 'raf', timeout: 60000 });
  return Date.now() - start;
};

// Each run in a browser context of its own, as a first visitor's: nothing kept from before.
for (const slowdown of [1, 4]) {
  for (const b of builds.filter((b) => b.siteDir)) {
    const site = await host(b.siteDir);
    const first = [], second = [], offline = [], hits = [];
    for (let run = 0; run < 3; run++) {
      const context = await browser.createBrowserContext();
      const visit = async () => {
        const page = await context.newPage();
        await page.setViewport({ width: 960, height: 720 });
        if (slowdown > 1) await (await page.createCDPSession()).send('Emulation.setCPUThrottlingRate', { rate: slowdown });
        return page;
      };
      let page = await visit();
      let t0 = Date.now();
      await page.goto(site.address);
      first.push(await titleShown(page, t0));
      await page.waitForFunction(() => navigator.serviceWorker.controller !== null, { timeout: 60000 });
      await page.close();
      page = await visit();
      site.served = 0;
      t0 = Date.now();
      await page.goto(site.address);
      second.push(await titleShown(page, t0));
      hits.push(site.served);
      await page.setOfflineMode(true);
      t0 = Date.now();
      await page.reload();
      offline.push(await titleShown(page, t0));
      await context.close();
    }
    console.log(`The site on 127.0.0.1, Chromium, processor ${slowed(slowdown)}, ${b.name}:`);
    console.log(`  a first visit to the credits on the canvas, ms: ${first.join(', ')}`);
    console.log(`  a second visit, answered by the worker, ms: ${second.join(', ')} (requests reaching the host: ${hits.join(', ')})`);
    console.log(`  a reload with the network off, ms: ${offline.join(', ')}`);
    await site.close();
  }
}
await browser.close();
