// The JavaScript half of the web port (port.cpp): the waits, and the tuner's state as each
// flip tells it.
mergeInto(LibraryManager.library, {
  // While the tuner waits, the notes left to decode are decoded (mixer.cpp's tuner_decode)
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

  // Every flip tells the state, and the page hears it when it has changed: putting it into
  // words at every frame cost a fifth of a millisecond of each, in Chromium, for nothing.
  // The keys read the title and the string from it at every pass (sdl/canvasvideo.js):
  // until the first flip, the program has not shown the title yet, and a string asked for
  // then skips it. The words hear only what a shown flip tells: a string played on the
  // picture runs through the strings between in passes that are never shown.
  $TunerState: { told: '', title: 1, string: 1 },
  tuner_state__deps: ['$TunerState'],
  tuner_state: function(title, string, playing, volume, overlay, shown) {
    TunerState.title = title;
    TunerState.string = string;
    var state = [title, string, playing, volume, overlay].join();
    if (!shown || state === TunerState.told || !Module['onState']) return;
    TunerState.told = state;
    Module['onState'](!!title, string, !!playing, volume, !!overlay);
  },
  // Which string's place is under a column of the picture, as the program draws them
  // (port.cpp): the page's taps on the picture ask it.
  tuner_state__postset: 'Module["stringAt"] = function(x) { return _tuner_string_at(x); };',
});
