// The JavaScript half of the canvas driver (canvasvideo.c): the frame on the page's canvas,
// and the keys as the page hands them over, a string touched on the picture among them.
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
    // Ctrl, which plays it (or plays it again from its start). On the title it is Return,
    // and the string is asked for again behind it, to be worked out from the string the
    // tuner starts with once the title has gone.
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
      if (s.title) events.push({ string: string });
      return events;
    }
  },
  $TunerKeys__deps: ['$TunerState'],
  $TunerKeys__postset:
    'Module["holdKey"] = TunerKeys.hold; Module["playString"] = TunerKeys.play;',
  // The port runs the tuner's passes one after another while keys wait (port.cpp).
  tuner_keys_waiting__deps: ['$TunerKeys'],
  tuner_keys_waiting: function() {
    return TunerKeys.queue.length ? 1 : 0;
  },
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
});
