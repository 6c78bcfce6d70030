// Driving the tuner's page in a real browser: opening the built file from disk with the
// network cut, reading the canvas back, holding keys and buttons for whole passes, and
// catching the sound the page hands to its speakers.
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, join } from 'node:path';
import { PNG } from 'pngjs';
import puppeteer from 'puppeteer-core';

const browsers = {
  chromium: {
    browser: 'chrome', executablePath: '/usr/bin/chromium',
    // Without these Chromium tries to reach Google's hosts at every start. The autoplay
    // rule is set, as a browser's default rule may let a page's sound start by itself.
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
           '--disable-sync', '--no-first-run', '--disable-quic', '--autoplay-policy=document-user-activation-required',
           // The page speaks the browser's language: English, whatever this machine's is.
           '--lang=en-US']
  },
  firefox: { browser: 'firefox', executablePath: '/usr/bin/firefox-esr' }
};

// Firefox's languages are its profile's, set at launch: `languages` as Accept-Language has them.
export async function launch(name, languages = 'en-US, en') {
  return puppeteer.launch({ headless: true, ...browsers[name], extraPrefsFirefox: { 'intl.accept_languages': languages } });
}

// A folder in /tmp for a test's copies of a page, removed when the test's process ends, so
// that runs do not fill /tmp: a page may be reloaded from its copy until then.
const scratch = [];
process.on('exit', () => { for (const dir of scratch) rmSync(dir, { recursive: true, force: true }); });
export function scratchFolder(prefix) {
  scratch.push(mkdtempSync(join(tmpdir(), prefix)));
  return scratch[scratch.length - 1];
}

// Samples the recorder may hold back before the page sees them: one of its batches.
export const tapLatency = 4096;

// Installed before the page's own scripts: every node the page connects to its speakers
// goes through a recorder first, which passes the sound on unchanged. The recorder runs on
// the audio thread (an AudioWorklet) and posts what it heard, stamped with the context's
// frame, so nothing is lost while the page's main thread is busy: a ScriptProcessor hands
// each buffer to the main thread instead, and a browser drops the buffer whenever the main
// thread is late for the one before, which on a busy machine cut holes into the notes.
// window.tap.left holds the left channel, sample i at the context's frame start + i. A batch
// ends early where the context's clock is ahead of where the last block left it, so that
// every sample is placed by the clock; window.tap.jumps lists where it jumped, and by how
// much, to tell a capture that broke from a sound that broke. A clock behind that place is
// a stale reading, not a clock that went back: Chromium gives the worklet the currentFrame
// of the block before for a block in which the page's main thread is changing the audio
// graph, as when the page starts or stops a note (more often on a busy machine), and the
// right one at the next block. Such a block follows the last: taken for a clock gone back,
// it was dropped, and when it was a note's first block the note seemed to start 128
// samples into its clip.
export function installTap() {
  const connect = AudioNode.prototype.connect;
  window.tap = { left: [], frames: 0, start: null, jumps: [] };
  window.prevented = {}; // whether the page kept each key from the browser, once it has seen it
  addEventListener('keydown', (e) => setTimeout(() => { window.prevented[e.code] = e.defaultPrevented; }));
  const recorder = `registerProcessor('tuner-tap', class extends AudioWorkletProcessor {
    constructor() { super(); this.batch = new Float32Array(4096); this.at = 0; this.next = 0; }
    process([input], [output]) {
      const frames = output[0].length, frame = Math.max(currentFrame, this.next);
      if (this.at > 0 && frame !== this.first + this.at) this.post(frame - this.first - this.at);
      if (this.at === 0) this.first = frame;
      this.next = frame + frames;
      for (let c = 0; c < output.length; c++)
        if (input.length) output[c].set(input[Math.min(c, input.length - 1)]); else output[c].fill(0);
      if (input.length) this.batch.set(input[0], this.at); else this.batch.fill(0, this.at, this.at + frames);
      this.at += frames;
      if (this.at === this.batch.length) this.post(0);
      return true;
    }
    post(jump) {
      const left = this.batch.slice(0, this.at);
      this.port.postMessage({ first: this.first, left, jump }, [left.buffer]);
      this.at = 0;
    }
  });`;
  AudioNode.prototype.connect = function (target, ...rest) {
    if (!(target instanceof AudioDestinationNode))
      return connect.call(this, target, ...rest);
    const context = target.context, source = this;
    window.tap.context = context;
    // As a data: URL: WebKit loads no blob: module into a page opened from disk.
    context.audioWorklet.addModule('data:text/javascript;base64,' + btoa(recorder)).then(() => {
      const node = new AudioWorkletNode(context, 'tuner-tap',
        { channelCount: 2, channelCountMode: 'explicit', outputChannelCount: [2] });
      node.port.onmessage = ({ data }) => {
        const tap = window.tap;
        if (tap.start === null) tap.start = data.first;
        if (data.jump) tap.jumps.push({ at: data.first + data.left.length - tap.start, by: data.jump });
        // Frames a browser did not run the recorder for, having nothing to play, were silent.
        const skipped = data.first - (tap.start + tap.frames);
        if (skipped > 0) { tap.left.push(new Float32Array(skipped)); tap.frames += skipped; }
        tap.left.push(data.left);
        tap.frames += data.left.length;
      };
      connect.call(source, node);
      connect.call(node, target);
    }, (e) => console.debug(`tuner-tap: no recorder (${e})`));
    return target;
  };
}

// What the player first finds, before any key: whether the page has made its sound, and
// whether it says that a key turns the sound on. No gesture is sent to ask it.
export function soundBeforeKey(page) {
  return page.evaluate(() => `${window.tap.context ? 'sound made' : 'no sound'}, notice ` +
                             (document.getElementById('sound').hidden ? 'hidden' : 'shown'));
}

// Resolves once the page's sound runs and the recorder has heard its first frames: the
// page makes its sound at the first key or tap, and the recorder joins it a moment later.
export async function soundRunning(page) {
  while (!(await page.evaluate(() => window.tap.context?.state === 'running' && window.tap.start !== null)))
    await new Promise((r) => setTimeout(r, 50));
}

// Opens a copy of `file` with every request beyond the file itself refused and counted.
// With `languages` (as Accept-Language has them), Chromium's navigator.languages are those.
// The copy has no policy: the page's own would refuse the recorder's worklet
// (policy.test.mjs runs the page under it). A viewport from phone() is a phone's, held as
// its size says, and the browser says it is one: Chromium on Android.
export const phone = (width, height) => ({ width, height, deviceScaleFactor: 3, isMobile: true, hasTouch: true });
export async function open(browser, file, viewport = { width: 800, height: 600 }, languages = null) {
  const page = await browser.newPage();
  await page.setViewport(viewport);
  if (languages || viewport.isMobile) {
    const cdp = await page.createCDPSession();
    const agent = await browser.userAgent(), android = '(Linux; Android 14; Pixel 8)';
    const phoneAgent = agent.replace(/\([^)]*\)/, android).replace('HeadlessChrome', 'Chrome').replace('Safari', 'Mobile Safari');
    await cdp.send('Emulation.setUserAgentOverride',
      { userAgent: viewport.isMobile ? phoneAgent : agent, acceptLanguage: languages ?? undefined });
  }
  await page.evaluateOnNewDocument(installTap);
  page.fetched = [];
  page.errors = [];
  page.on('pageerror', (e) => page.errors.push(e.message));
  await page.setRequestInterception(true);
  page.on('request', (r) => {
    if (r.url().startsWith('file:') || r.url().startsWith('data:')) return r.continue();
    page.fetched.push(r.url());
    return r.abort();
  });
  const copy = join(scratchFolder('tuner-page-'), basename(file));
  writeFileSync(copy, readFileSync(file, 'utf8').replace(/<meta http-equiv="Content-Security-Policy" [^>]*>/, ''));
  await page.goto('file://' + copy);
  return page;
}

// Resolves after `n` displayed frames. The tuner runs one pass per frame, in the frame's
// first callback, so this is also after n passes.
export function passes(page, n) {
  return page.evaluate((n) => new Promise((done) => {
    const next = () => (n-- > 0 ? requestAnimationFrame(next) : done());
    next();
  }), n);
}

// A key held for a few passes, then released for a few: the tuner acts once, on a pass
// in which the key is down.
export async function press(page, key) {
  await page.keyboard.down(key);
  await passes(page, 4);
  await page.keyboard.up(key);
  await passes(page, 4);
}

// A finger, or with `mouse` the mouse, on the page's button for a few passes.
export async function tap(page, label, mouse = false) {
  const [x, y] = await page.evaluate((label) => {
    const b = [...document.querySelectorAll('#pad button, #strings button')].find((b) => b.textContent.trim() === label);
    const r = b.getBoundingClientRect();
    return [r.x + r.width / 2, r.y + r.height / 2];
  }, label);
  if (mouse) await page.mouse.move(x, y);
  await (mouse ? page.mouse.down() : page.touchscreen.touchStart(x, y));
  await passes(page, 4);
  await (mouse ? page.mouse.up() : page.touchscreen.touchEnd());
  await passes(page, 4);
}

// A click on string `s`'s place in the picture, 15 pixels of the picture right of its
// column's middle, or with `touch` a finger's tap there; then `wait` passes, by default
// what its presses take (three strings away, seven passes) and some.
export async function clickString(page, s, touch = false, wait = 14) {
  const [x, y] = await page.evaluate((s) => {
    const r = document.getElementById('screen').getBoundingClientRect(), i = 6 - s;
    return [r.x + (60 + 40 * i + (9 - i) / 2 + 15) * r.width / 320, r.y + r.height / 2];
  }, s);
  await (touch ? page.touchscreen.tap(x, y) : page.mouse.click(x, y));
  await passes(page, wait);
}

// The canvas as {width, height, rgb(x, y)}. With `count`, that many pictures, one per
// pass: each taken in a frame's callback after the tuner's pass in it.
export async function screens(page, count = 1) {
  const shots = await page.evaluate((count) => new Promise((done) => {
    const canvas = document.getElementById('screen'), shots = [];
    const grab = () => {
      const d = canvas.getContext('2d').getImageData(0, 0, 320, 240).data;
      let s = '';
      for (let i = 0; i < d.length; i += 0x8000) s += String.fromCharCode(...d.subarray(i, i + 0x8000));
      shots.push(btoa(s));
      if (shots.length < count) requestAnimationFrame(grab); else done(shots);
    };
    requestAnimationFrame(grab);
  }), count);
  return shots.map((s) => picture(320, 240, Buffer.from(s, 'base64'), 4));
}

export async function screen(page) {
  return (await screens(page, 1))[0];
}

function picture(width, height, data, step) {
  return {
    width, height,
    rgb: (x, y) => { const i = (y * width + x) * step; return [data[i], data[i + 1], data[i + 2]]; }
  };
}

export function readPng(path) {
  const png = PNG.sync.read(readFileSync(path));
  return picture(png.width, png.height, png.data, 4);
}

// Samples the page has played so far, by the context's clock (the recorder's last batches
// may still be on their way), and those played since `from`.
export const soundSoFar = (page) => page.evaluate(() => {
  const { context, start, frames } = window.tap;
  return start === null ? frames : Math.max(frames, Math.round(context.currentTime * context.sampleRate) - start);
});
// Samples the recorder has handed over.
export const soundRecorded = (page) => page.evaluate(() => window.tap.frames);
export async function soundSince(page, from) {
  const s = await page.evaluate((from) => {
    const all = new Float32Array(window.tap.frames);
    let at = 0;
    for (const chunk of window.tap.left) { all.set(chunk, at); at += chunk.length; }
    const bytes = new Uint8Array(all.buffer, from * 4);
    let s = '';
    for (let i = 0; i < bytes.length; i += 0x8000) s += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return btoa(s);
  }, from);
  return Buffer.from(s, 'base64');
}

export const pageText = (page, id) => page.evaluate((id) => {
  const e = document.getElementById(id);
  return e.hidden ? '' : e.textContent.trim();
}, id);
