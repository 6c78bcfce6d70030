'use strict';
// The page around the tuner: it scales the picture, hands the tuner its keys (from the
// keyboard and from the buttons), turns sound on at the first key or tap, and shows what
// the program prints and when it has stopped. The program itself follows this script.
(function () {
  // The page's words in the player's language: the first of the browser's languages that
  // the page has words for, by its language alone (es-MX takes es), or English. ?lang=
  // chooses one for a shared link. A word a language lacks is said in English.
  var tables = JSON.parse(document.getElementById('words').textContent);
  var wanted = [new URLSearchParams(location.search).get('lang')].concat(navigator.languages || [navigator.language]);
  var lang = wanted.filter(Boolean).map(function (tag) { return tag.toLowerCase().split('-')[0]; })
                   .find(function (subtag) { return tables.hasOwnProperty(subtag); }) || 'en';
  var words = Object.assign({}, tables.en, tables[lang]);
  // A screen reader speaks the page in the voice of its lang.
  document.documentElement.lang = lang;
  var fill = function (text, values) {
    return text.replace(/\{(\w+)\}/g, function (all, name) { return values[name]; });
  };
  // A number as the language writes it, with its own decimal mark: the pitch, the string
  // and the volume need nothing more. Asking the browser to format it would load its locale
  // data at the first number, when the tuner first shows: 70 ms of the page in Chromium.
  var number = function (value, digits) {
    return value.toFixed(digits).replace('.', words.decimalMark);
  };
  document.title = words.title;
  document.querySelector('meta[name="description"]').content = words.summary;
  var homeTitle = document.querySelector('meta[name="apple-mobile-web-app-title"]');
  if (homeTitle) homeTitle.content = words.homeTitle;
  var manifest = document.querySelector('link[rel="manifest"]');
  if (manifest) manifest.href = 'manifest-' + lang + '.webmanifest';
  document.getElementById('view').setAttribute('aria-label', words.tuner);
  document.querySelectorAll('[data-words]').forEach(function (e) {
    e.textContent = words[e.dataset.words];
    if (e.parentNode.id === 'pad') e.setAttribute('aria-label', words[e.dataset.words + 'Name']);
  });
  // Each string's button shows its note; a note named with its octave in words (Russian)
  // has the octave on a smaller line.
  document.querySelectorAll('#strings button').forEach(function (button) {
    var string = Number(button.dataset.string), note = words.notes[string - 1];
    var name = note.split(' ');
    button.append(name[0]);
    if (name.length > 1) {
      var octave = document.createElement('small');
      octave.textContent = name.slice(1).join(' ');
      button.append(' ', octave);
    }
    button.setAttribute('aria-label', fill(words.stringButtonName, { note: note, string: number(string, 0) }));
  });
  // On a touch screen the strings' buttons and the picture play, and the page speaks of them;
  // elsewhere of the keys.
  var touch = window.matchMedia && matchMedia('(pointer: coarse)').matches;
  document.getElementById('sound').textContent = touch ? words.touchSound : words.sound;
  var keyNames = { left: '\u2190', right: '\u2192', up: '\u2191', down: '\u2193',
                   ctrl: words.keyCtrl, 'return': words.keyReturn, tab: words.keyTab };
  (touch ? words.touchHelp : words.help).split(/\{(\w+)\}/).forEach(function (part, i) {
    var kbd = document.createElement('kbd');
    kbd.textContent = keyNames[part];
    document.getElementById('help').append(i % 2 ? kbd : part);
  });
  // The tuner has the focus from the start, so that its keys are the tuner's at once.
  document.getElementById('view').focus();

  var canvas = document.getElementById('screen');
  var shown = function (id, on) { document.getElementById(id).hidden = !on; };
  var running = true;
  var audioOpen = false;   // the tuner has opened its sound
  var audio = null;        // the sound's AudioContext, once made
  var soundFailed = false; // the browser would not make it

  // The tuner's keys, by the key's place on the keyboard, as SDL's key symbols. Every
  // other key is left to the browser.
  var tunerKeys = {
    ArrowLeft: 276, ArrowRight: 275, ArrowUp: 273, ArrowDown: 274,
    ControlLeft: 306, Tab: 9, Escape: 27, Enter: 13
  };
  var held = {}; // code -> how many holders (the key, a button) keep it down

  function hold(code, down) {
    var before = held[code] || 0;
    var now = Math.max(0, before + (down ? 1 : -1));
    held[code] = now;
    if (!running || (before > 0) === (now > 0)) return;
    Module.holdKey(tunerKeys[code], now > 0);
  }
  function releaseAll() {
    Object.keys(held).forEach(function (code) {
      if (held[code] > 0 && running) Module.holdKey(tunerKeys[code], false);
      held[code] = 0;
    });
  }

  // Browsers start sound only after the player has done something on the page, and
  // resume it only in that gesture's own handler: the sound is made at the first key or
  // tap, in its handler, and until then the page says that a key turns it on. An iPhone's
  // sound is "interrupted" after a call, Siri or the screen locking, and starts again the
  // same way. On an iPhone, Web Audio plays in the ambient session, which the ringer switch
  // mutes; as playback it plays through the switch, as a media element does: set before
  // the first sound.
  if (navigator.audioSession) navigator.audioSession.type = 'playback';
  function soundOn() {
    if (!audio && Module.startAudio) Module.startAudio();
    // Still interrupted (a call goes on): the notice stays, and the next gesture tries again.
    if (audio && (audio.state === 'suspended' || audio.state === 'interrupted')) audio.resume().catch(showSound);
  }
  function showSound() {
    shown('sound', running && audioOpen && !soundFailed &&
                   (!audio || audio.state === 'suspended' || audio.state === 'interrupted'));
  }

  // The screen stays on while a note plays and the page is seen: a player tuning has both
  // hands on the guitar, and a phone that locks its screen silences the page. The browser
  // lets the lock go by itself when the page is hidden, and it is asked for again when the
  // page shows with the note still playing. A browser with no lock, or one that refuses it,
  // changes nothing else.
  var playing = false, wakeLock = null, asking = false;
  function keepAwake() {
    var want = running && playing && document.visibilityState === 'visible';
    if (want && !wakeLock && !asking && navigator.wakeLock) {
      asking = true;
      navigator.wakeLock.request('screen').then(function (lock) {
        asking = false;
        wakeLock = lock;
        lock.addEventListener('release', function () { if (wakeLock === lock) wakeLock = null; });
        keepAwake(); // the note may have stopped while the browser answered
      }, function () { asking = false; });
    } else if (!want && wakeLock) {
      var lock = wakeLock;
      wakeLock = null;
      lock.release().catch(function () {});
    }
  }
  document.addEventListener('visibilitychange', keepAwake);

  // The tuner's state in words, as the port tells it at every flip; the live region speaks
  // a line when its words change, so they are written only then.
  var midi = [null, 64, 59, 55, 50, 45, 40]; // each string's note as a MIDI number, for its pitch
  function say(id, words) {
    var line = document.getElementById(id);
    if (line.textContent !== words) line.textContent = words;
    if (line.hidden !== !words) line.hidden = !words;
  }
  // While the browser holds the sound (before the first touch, or after a call on an
  // iPhone), a note the tuner plays is not heard, and the line says so.
  var lastState = null;
  function sayState(title, string, playing, volume, overlay) {
    lastState = [title, string, playing, volume, overlay];
    var heard = audio && audio.state === 'running';
    if (title) {
      say('string-state', words.titleScreen);
    } else {
      say('string-state', fill(words.string, {
        string: number(string, 0), note: words.notes[string - 1],
        hertz: number(440 * Math.pow(2, (midi[string] - 69) / 12), 2),
        playing: playing ? (heard ? words.playing : words.soundHeld) : words.notPlaying
      }));
    }
    // The number the overlay shows, for as long as it shows.
    say('volume-state', overlay ? fill(words.volume, { volume: number(Math.trunc(volume / 4), 0) }) : '');
  }

  // Return and Space on a focused button press the button, as a keyboard user expects.
  function pressesButton(e) {
    return e.target instanceof HTMLButtonElement && (e.code === 'Enter' || e.code === 'Space' || e.code === 'NumpadEnter');
  }

  var keyDown = {};
  // A key with Alt or Meta is the browser's own (Back, Forward, its menus). Return held on
  // a focused button presses it once: the tuner has no repeat, and the browser's would
  // click it again at every repeat.
  window.addEventListener('keydown', function (e) {
    document.documentElement.classList.add('keyed');
    soundOn();
    if (e.repeat && pressesButton(e) && e.code !== 'Space') e.preventDefault();
    if (!running || !tunerKeys[e.code] || e.altKey || e.metaKey || pressesButton(e)) return;
    e.preventDefault(); // no focus moving on Tab, no scrolling on the arrows
    if (!keyDown[e.code]) hold(e.code, true);
    keyDown[e.code] = true;
  });
  window.addEventListener('keyup', function (e) {
    if (!keyDown[e.code]) return;
    keyDown[e.code] = false;
    if (running) e.preventDefault();
    hold(e.code, false);
  });
  // A key released while the page was not looking would stay held.
  window.addEventListener('blur', function () { keyDown = {}; releaseAll(); });

  window.addEventListener('touchend', soundOn);
  window.addEventListener('click', soundOn);
  // The tuner's outline shows from the first key until a touch or a click, as browsers show
  // their own focus.
  window.addEventListener('pointerdown', function () {
    document.documentElement.classList.remove('keyed');
  }, true);

  // Every button acts as the finger lands, as a key does when pressed; a click that no
  // pointer pressed (the keyboard, a screen reader) acts as one press.
  function onPress(button, act) {
    var pressed = false;
    button.addEventListener('pointerdown', function (e) {
      e.preventDefault();
      pressed = true;
      if (running) act();
    });
    button.addEventListener('click', function () {
      if (!pressed && running) act();
      pressed = false;
    });
    button.addEventListener('contextmenu', function (e) { e.preventDefault(); });
  }
  // Each of the keys' buttons is one press of its key as the finger lands: held for a pass
  // and released for one, however long the finger stays, so that a finger resting on a
  // button holds no key, and the tuner, which acts on no key while one is held, still
  // plays what the other hand taps.
  document.querySelectorAll('#pad button[data-code]').forEach(function (button) {
    onPress(button, function () { hold(button.dataset.code, true); hold(button.dataset.code, false); });
  });
  document.querySelectorAll('#strings button').forEach(function (button) {
    // The site's program may not have come yet.
    onPress(button, function () { if (Module.playString) Module.playString(Number(button.dataset.string)); });
  });
  // The tuner has no key that stops a note and keeps its string: another string stops it,
  // and the string is chosen again.
  onPress(document.getElementById('stop'), function () {
    if (!playing) return;
    ['ArrowLeft', 'ArrowRight'].forEach(function (code) { hold(code, true); hold(code, false); });
  });

  // A touch or a click on the picture plays the string under it at once, through the
  // tuner's own keys (the port works out which from the string chosen when their turn
  // comes), and on the title it ends the title too. The program says which string's place
  // is under a point, from the columns it draws. A finger on the picture neither scrolls
  // nor zooms the page, so its touch-down is already a tap, and the note does not wait for
  // the finger to lift. A finger that lands while another is on the picture is the second
  // of a pinch, and plays nothing; one resting elsewhere (on the phone's edge) stops no
  // tap. The picture stays hidden from screen readers: the buttons do the same,
  // one step at a time.
  var onPicture = {}; // the pointers down on the picture
  window.addEventListener('pointerdown', function (e) {
    // The first finger down, or the mouse: no other is down, whatever went up unseen.
    if (e.isPrimary) onPicture = {};
    if (e.target !== canvas) return;
    var alone = Object.keys(onPicture).length === 0;
    onPicture[e.pointerId] = true;
    // The site's program may not have come yet.
    if (!alone || e.button !== 0 || !running || !Module.playString) return;
    soundOn();
    var box = canvas.getBoundingClientRect();
    Module.playString(Module.stringAt((e.clientX - box.left) * 320 / box.width));
  }, true);
  ['pointerup', 'pointercancel'].forEach(function (type) {
    window.addEventListener(type, function (e) { delete onPicture[e.pointerId]; }, true);
  });

  // The picture takes the room the rest leaves: held upright the screen's width, between
  // the notes' few lines and the buttons; held sideways, or on a desktop, the height beside the
  // buttons. Below 3 of the screen's pixels to one of the picture's, the scale is whole, so
  // that its pixels stay square; from 3 up it need not be, as a pixel one wider than its
  // neighbours is then a third wider at most, and a phone's is too small to see.
  function fit() {
    var ratio = window.devicePixelRatio || 1, main = document.querySelector('main');
    var layout = getComputedStyle(main), px = function (value) { return parseFloat(value) || 0; };
    var pad = document.getElementById('pad'), strings = document.getElementById('strings');
    var line = document.getElementById('tuner').offsetHeight - canvas.offsetHeight; // the status line
    var width = main.clientWidth - px(layout.paddingLeft) - px(layout.paddingRight);
    var height = main.clientHeight - px(layout.paddingTop) - px(layout.paddingBottom) - line;
    if (layout.gridTemplateColumns.split(' ').length > 1) {
      width -= px(layout.columnGap) + pad.offsetWidth;
    } else {
      height -= px(getComputedStyle(document.getElementById('more')).minHeight) +
                pad.offsetHeight + strings.offsetHeight + 3 * px(layout.rowGap);
    }
    var scale = Math.min(width * ratio / 320, height * ratio / 240);
    if (scale < 3) scale = Math.max(1, Math.floor(scale));
    document.documentElement.style.setProperty('--screen-width', Math.floor(320 * scale) / ratio + 'px');
    document.documentElement.style.setProperty('--screen-height', Math.floor(240 * scale) / ratio + 'px');
  }
  window.addEventListener('resize', fit);
  fit();

  // Skip title is there while the title is, and Stop in its place after it.
  function showSkip(title) {
    var skip = document.querySelector('#pad [data-code="Enter"]'), stopButton = document.getElementById('stop');
    if (skip.hidden === !title) return;
    var focused = document.activeElement === skip || document.activeElement === stopButton;
    skip.hidden = !title;
    stopButton.hidden = title;
    if (focused) (title ? skip : stopButton).focus();
  }

  function stop(why) {
    if (!running) return;
    releaseAll();
    running = false;
    keepAwake();
    shown('sound', false);
    document.querySelectorAll('#pad button, #strings button').forEach(function (b) { b.disabled = true; });
    say('string-state', '');
    say('volume-state', '');
    document.getElementById('why').textContent = why;
    shown('stopped', true);
  }
  document.getElementById('again').addEventListener('click', function () { location.reload(); });

  function print(line) {
    var output = document.getElementById('output');
    output.textContent += (output.textContent ? '\n' : '') + line;
    shown('output', true);
  }

  // An error once the tuner runs (in a frame, or in a call from the program into the page)
  // stops it as Tab would, silent, and says what it was.
  function fail(error) {
    if (!running) return;
    print('Error: ' + (error && error.message || error));
    if (Module.stopAudio) {
      try {
        Module.stopAudio();
      } catch (e) {
        print('Error: ' + e.message); // the sound broke too, and has no more to play
      }
    }
    stop(words.stopped);
  }

  window.Module = {
    canvas: canvas,
    noInitialRun: true,
    print: print,
    onState: function (title, string, nowPlaying, volume, overlay) {
      playing = nowPlaying;
      showSkip(title);
      keepAwake();
      sayState(title, string, nowPlaying, volume, overlay);
    },
    printErr: function (line) { console.warn(line); },
    // Once when the tuner opens its sound (null), and again when the sound is made.
    onAudio: function (context) {
      audioOpen = true;
      if (context) {
        audio = context;
        audio.addEventListener('statechange', function () {
          showSound();
          if (lastState && running) sayState.apply(null, lastState);
        });
      }
      showSound();
    },
    onAudioFailed: function (why) {
      soundFailed = true;
      say('nosound', fill(words.noSound, { reason: why }));
      showSound();
    },
    // main runs as a promise of its exit status: the tuner's loops give the browser
    // control back at every frame. An exception it does not catch ends that promise.
    onRuntimeInitialized: function () {
      new Promise(function (started) {
        started(Module.ccall('main', 'number', ['number', 'number'], [0, 0], { async: true }));
      }).then(function (status) {
        stop(status === 0 ? words.stopped : words.failed);
      }, fail);
    },
    onAbort: fail
  };
  // What fails in a task of the program's own outside main's promise (a slice of decoding).
  window.addEventListener('error', function (e) {
    if (Module.calledRun) fail(e.error || e.message);
  });

  // A program that cannot be fetched (the site opened from disk, where fetching is
  // refused, or the network lost on a first visit) fails in a promise that nothing waits
  // on, before main: the tuner cannot start, and the page says so.
  window.addEventListener('unhandledrejection', function (e) {
    if (!running || Module.calledRun) return;
    print('Error: ' + (e.reason && e.reason.message || e.reason));
    stop(words.failed);
  });

  if (typeof WebAssembly !== 'object') {
    print(words.noWebAssembly);
    stop(words.failed);
    Module.onRuntimeInitialized = null;
  }
})();
