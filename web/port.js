// The JavaScript half of the web port (port.cpp): the waits, the frame on the canvas, the
// keys as the page hands them over, and the music over Web Audio.
mergeInto(LibraryManager.library, {
  $TunerScreen: {
    context: null, // the canvas's 2D context
    image: null    // the frame in the program's memory, as the canvas takes it
  },

  // The whole frame in one call. The image is a view of the program's memory, made again
  // when the memory has grown and the old view has gone with it.
  tuner_present__deps: ['$TunerScreen'],
  tuner_present: function(frame, width, height) {
    var s = TunerScreen, canvas = Module['canvas'];
    if (!s.context) {
      if (canvas.width !== width || canvas.height !== height) {
        canvas.width = width;
        canvas.height = height;
      }
      s.context = canvas.getContext('2d');
    }
    if (!s.image || s.image.data.buffer !== HEAPU8.buffer || s.image.data.byteOffset !== frame) {
      s.image = new ImageData(new Uint8ClampedArray(HEAPU8.buffer, frame, width * height * 4), width, height);
    }
    s.context.putImageData(s.image, 0, 0);
  },

  // While the tuner waits, the notes left to decode are decoded (port.cpp's tuner_decode)
  // in slices of a few milliseconds, each a task of its own, so that a key or a frame never
  // waits long behind one: one slice after each frame's pass, and up to half of a longer
  // wait. Once all are decoded, a wait is only a wait.
  tuner_sleep: function(ms, decoding) {
    return Asyncify.handleSleep(function(wakeUp) {
      var slices = ms < 0 ? 1 : Math.floor(ms / 8);
      var decode = function() {
        if (slices-- > 0 && _tuner_decode(4)) setTimeout(decode);
      };
      if (decoding) setTimeout(decode);
      if (ms < 0) requestAnimationFrame(function() { wakeUp(); });
      else setTimeout(wakeUp, ms);
    });
  },

  // The page's key listeners and its buttons hold and release the tuner's keys here, by
  // SDL key symbol, and its picture asks for a string; the canvas driver takes them at each
  // pump, in order, as SDL's own events. The tuner acts on a press only after a pass with
  // no key held (its latch), so every press is seen held for a pass at least, and every
  // release free for a pass at least before the next press: a pump stops at a release of
  // a key it pressed, or at a press after a release it took, and the rest wait, in order,
  // for the next pump. So a burst of presses is worked off at two passes each, however
  // quickly it came: while a finger is on the screen browsers put off timers, and a phone
  // saving its battery runs 30 passes a second. Past `most` presses waiting, a press is
  // dropped with its release, so that the queue never grows without end.
  $TunerKeys: {
    queue: [],     // {sym, down}, or {string} for a string asked for on the picture
    pressed: {},   // the keys pressed in this pump
    released: false, // whether this pump has released a key
    dropped: {},   // the keys whose press was dropped, until their release
    most: 32,
    waiting: function() {
      return TunerKeys.queue.reduce(function(n, e) { return n + (e.down ? 1 : e.string ? 4 : 0); }, 0);
    },
    hold: function(sym, down) {
      var k = TunerKeys;
      if (down && k.waiting() >= k.most) k.dropped[sym] = true;
      else if (!down && k.dropped[sym]) delete k.dropped[sym];
      else k.queue.push({ sym: sym, down: down });
    },
    // A string asked for becomes the tuner's own presses when its turn comes, from the
    // string chosen then: Left or Right the shorter way round, three at most, then Left
    // Ctrl, which plays it (or plays it again from its start). On the title, it is Return.
    play: function(string) {
      if (TunerKeys.waiting() < TunerKeys.most) TunerKeys.queue.push({ string: string });
    },
    presses: function(string) {
      var s = TunerState, syms = [];
      if (s.title) {
        syms.push(13);
      } else {
        var left = (string - s.string + 6) % 6, right = (s.string - string + 6) % 6;
        for (var i = 0; i < Math.min(left, right); i++) syms.push(left <= right ? 276 : 275);
        syms.push(306);
      }
      var events = [];
      syms.forEach(function(sym) { events.push({ sym: sym, down: true }, { sym: sym, down: false }); });
      return events;
    }
  },
  $TunerKeys__deps: ['$TunerState'],
  $TunerKeys__postset:
    'Module["holdKey"] = TunerKeys.hold; Module["playString"] = TunerKeys.play;',
  tuner_take_key__deps: ['$TunerKeys'],
  tuner_take_key: function(first) {
    var k = TunerKeys;
    if (first) {
      k.pressed = {};
      k.released = false;
    }
    // A string's presses are worked out first in a pump, so that the string they start
    // from is the one the last pass left.
    if (k.queue[0] && k.queue[0].string) {
      if (!first) return 0;
      k.queue.splice.apply(k.queue, [0, 1].concat(k.presses(k.queue[0].string)));
    }
    var event = k.queue[0];
    if (!event || (event.down ? k.released : k.pressed[event.sym])) return 0;
    k.queue.shift();
    if (event.down) k.pressed[event.sym] = true;
    else k.released = true;
    return event.sym * 2 + (event.down ? 1 : 0);
  },

  // Every flip tells the state, and the page hears it when it has changed: putting it into
  // words at every frame cost a fifth of a millisecond of each, in Chromium, for nothing.
  // Until the first flip, the program has not shown the title yet: a string asked for then
  // skips it.
  $TunerState: { told: '', title: 1, string: 1 },
  tuner_state__deps: ['$TunerState'],
  tuner_state: function(title, string, playing, volume, overlay) {
    TunerState.title = title;
    TunerState.string = string;
    var state = [title, string, playing, volume, overlay].join();
    if (state === TunerState.told || !Module['onState']) return;
    TunerState.told = state;
    Module['onState'](!!title, string, !!playing, volume, !!overlay);
  },

  $TunerAudio: {
    Context: null,  // the browser's AudioContext
    wanted: false,  // the tuner has opened its audio device
    context: null,  // made at the player's first key or tap (the page's), or the first note
    gain: null,     // the music volume, between every sound and the speakers
    volume: 128,
    source: null,   // the sound playing, or null
    sounds: [null], // the AudioBuffers by id; 0, and an empty clip's, are null

    fail: function(text) {
      stringToUTF8(text, _tuner_reason(), _tuner_reason_size());
    },

    // Browsers let a context sound only after the player has done something on the page,
    // and making one holds the page up for a moment (a third of a second, measured in
    // Chromium): it is made then, not at start. At the notes' own rate nothing is
    // resampled before the output. A context the browser will not make leaves the tuner
    // silent, and the page says why.
    start: function() {
      var a = TunerAudio;
      if (!a.wanted || a.context) return a.context;
      try {
        a.context = new a.Context({ sampleRate: 44100, latencyHint: 'interactive' });
      } catch (e) {
        try {
          a.context = new a.Context();
        } catch (e2) {
          a.wanted = false;
          if (Module['onAudioFailed']) Module['onAudioFailed'](e2.message || String(e2));
          return null;
        }
      }
      a.gain = a.context.createGain();
      a.gain.gain.value = a.volume / 128;
      a.gain.connect(a.context.destination);
      if (Module['onAudio']) Module['onAudio'](a.context);
      return a.context;
    }
  },
  // The page silences a tuner that has failed, as its end would (port.cpp's close, always
  // linked).
  $TunerAudio__postset: 'Module["startAudio"] = TunerAudio.start; Module["stopAudio"] = _tuner_audio_close;',

  tuner_audio_open__deps: ['$TunerAudio'],
  tuner_audio_open: function() {
    // Safari before 14.1 named it webkitAudioContext, and made no sound without one; the
    // page needs Safari 15 anyway (its WebAssembly copies memory in bulk).
    TunerAudio.Context = window.AudioContext;
    if (!TunerAudio.Context) {
      TunerAudio.fail('this browser has no Web Audio');
      return -1;
    }
    TunerAudio.wanted = true;
    if (Module['onAudio']) Module['onAudio'](null);
    return 0;
  },

  tuner_audio_close__deps: ['$TunerAudio', 'tuner_audio_halt'],
  tuner_audio_close: function() {
    _tuner_audio_halt();
    if (TunerAudio.context) TunerAudio.context.close();
    TunerAudio.context = null;
    TunerAudio.wanted = false;
    TunerAudio.sounds = [null];
  },

  // A decoded clip, one channel of samples from -1 to 1, becomes a sound as soon as it is
  // decoded, while the tuner waits: a sound needs no context to be made, and filling one
  // takes milliseconds (the browser's fresh memory), which a key would otherwise wait for.
  tuner_audio_clip__deps: ['$TunerAudio'],
  tuner_audio_clip: function(samples, frames, rate) {
    var buffer = null;
    // An empty clip (a stream that broke off at once) has no sound to make.
    if (frames) {
      buffer = new AudioBuffer({ length: frames, sampleRate: rate });
      buffer.copyToChannel(HEAPF32.subarray(samples >> 2, (samples >> 2) + frames), 0);
    }
    return TunerAudio.sounds.push(buffer) - 1;
  },

  tuner_audio_play__deps: ['$TunerAudio', 'tuner_audio_halt'],
  tuner_audio_play: function(id) {
    _tuner_audio_halt();
    var buffer = TunerAudio.sounds[id], context = TunerAudio.start();
    if (!context || !buffer) return;
    var source = context.createBufferSource();
    source.buffer = buffer;
    source.loop = true;
    source.connect(TunerAudio.gain);
    source.start();
    TunerAudio.source = source;
  },

  tuner_audio_halt__deps: ['$TunerAudio'],
  tuner_audio_halt: function() {
    if (!TunerAudio.source) return;
    TunerAudio.source.stop();
    TunerAudio.source.disconnect();
    TunerAudio.source = null;
  },

  tuner_audio_playing__deps: ['$TunerAudio'],
  tuner_audio_playing: function() {
    return TunerAudio.source ? 1 : 0;
  },

  // SDL_mixer scales the music's samples by volume / 128.
  tuner_audio_volume__deps: ['$TunerAudio'],
  tuner_audio_volume: function(volume) {
    TunerAudio.volume = volume;
    if (TunerAudio.gain) TunerAudio.gain.gain.value = volume / 128;
  },
});
