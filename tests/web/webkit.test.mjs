// The tuner's page in WebKit, Safari's engine and that of every browser on an iPhone
// (webkit.mjs), opened from disk: the core of what tuner.test.mjs proves in Chromium, with
// its own checks (checks.mjs). CTest runs it with TUNER_WEB_PAGE, TUNER_NOTE_CHECK and
// TUNER_DEMO, as tuner.test.mjs.
import assert from 'node:assert/strict';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { assertNote, assertOverlay, assertSame, assertScrolls, assertTuner, credits } from './checks.mjs';
import * as drive from './driver.mjs';
import { call, iPhoneAudio } from './iphone.mjs';
import * as webkit from './webkit.mjs';

const env = process.env;
let browser;
before(async () => { browser = await webkit.launch(); });
after(async () => { await browser?.close(); });

test('webkit: the title, the tuner view, the keys, a click on a string and a note, from disk', async () => {
  const page = await webkit.open(browser, env.TUNER_WEB_PAGE);
  assertSame(await credits(page), drive.readPng(join(env.TUNER_DEMO, 'credits.png')), 'the credits');
  assert.equal(await drive.soundBeforeKey(page), 'no sound, notice shown');
  await drive.press(page, 'Enter');
  await assertScrolls(page);
  await page.waitFor(() => document.getElementById('sound').hidden, 'sound after Return');

  await drive.press(page, 'ArrowRight');
  assertTuner(await drive.screen(page), 6);
  await drive.press(page, 'ArrowLeft');
  assertTuner(await drive.screen(page), 1);
  // A click on string 4's place in the picture: three Lefts and Left Ctrl.
  await assertNote(page, 4, 64, () => drive.clickString(page, 4));
  assert.equal(await drive.pageText(page, 'string-state'), 'String 4 of 6: D3, 146.83 Hz, playing');
  await drive.press(page, 'ArrowUp');
  assertOverlay(await drive.screen(page), drive.readPng(join(env.TUNER_DEMO, 'volume.png')));
  await drive.press(page, 'ArrowRight');
  await drive.press(page, 'ArrowRight');
  assertTuner(await drive.screen(page), 2);
  assert.equal(await page.evaluate(() => window.tap.context.sampleRate), 44100, 'the notes\' own rate');
  await assertNote(page, 2, 68);

  await drive.press(page, 'Tab');
  assert.match(await drive.pageText(page, 'stopped'), /The tuner has stopped/);
  await drive.press(page, 'KeyA');
  assert.deepEqual(await page.evaluate(() => window.prevented), // the browser keeps only the others
    { Enter: true, ArrowRight: true, ArrowLeft: true, ArrowUp: true, ControlLeft: true, Tab: true, KeyA: false });
  assert.equal(await page.evaluate(() => window.tap.context.state), 'closed', 'the sound closed');
  assert.deepEqual(await page.errors(), [], 'no page errors');
});

// Safari's own engine, with the stand-ins of iphone.mjs: as site.test.mjs, keys for taps
// once a click on the title has made the sound.
test('webkit: the audio session\'s type, and an interrupted sound resumed by a key', async () => {
  const page = await webkit.open(browser, env.TUNER_WEB_PAGE, [iPhoneAudio]);
  await credits(page);
  // A click on the title ends it and plays the string clicked.
  await drive.clickString(page, 1);
  assertTuner(await drive.screen(page), 1, 1);
  await drive.soundRunning(page);
  assert.equal(await page.evaluate(() => window.session.typeAtStart), 'playback',
    'the session\'s type when the sound was made');

  await call(page);
  assert.match(await drive.pageText(page, 'sound'), /^Sound is off until you press a key or tap a button/);
  // Across a suspension WebKit's recorder loses the start of what plays: the key resumes,
  // and a note played after it is measured whole.
  await drive.press(page, 'ArrowLeft');
  await page.waitFor(() => window.tap.context.state === 'running', 'sound after Left');
  assert.equal(await drive.pageText(page, 'sound'), '', 'the notice gone');
  assert.equal(await page.evaluate(() => window.session.typeAtFirstResume), 'playback',
    'the session\'s type when the sound was first resumed');
  await assertNote(page, 2, 64);
  assert.deepEqual(await page.errors(), [], 'no page errors');
});
