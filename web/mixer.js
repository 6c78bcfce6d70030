// The JavaScript half of SDL_mixer over Web Audio (mixer.cpp): the sounds the clips become,
// the one that plays, and its volume.
mergeInto(LibraryManager.library, {
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
  // The page silences a tuner that has failed, as its end would (mixer.cpp's close, always
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
