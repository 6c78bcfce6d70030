// What the tuner's page must show and play, the same in every browser: the pictures read
// back from its canvas and the notes caught from its audio graph, through driver.mjs's
// calls (or a driver with the same page calls, as webkit.mjs is).
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, unlinkSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { beforeEach } from 'node:test';
import * as drive from './driver.mjs';

const env = process.env;

// --- What the pictures must show -------------------------------------------------------

const white = ([r, g, b]) => r === 255 && g === 255 && b === 255;
const markerX = (s) => 294 - 40 * s + Math.floor((s - 1) / 2);

// Runs of whole-height columns of one colour (the marker's rows aside).
export function stripes(p) {
  const found = [];
  for (let x = 0; x < p.width; x++) {
    const c = p.rgb(x, 0).join();
    let uniform = true;
    for (let y = 1; y < p.height && uniform; y++)
      if ((y < 208 || y >= 220) && p.rgb(x, y).join() !== c) uniform = false;
    if (!uniform) continue;
    const last = found[found.length - 1];
    if (last && last.x + last.w === x && last.c === c) last.w++;
    else found.push({ x, w: 1, c });
  }
  return found.map(({ x, w }) => `${x}+${w}`);
}

// The tuner view: the columns at rest, or string `playing` displaced, and the marker on
// `selected`, over a field no channel of which is above 142.
export function assertTuner(p, selected, playing = 0) {
  const want = [];
  for (let i = 0; i < 6; i++) if (6 - i !== playing) want.push(`${60 + 40 * i}+${9 - i}`);
  const got = stripes(p);
  if (playing) {
    const shaken = got.filter((s) => !want.includes(s));
    assert.equal(shaken.length, 1, `one displaced column, found ${got}`);
    const [x, w] = shaken[0].split('+').map(Number);
    assert.equal(w, playing + 3, `the displaced column's width, in ${got}`);
    assert.ok(x >= 284 - 40 * playing && x <= 315 - 40 * playing, `string ${playing} shaken to x ${x}`);
  }
  assert.deepEqual(got.filter((s) => want.includes(s)), want, `the columns at rest, found ${got}`);
  let marker = -1;
  for (let x = 0; x + 16 <= 320 && marker < 0; x++) {
    let block = true;
    for (let y = 208; y < 220 && block; y++)
      for (let i = x; i < x + 16 && block; i++) block = white(p.rgb(i, y));
    if (block) marker = x;
  }
  assert.equal(marker, markerX(selected), `the marker under string ${selected}`);
  const columnsAt = new Set();
  for (const s of got) { const [x, w] = s.split('+').map(Number); for (let i = x; i < x + w; i++) columnsAt.add(i); }
  for (let y = 0; y < 240; y++)
    for (let x = 0; x < 320; x++)
      if (!columnsAt.has(x) && !(y >= 208 && y < 220 && x >= marker && x < marker + 16) &&
          !(x < 44 && white(p.rgb(x, y)))) // the volume overlay's place
        assert.ok(Math.max(...p.rgb(x, y)) <= 142, `the field at (${x}, ${y}) is ${p.rgb(x, y)}`);
}

// Two passes of the tuner view, string 1 chosen: the field one row further down in the second.
export async function assertScrolls(page) {
  const [first, second] = await drive.screens(page, 2);
  assertTuner(first, 1);
  assertTuner(second, 1);
  for (let y = 1; y < 240; y++)
    for (let x = 0; x < 50; x++)
      assert.deepEqual(second.rgb(x, y), first.rgb(x, y - 1), `the field scrolled at (${x}, ${y})`);
}

export function assertSame(p, q, what, x0 = 0, x1 = 320) {
  for (let y = 0; y < 240; y++)
    for (let x = x0; x < x1; x++)
      assert.deepEqual(p.rgb(x, y), q.rgb(x, y), `${what} at (${x}, ${y})`);
}

// The volume overlay: its white pixels, left of the columns, as in the desktop's picture.
export function assertOverlay(p, desktop) {
  for (let y = 0; y < 240; y++)
    for (let x = 0; x < 48; x++)
      assert.equal(white(p.rgb(x, y)), white(desktop.rgb(x, y)), `the overlay at (${x}, ${y})`);
}

export async function credits(page) {
  for (let tries = 0; tries < 100; tries++) {
    const p = await drive.screen(page);
    for (let x = 0; x < 320; x++) if (Math.max(...p.rgb(x, 91)) > 0) return p; // the title's middle row
  }
  throw new Error('no credits on the canvas');
}

// --- The sound -----------------------------------------------------------------------------

// A note that fails keeps its capture for good, in a folder shared by every run (CTest
// names one in the build, which CI's log shows when a browser test fails), under a name
// that says which test, string and volume, and a count that no later capture takes: a
// later test that measures the same string cannot overwrite it. A note that passes leaves
// nothing behind.
const kept = env.TUNER_WEB_CAPTURES || join(tmpdir(), 'tuner-web-captures');
let testName = 'note';
beforeEach((t) => { testName = t.name.toLowerCase().replace(/[^a-z0-9]+/g, '-').replace(/^-|-$/g, ''); });

function keep(sound, s, volume) {
  mkdirSync(kept, { recursive: true });
  for (let count = 1; ; count++) {
    const file = join(kept, `${testName}.string${s}.volume${volume}.${count}.f32`);
    try {
      writeFileSync(file, sound, { flag: 'wx' });
      return file;
    } catch (e) {
      if (e.code !== 'EEXIST') throw e;
    }
  }
}

// Waits until the recorder has handed over `seconds` of sound from `from`: the context's
// clock may be ahead of it, most of all just after the sound was suspended and resumed.
export async function waitForSound(page, from, seconds) {
  const until = Date.now() + 60000;
  while ((await drive.soundRecorded(page)) < from + seconds * 44100) {
    if (Date.now() > until) throw new Error(`the recorder has not handed over ${seconds} s of sound in a minute`);
    await drive.passes(page, 10);
  }
  return drive.soundSince(page, from);
}

// The note of string `s` as the page played it: its pitch, and how long it follows the
// clip at `volume`; `file` is the capture, to be deleted once the note has passed.
function measure(sound, s, volume) {
  const file = keep(sound, s, volume);
  const out = execFileSync(env.TUNER_NOTE_CHECK, [file, String(s), String(volume)], { encoding: 'utf8' });
  const cents = Number(/^pitch \S+ (\S+)$/m.exec(out)?.[1]);
  const follows = Number(/^follows (\S+)$/m.exec(out)[1]);
  const onset = Number(/^onset (\S+)$/m.exec(out)[1]);
  return { cents, follows, onset, out, file };
}

const floats = (sound) => new Float32Array(sound.buffer.slice(sound.byteOffset, sound.byteOffset + sound.length));
// Where a note begins in a capture: its first sample above -60 dBFS, as note_check.cpp
// finds it; -1 before then.
const onsetOf = (samples) => samples.findIndex((v) => Math.abs(v) > 0.001);

// The note asked for at `from`, once the recorder has handed over 3.5 s of it from its
// onset, which note_check.cpp measures over three. The note may start long after the
// asking: a click's presses take eight passes, which WebKit under a busy core ran at ten a
// second, and a note not yet decoded is decoded first.
async function captureNote(page, from) {
  for (let seconds = 3.5; ;) {
    const sound = await waitForSound(page, from, seconds);
    const onset = onsetOf(floats(sound));
    if (onset >= 0 && sound.length / 4 >= onset + 3.5 * 44100) return sound;
    seconds = onset >= 0 ? onset / 44100 + 3.5 : seconds + 1;
    if (seconds > 60) throw new Error('no note in the minute after it was asked for');
  }
}

// Where a note that stopped following its clip broke, in its first three seconds: silences
// in what the graph handed the recorder (the sound broke: a player heard a dropout), or
// jumps of the audio clock between the recorder's blocks (the capture broke), from the
// asking on.
async function whereItBroke(page, sound, from) {
  const samples = floats(sound), start = onsetOf(samples), said = [];
  for (let i = start, zeros = 0; i < Math.min(samples.length, start + 3 * 44100); i++) {
    zeros = samples[i] === 0 ? zeros + 1 : 0;
    if (zeros === 128) said.push(`silent from ${((i - 127) / 44100).toFixed(3)} s`);
  }
  for (const { at, by } of await page.evaluate(() => window.tap.jumps))
    if (at >= from && at < from + start + 3 * 44100) said.push(`the clock jumped by ${by} frames at ${((at - from) / 44100).toFixed(3)} s`);
  return said.length ? said.join(', ') : 'no silence and no jump of the clock';
}

// `play` asks for the note: by default Left Ctrl on the keyboard. The note is measured over
// its first three seconds.
export async function assertNote(page, s, volume, play = () => drive.press(page, 'ControlLeft')) {
  await assertSilent(page);
  const from = await drive.soundSoFar(page);
  await play();
  assertTuner(await drive.screen(page), s, s);
  const sound = await captureNote(page, from);
  const m = measure(sound, s, volume);
  assert.ok(Math.abs(m.cents) <= 0.1, `string ${s} is ${m.cents} cents off (the capture kept in ${m.file}):\n${m.out}`);
  if (m.follows < 3)
    assert.fail(`string ${s} follows its clip at volume ${volume} for ${m.follows} s only (onset ${m.onset} s; ` +
                `${await whereItBroke(page, sound, from)}; the capture kept in ${m.file})`);
  unlinkSync(m.file);
}

export async function assertSilent(page) {
  const from = (await drive.soundSoFar(page)) + drive.tapLatency; // what was on its way
  const after = floats(await waitForSound(page, from, 0.5));
  assert.ok(after.every((v) => v === 0), 'silence once the note is stopped');
}
