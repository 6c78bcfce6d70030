// A real screen reader on the page: Orca in its default settings, reading Firefox ESR, which
// shows the page from disk in kiosk mode, in English and in Spanish. Nobody switches Orca's
// mode (Orca+A): the player presses Return and the arrows, and Orca must speak the tuner's
// words. What Orca says is read from its debug log ("SPEECH OUTPUT" lines), and what
// reached the synthesizer from the file that speech-dispatcher's generic module writes
// its text to. Every service runs privately and is stopped here: an X server, a D-Bus
// session, the AT-SPI bus, speech-dispatcher over ALSA's null device (without an output it
// quits), Orca and Firefox. CTest runs it with TUNER_WEB_PAGE, the built page.
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, openSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, test } from 'node:test';

// Each run's own folder: the services' home, runtime folder, logs and settings.
let run, home, env, orcaLog, synthesized;
function lay() {
  run = mkdtempSync(join(tmpdir(), 'tuner-orca-'));
  home = join(run, 'home');
  env = {
    ...process.env, HOME: home, XDG_RUNTIME_DIR: join(run, 'runtime'), XDG_CONFIG_HOME: join(home, '.config'),
    XDG_DATA_HOME: join(home, '.local/share'), XDG_CACHE_HOME: join(home, '.cache'),
    // Orca's and GTK's settings in memory, not in a dconf of this machine's.
    GSETTINGS_BACKEND: 'memory', LANG: 'C.UTF-8'
  };
  for (const v of ['DISPLAY', 'WAYLAND_DISPLAY', 'DBUS_SESSION_BUS_ADDRESS', 'AT_SPI_BUS_ADDRESS', 'SPEECHD_ADDRESS'])
    delete env[v];
  for (const dir of [env.XDG_RUNTIME_DIR, env.XDG_CONFIG_HOME, join(env.XDG_DATA_HOME, 'orca')])
    mkdirSync(dir, { recursive: true, mode: 0o700 });
  orcaLog = join(run, 'orca-debug.log');
  synthesized = join(run, 'synthesized');
}

// --- The services ------------------------------------------------------------------------------

const running = []; // stopped in the reverse order

// Each service in its own process group, so that what it starts goes with it.
function start(name, command, args, extra = {}) {
  const log = openSync(join(run, `${name}.log`), 'w');
  const child = spawn(command, args, { env, detached: true, stdio: ['ignore', log, log, ...(extra.stdio ?? [])] });
  child.exited = new Promise((done) => child.on('exit', done));
  child.name = name;
  running.push(child);
  return child;
}

async function stop(child) {
  running.splice(running.indexOf(child), 1);
  if (child.exitCode !== null || child.signalCode !== null) return;
  try { process.kill(-child.pid, 'SIGTERM'); } catch { return; }
  const gone = await Promise.race([child.exited.then(() => true), new Promise((t) => setTimeout(t, 10000, false))]);
  if (!gone) { process.kill(-child.pid, 'SIGKILL'); await child.exited; }
}

const logTail = (name) => {
  const file = join(run, `${name}.log`);
  return existsSync(file) ? readFileSync(file, 'utf8').split('\n').slice(-15).join('\n') : '';
};

// Waits for `check` to give something other than false, for at most `seconds`: a service
// that died or never answered fails at once or then, with the logs that tell why.
async function until(what, seconds, check) {
  const end = Date.now() + seconds * 1000;
  for (;;) {
    const got = check();
    if (got !== false && got !== undefined && got !== null) return got;
    const dead = running.find((c) => c.exitCode !== null || c.signalCode !== null);
    if (dead || Date.now() > end)
      throw new Error(`${what}: ${dead ? `${dead.name} has ended` : `not within ${seconds} s`}\n` +
                      running.concat(dead ?? []).map((c) => `--- ${c.name}:\n${logTail(c.name)}`).join('\n') +
                      `\n--- what Orca said:\n${spoken().join('\n')}`);
    await new Promise((t) => setTimeout(t, 100));
  }
}

const succeeds = (command, args) => {
  try { return execFileSync(command, args, { env, stdio: ['ignore', 'pipe', 'ignore'] }).toString(); } catch { return false; }
};
const busHas = (name) => (succeeds('dbus-send', ['--session', '--print-reply', '--dest=org.freedesktop.DBus', '/',
  'org.freedesktop.DBus.NameHasOwner', `string:${name}`]) || '').includes('boolean true');

// A desktop session of its own for each run, as a player's: the X server, the D-Bus session,
// the AT-SPI bus, speech-dispatcher and Orca, started afresh, so that nothing of one run
// (Orca's idea of the browser and its documents among it) is left for the next.
async function session() {
  lay();
  // The X server takes a free display and writes its number to fd 3.
  const x = start('xvfb', 'Xvfb', ['-displayfd', '3', '-screen', '0', '1024x768x24', '-nolisten', 'tcp'], { stdio: ['pipe'] });
  let display = '';
  x.stdio[3].on('data', (d) => { display += d; });
  env.DISPLAY = ':' + (await until('the X server', 30, () => display.includes('\n') && display.trim()));

  env.DBUS_SESSION_BUS_ADDRESS = `unix:path=${join(run, 'bus')}`;
  start('dbus', 'dbus-daemon', ['--session', '--nofork', `--address=${env.DBUS_SESSION_BUS_ADDRESS}`]);
  await until('the D-Bus session', 30, () => busHas('org.freedesktop.DBus'));
  // Started here rather than by the session's activation, so that it is ours to stop.
  start('at-spi', '/usr/libexec/at-spi-bus-launcher', ['--launch-immediately']);
  await until('the AT-SPI bus', 30, () => busHas('org.a11y.Bus'));

  writeFileSync(join(home, '.asoundrc'), 'pcm.!default { type null }\n');
  const speechd = join(run, 'speechd');
  mkdirSync(join(speechd, 'modules'), { recursive: true });
  writeFileSync(join(speechd, 'speechd.conf'), [
    `LogDir "${run}"`, 'AudioOutputMethod "alsa"',
    'AddModule "text" "sd_generic" "text.conf"', 'DefaultModule text', ''].join('\n'));
  // One line a message: the module hands the text to the shell quoted, its own quotes escaped.
  writeFileSync(join(speechd, 'modules', 'text.conf'), [
    `GenericExecuteSynth "printf '%s\\\\n' \\'$DATA\\' >> ${synthesized}"`,
    'AddVoice "en" "MALE1" "en"', 'AddVoice "es" "MALE1" "es"', 'DefaultVoice "en"', ''].join('\n'));
  start('speech-dispatcher', 'speech-dispatcher', ['--run-single', '--timeout', '0', '--config-dir', speechd]);
  await until('speech-dispatcher', 30, () => existsSync(join(env.XDG_RUNTIME_DIR, 'speech-dispatcher/speechd.sock')));

  // Orca as it comes but for two things that matter under a loaded machine only: its
  // start-up watchdog, which kills Orca when speech starts slowly, is off; and its debug log
  // is written line by line, so that no line waits in a buffer.
  writeFileSync(join(env.XDG_DATA_HOME, 'orca', 'orca-customizations.py'), [
    'import orca.debug, orca.settings', 'orca.settings.timeoutTime = 0',
    'orca.debug.debugFile.reconfigure(line_buffering=True)', ''].join('\n'));
  start('orca', 'orca', [`--debug-file=${orcaLog}`]);
  await until('Orca speaking', 60, () => spoken().length > 0);
}

async function endSession() {
  while (running.length) await stop(running[running.length - 1]);
  if (run) rmSync(run, { recursive: true, force: true });
  run = null;
}
after(endSession);

// --- What Orca says ------------------------------------------------------------------------

// Every "SPEECH OUTPUT" line of Orca's log, in order.
function spoken() {
  if (!existsSync(orcaLog)) return [];
  return [...readFileSync(orcaLog, 'utf8').matchAll(/ - SPEECH OUTPUT: '(.*)'\s*\{/g)].map((m) => m[1]);
}

// Waits for Orca to say `words`, after the `from`th thing it said; returns where it said them.
async function hear(words, from, seconds = 60) {
  return until(`Orca saying "${words}"`, seconds, () => {
    const at = spoken().indexOf(words, from);
    return at >= 0 ? at + 1 : false;
  });
}

const key = (name) => execFileSync('xdotool', ['key', name], { env });

// The page in Firefox ESR as a player with a screen reader opens it: accessibility on (a
// fresh profile has it off until it finds a screen reader at start), the browser's
// languages as given, and kiosk mode, so that the page has the focus. A fresh profile's
// first start would also open a tab of its own (a welcome page, which fails offline and
// leaves a "New Tab"), which may take the focus from the page: none is opened.
function firefox(languages) {
  const profile = mkdtempSync(join(run, 'profile-'));
  writeFileSync(join(profile, 'user.js'), [
    ['accessibility.force_disabled', -1], ['intl.accept_languages', languages],
    ['browser.shell.checkDefaultBrowser', false], ['datareporting.policy.dataSubmissionEnabled', false],
    ['datareporting.policy.firstRunURL', ''], ['toolkit.telemetry.reportingpolicy.firstRun', false],
    ['browser.aboutwelcome.enabled', false], ['browser.startup.homepage_override.mstone', 'ignore'],
    ['startup.homepage_welcome_url', ''], ['startup.homepage_welcome_url.additional', ''],
    ['browser.startup.firstrunSkipsHomepage', true], ['browser.startup.page', 0],
    // Nor a new tab made ready in the background, whose document Orca may take for the page's.
    ['browser.newtab.preload', false], ['browser.newtabpage.enabled', false]
  ].map(([name, value]) => `user_pref(${JSON.stringify(name)}, ${JSON.stringify(value)});\n`).join(''));
  return start('firefox', 'firefox-esr', ['--kiosk', '--no-remote', '--profile', profile, 'file://' + process.env.TUNER_WEB_PAGE]);
}

// --- The checks -------------------------------------------------------------------------------

const players = {
  English: { languages: 'en-US, en',
             strings: ['String 1 of 6: E4, 329.63 Hz, not playing', 'String 2 of 6: B3, 246.94 Hz, not playing',
                       'String 3 of 6: G3, 196.00 Hz, not playing', 'String 4 of 6: D3, 146.83 Hz, not playing'] },
  Spanish: { languages: 'es-ES, es',
             strings: ['Cuerda 1 de 6: Mi4, 329,63 Hz, en silencio', 'Cuerda 2 de 6: Si3, 246,94 Hz, en silencio',
                       'Cuerda 3 de 6: Sol3, 196,00 Hz, en silencio', 'Cuerda 4 de 6: Re3, 146,83 Hz, en silencio'] }
};

for (const [language, player] of Object.entries(players)) {
  test(`Orca, as it comes, speaks string 4 after Return and Left × 3: ${language}`, async () => {
    await session();
    try {
      const from = spoken().length;
      firefox(player.languages);
      // The player waits for the page, and for Orca to say that it hands the keys over (the
      // focus is in the tuner), and plays: Return and the arrows, nothing else.
      let at = await hear('Focus mode', from, 180);
      key('Return');
      // The title may have gone by itself already: either way the page names string 1, once
      // the program runs (compiling it is slow on a loaded machine). Orca speaks it unless
      // it came before the page's load was done, when Orca starts its live regions afresh:
      // what the page wrote is in Orca's log either way.
      await until('the page naming string 1', 120, () => readFileSync(orcaLog, 'utf8').split('\n').some(
        (line) => line.includes('object:text-changed:insert') && line.endsWith(`, ${player.strings[0]})`)));
      // And the player listens to Orca's answer before the next key. Orca 48 speaks a live
      // region only in the page that it knows the window to show, and what it read of the
      // window before the page was in it stays until Orca next handles a part of the page
      // added or taken away (the text of string 1 is one), which comes after the words that
      // came with it: string 1 may go unspoken, and string 2 too if Left came before that.
      await until('Orca taking in string 1', 60, () => {
        if (spoken().includes(player.strings[0])) return true;
        const lines = readFileSync(orcaLog, 'utf8').split('\n');
        const named = lines.findIndex((line) => line.includes('object:text-changed:insert') &&
                                                line.endsWith(`, ${player.strings[0]})`));
        return named >= 0 && lines.slice(named).some((line) => line.includes('Dequeued object:children-changed'));
      });
      at = spoken().length;
      for (const words of player.strings.slice(1)) {
        key('Left');
        at = await hear(words, at);
      }
      // Once per change: Right names string 3 again, and string 4 was said once.
      key('Right');
      await hear(player.strings[2], at);
      assert.equal(spoken().slice(from).filter((s) => s === player.strings[3]).length, 1, 'string 4 said once');
      // Orca kept the keys for the tuner throughout, the page's load complete included.
      assert.ok(!spoken().slice(from).includes('Browse mode'), `Orca went back to browse mode:\n${spoken().slice(from).join('\n')}`);
      // What Orca said reached the synthesizer: the last line (speech-dispatcher drops a line
      // that the next one comes to interrupt before it is spoken, so only the last is sure).
      await until('the synthesizer saying string 3', 60,
        () => existsSync(synthesized) && readFileSync(synthesized, 'utf8').split('\n').includes(player.strings[2]));
    } finally {
      await endSession();
    }
  });
}
