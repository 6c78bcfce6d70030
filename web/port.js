// The JavaScript half of the web port (port.cpp): the wait for a displayed frame, the
// keys as the page hands them to SDL, and the music over Web Audio.
mergeInto(LibraryManager.library, {
  // The page's key listeners and its buttons hold and release the tuner's keys through
  // SDL's own event path, so they land in the same key-state array as on the desktop.
  // SDL's own listeners stay off (Module.doNotCaptureKeyboard): they would keep every
  // key from the browser, F5 and the rest, not only the tuner's.
  SDL_PumpEvents__deps: ['$SDL'],
  SDL_PumpEvents__postset:
    'Module["holdKey"] = function(keyCode, location, down) {' +
    '  SDL.events.push({ type: down ? "keydown" : "keyup", keyCode: keyCode, location: location });' +
    '};',
  // The tuner only pumps and never takes events from the queue, so each is dropped once
  // it has set the key state; kept, the queue would fill and drop every later key.
  // A key released in the same pump as it was pressed is released at the next one, so
  // that every press is seen held once: while a finger is on the screen, browsers put
  // off timers, and a tap on a button could start and end between two of the credits'
  // polls.
  SDL_PumpEvents: function() {
    var events = SDL.events, pressed = {};
    SDL.events = [];
    for (var i = 0; i < events.length; i++) {
      var event = events[i];
      if (event.type === 'keyup' && pressed[event.keyCode]) {
        SDL.events = events.slice(i);
        return;
      }
      if (event.type === 'keydown') pressed[event.keyCode] = true;
      SDL.handleEvent(event);
    }
  },

  // The browser's SDL_Quit prints that it was ignored, and the page shows what the
  // program prints: there is nothing to shut down beyond what the tuner already closed.
  SDL_Quit: function() {},

  // The page is told the state at every flip, and says it again only when it changes.
  tuner_state: function(title, string, playing, volume, overlay) {
    if (Module['onState']) Module['onState'](!!title, string, !!playing, volume, !!overlay);
  },

  tuner_next_frame: function() {
    return Asyncify.handleSleep(function(wakeUp) {
      requestAnimationFrame(function() { wakeUp(); });
    });
  },

  $TunerAudio: {
    context: null,
    gain: null,     // the music volume, between every clip and the speakers
    source: null,   // the clip playing, or null
    clips: [null],  // decoded sounds by id; 0 is no clip

    fail: function(text) {
      stringToUTF8(text, _tuner_error_text(), 256);
    },
  },

  tuner_audio_open__deps: ['$TunerAudio'],
  tuner_audio_open: function() {
    var Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) {
      TunerAudio.fail('this browser has no Web Audio');
      return -1;
    }
    // At the clips' own rate nothing is resampled before the output.
    var context;
    try {
      context = new Context({ sampleRate: 44100, latencyHint: 'interactive' });
    } catch (e) {
      try {
        context = new Context();
      } catch (e2) {
        TunerAudio.fail('Web Audio would not start (' + e2.message + ')');
        return -1;
      }
    }
    TunerAudio.context = context;
    TunerAudio.gain = context.createGain();
    TunerAudio.gain.connect(context.destination);
    if (Module['onAudio']) Module['onAudio'](context);
    return 0;
  },

  tuner_audio_close__deps: ['$TunerAudio', 'tuner_audio_halt'],
  // The decoded sounds go with the audio device: they are the clips' memory.
  tuner_audio_close: function() {
    _tuner_audio_halt();
    if (TunerAudio.context) TunerAudio.context.close();
    TunerAudio.context = null;
    TunerAudio.clips = [null];
  },

  // A decoded clip, one channel of samples from -1 to 1, as a sound Web Audio can play.
  tuner_audio_clip__deps: ['$TunerAudio'],
  tuner_audio_clip: function(samples, frames, rate) {
    if (!frames) {
      TunerAudio.fail('it holds no sound');
      return 0;
    }
    var sound;
    try {
      sound = TunerAudio.context.createBuffer(1, frames, rate);
    } catch (e) {
      TunerAudio.fail('Web Audio cannot hold it (' + e.message + ')');
      return 0;
    }
    sound.getChannelData(0).set(HEAPF32.subarray(samples >> 2, (samples >> 2) + frames));
    return TunerAudio.clips.push(sound) - 1;
  },

  tuner_audio_play__deps: ['$TunerAudio', 'tuner_audio_halt'],
  tuner_audio_play: function(clip) {
    _tuner_audio_halt();
    var source = TunerAudio.context.createBufferSource();
    source.buffer = TunerAudio.clips[clip];
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
    if (TunerAudio.gain) TunerAudio.gain.gain.value = volume / 128;
  },
});
