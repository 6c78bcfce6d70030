// Stand-ins for what only an iPhone has, put into a page before its own scripts: Safari's
// Audio Session API, and a context that can say "interrupted", as after a call. The real
// context stays underneath, so the sound still plays. window.session tells the audio
// session's type when the sound was made and when it was first resumed; call() stands in
// for a call.
export function iPhoneAudio() {
  Object.defineProperty(navigator, 'audioSession', { value: { type: 'auto' } });
  // A context may sound from its start (the driver's calls count as the player's gestures).
  window.session = { typeAtStart: null, typeAtFirstResume: null, resumes: 0 };
  const Context = window.AudioContext;
  window.AudioContext = class extends Context {
    constructor(...options) {
      super(...options);
      window.session.typeAtStart = navigator.audioSession.type;
    }
  };
  const resume = AudioContext.prototype.resume;
  AudioContext.prototype.resume = function () {
    if (window.session.resumes++ === 0) window.session.typeAtFirstResume = navigator.audioSession.type;
    this.interrupted = false;
    return resume.call(this);
  };
  const state = Object.getOwnPropertyDescriptor(BaseAudioContext.prototype, 'state').get;
  Object.defineProperty(BaseAudioContext.prototype, 'state', {
    get() { return this.interrupted ? 'interrupted' : state.call(this); }
  });
}

// A call, in a page given the stand-ins: the system stops the sound and says "interrupted".
export function call(page) {
  return page.evaluate(async () => {
    const context = window.tap.context;
    await context.suspend();
    context.interrupted = true;
    context.dispatchEvent(new Event('statechange'));
  });
}
