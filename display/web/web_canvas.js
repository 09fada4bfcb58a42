// The page's side of the Web back end (an emscripten --js-library): the
// canvas, the presenter that puts its rows, and the page's keyboard,
// pointer, focus and close events. Everything here but the presenter runs on
// the page's own thread: calls from the program's thread are proxied to it.

mergeInto(LibraryManager.library, {
  $QZWeb: {
    canvas: null,
    context: null,
    image: null,
    open: false,
    // An animation-frame loop is running (a canvas opened again keeps it).
    ticking: false,
    // Bit 1: Alt+Enter switches fullscreen; bit 2: the program asked for it,
    // taken at the first key or click (the browser wants a user's gesture).
    fullscreen: 0,
    // The program asks for the pointer confined (a pointer lock, taken at
    // the first click if the browser refused it without one).
    confine: false,
    // The pointer in picture pixels, moved by the lock's relative motion.
    pointer: [0, 0],
    // The Enter release of an Alt+Enter the page acted on.
    swallowEnterUp: false,
    listeners: [],
    // KeyboardEvent.code -> [PC scan code (0x100: enhanced key), virtual key].
    keys: (function () {
      const k = {};
      const row = (codes, first) => codes.forEach((c, i) => { if (c) k[c] = [first + i, 0]; });
      'QWERTYUIOP'.split('').forEach((c, i) => k['Key' + c] = [0x10 + i, c.charCodeAt(0)]);
      'ASDFGHJKL'.split('').forEach((c, i) => k['Key' + c] = [0x1E + i, c.charCodeAt(0)]);
      'ZXCVBNM'.split('').forEach((c, i) => k['Key' + c] = [0x2C + i, c.charCodeAt(0)]);
      '1234567890'.split('').forEach((c, i) => k['Digit' + c] = [0x02 + i, c.charCodeAt(0)]);
      for (let i = 0; i < 10; ++i) k['F' + (i + 1)] = [0x3B + i, 0x70 + i];
      row(['Numpad7', 'Numpad8', 'Numpad9', null, 'Numpad4', 'Numpad5', 'Numpad6', null,
           'Numpad1', 'Numpad2', 'Numpad3', 'Numpad0'], 0x47);
      const vkOfNumpad = {Numpad0: 0x60, Numpad1: 0x61, Numpad2: 0x62, Numpad3: 0x63, Numpad4: 0x64,
                          Numpad5: 0x65, Numpad6: 0x66, Numpad7: 0x67, Numpad8: 0x68, Numpad9: 0x69};
      for (const c in vkOfNumpad) k[c][1] = vkOfNumpad[c];
      const named = {
        Escape: [0x01, 0x1B], Minus: [0x0C, 0xBD], Equal: [0x0D, 0xBB], Backspace: [0x0E, 0x08],
        Tab: [0x0F, 0x09], BracketLeft: [0x1A, 0xDB], BracketRight: [0x1B, 0xDD], Enter: [0x1C, 0x0D],
        ControlLeft: [0x1D, 0xA2], Semicolon: [0x27, 0xBA], Quote: [0x28, 0xDE], Backquote: [0x29, 0xC0],
        ShiftLeft: [0x2A, 0xA0], Backslash: [0x2B, 0xDC], Comma: [0x33, 0xBC], Period: [0x34, 0xBE],
        Slash: [0x35, 0xBF], ShiftRight: [0x36, 0xA1], NumpadMultiply: [0x37, 0x6A], AltLeft: [0x38, 0xA4],
        Space: [0x39, 0x20], CapsLock: [0x3A, 0x14], NumLock: [0x45, 0x90], ScrollLock: [0x46, 0x91],
        NumpadSubtract: [0x4A, 0x6D], NumpadAdd: [0x4E, 0x6B], NumpadDecimal: [0x53, 0x6E],
        IntlBackslash: [0x56, 0xE2], F11: [0x57, 0x7A], F12: [0x58, 0x7B],
        NumpadEnter: [0x11C, 0x0D], ControlRight: [0x11D, 0xA3], NumpadDivide: [0x135, 0x6F],
        PrintScreen: [0x137, 0x2C], AltRight: [0x138, 0xA5], Home: [0x147, 0x24], ArrowUp: [0x148, 0x26],
        PageUp: [0x149, 0x21], ArrowLeft: [0x14B, 0x25], ArrowRight: [0x14D, 0x27], End: [0x14F, 0x23],
        ArrowDown: [0x150, 0x28], PageDown: [0x151, 0x22], Insert: [0x152, 0x2D], Delete: [0x153, 0x2E],
        MetaLeft: [0x15B, 0x5B], MetaRight: [0x15C, 0x5C], ContextMenu: [0x15D, 0x5D],
      };
      return Object.assign(k, named);
    })(),
    // What a key typed: a single character of event.key, or the control
    // character of the keys that type one.
    character: function (e) {
      const controls = {Enter: 13, Tab: 9, Backspace: 8, Escape: 27};
      if (e.key in controls) return controls[e.key];
      const chars = Array.from(e.key || '');
      return chars.length === 1 ? chars[0].codePointAt(0) : 0;
    },
    // Kinds and bits as display/web/web_input.cpp reads them.
    send: function (kind, a, b, c) {
      _qz_web_input(kind, a | 0, b | 0, c | 0);
    },
    // The pointer in picture pixels, whatever size the page gives the canvas
    // (the picture fits it with its aspect kept, bars around it).
    position: function (e) {
      const c = QZWeb.canvas, r = c.getBoundingClientRect(), p = QZWeb.pointer;
      const w = QZWeb.width, h = QZWeb.height, scale = Math.min(r.width / w, r.height / h) || 1;
      if (document.pointerLockElement === c) {
        p[0] = Math.min(Math.max(p[0] + e.movementX / scale, 0), w - 1);
        p[1] = Math.min(Math.max(p[1] + e.movementY / scale, 0), h - 1);
      } else {
        p[0] = (e.clientX - r.left - (r.width - w * scale) / 2) / scale;
        p[1] = (e.clientY - r.top - (r.height - h * scale) / 2) / scale;
      }
      return [Math.floor(p[0]), Math.floor(p[1])];
    },
    switchFullscreen: function () {
      const done = document.fullscreenElement ? document.exitFullscreen() : QZWeb.canvas.requestFullscreen();
      done.catch((e) => err('qzgfx: fullscreen refused: ' + e));
    },
    lockPointer: function () {
      const asked = QZWeb.canvas.requestPointerLock();
      if (asked && asked.catch) asked.catch(() => {});  // refused without a gesture: the next click asks again
    },
    // A key or a click: the user's gesture lets the page take what the program asked for.
    gesture: function () {
      if (QZWeb.fullscreen & 2) {
        QZWeb.fullscreen &= ~2;
        if (!document.fullscreenElement) QZWeb.switchFullscreen();
      }
      if (QZWeb.confine && document.pointerLockElement !== QZWeb.canvas) QZWeb.lockPointer();
    },
    listen: function (target, type, handler, options) {
      target.addEventListener(type, handler, options);
      QZWeb.listeners.push([target, type, handler, options]);
    },
    install: function () {
      const canvas = QZWeb.canvas;
      const key = (e, down) => {
        const entry = QZWeb.keys[e.code];
        if (!entry) return;
        e.preventDefault();
        // Alt+Enter switches fullscreen, as on the desktop, and is not the program's.
        const enter = e.code === 'Enter' || e.code === 'NumpadEnter';
        if (enter && down && e.altKey && (QZWeb.fullscreen & 1)) {
          QZWeb.fullscreen &= ~2;
          if (!e.repeat) QZWeb.switchFullscreen();
          QZWeb.swallowEnterUp = true;
          return;
        }
        if (enter && !down && QZWeb.swallowEnterUp) {
          QZWeb.swallowEnterUp = false;
          return;
        }
        if (down) QZWeb.gesture();
        const flags = (down ? 1 : 0) | (e.repeat ? 2 : 0) | (e.shiftKey ? 4 : 0) | (e.ctrlKey ? 8 : 0) |
                      (e.altKey ? 16 : 0) | (e.getModifierState && e.getModifierState('AltGraph') ? 32 : 0);
        QZWeb.send(1, entry[0] | (entry[1] << 16), down ? QZWeb.character(e) : 0, flags);
      };
      const buttonBit = (e) => [0x01, 0x04, 0x02, 0x08, 0x10][e.button] || 0;
      QZWeb.listen(window, 'keydown', (e) => key(e, true));
      QZWeb.listen(window, 'keyup', (e) => key(e, false));
      QZWeb.listen(canvas, 'mousemove', (e) => { const p = QZWeb.position(e); QZWeb.send(2, p[0], p[1], 0); });
      QZWeb.listen(canvas, 'mousedown', (e) => {
        const p = QZWeb.position(e), bit = buttonBit(e);
        if (bit) QZWeb.send(3, bit, p[0], p[1]);
        e.preventDefault();
        QZWeb.gesture();
      });
      QZWeb.listen(window, 'mouseup', (e) => {
        const p = QZWeb.position(e), bit = buttonBit(e);
        if (bit) QZWeb.send(3, -bit, p[0], p[1]);
      });
      QZWeb.listen(canvas, 'wheel', (e) => {
        e.preventDefault();
        QZWeb.send(4, e.deltaY ? (e.deltaY < 0 ? 1 : -1) : 0, e.deltaX ? (e.deltaX > 0 ? 1 : -1) : 0, 0);
      }, {passive: false});
      QZWeb.listen(canvas, 'mouseleave', () => QZWeb.send(5, 0, 0, 0));
      QZWeb.listen(canvas, 'contextmenu', (e) => e.preventDefault());
      QZWeb.listen(window, 'focus', () => QZWeb.send(6, 1, 0, 0));
      QZWeb.listen(window, 'blur', () => QZWeb.send(6, 0, 0, 0));
      QZWeb.listen(document, 'visibilitychange', () => {
        QZWeb.send(6, document.hidden ? 0 : 1, 0, 0);
        if (document.hidden) QZWeb.resumeFrameWaiters();  // to wait again, timed: no frames come
      });
      QZWeb.listen(window, 'pagehide', () => QZWeb.send(7, 0, 0, 0));
      QZWeb.listen(document, 'pointerlockchange', () => QZWeb.send(8, document.pointerLockElement === canvas, 0, 0));
      // A canvas that lost its picture (its context lost and restored, the
      // page back from the back/forward cache) is drawn whole again.
      QZWeb.listen(canvas, 'contextrestored', () => QZWeb.send(9, 0, 0, 0));
      QZWeb.listen(window, 'pageshow', (e) => { if (e.persisted) QZWeb.send(9, 0, 0, 0); });
    },
    // The canvas' size (once the presenter holds it, the element's own
    // width and height no longer follow it).
    width: 0,
    height: 0,
    // The worker that puts the canvas, where the browser lets one draw it.
    presenter: null,
    // Where the page's frame loop finds the activity counter among the
    // shared words (HEAP32 index); 0 without threads, where it never parks.
    activityIndex: 0,
    // The order of the words a threaded page's program shares
    // (display/web/web_driver.h, WebShared).
    words: {lock: 0, first: 1, last: 2, rgba: 3, width: 4, height: 5, frames: 6, activity: 7, opened: 8},
    // The presenter's worker: it holds the canvas as an OffscreenCanvas and a
    // copy of its picture, and at each of its animation frames copies the
    // waiting band out of the shared memory and puts it. It runs only what is
    // written here, so it takes the words' indices with its first message.
    // It never blocks: a worker that does never gets its canvas shown.
    presenterBody: function () {
      let heap, base, words, canvas, context, image, opened = 0, idle = 0, lastActivity = 0, told = false;
      const at = (name) => base + words[name];
      // A new canvas: sized anew, so cleared.
      const resize = (width, height) => {
        canvas.width = width;
        canvas.height = height;
        image = new ImageData(width, height);
      };
      const put = (first, rows) => {
        context.putImageData(image, 0, 0, 0, first, image.width, rows);
        if (!told) {  // when the first picture reached the page, for measurements
          told = true;
          postMessage({firstFrame: performance.timeOrigin + performance.now()});
        }
      };
      // Tries the band lock: copies the waiting band out and empties it.
      // Null when the lock was taken, else the band's [first, rows] or [].
      const takeBand = () => {
        if (Atomics.compareExchange(heap, at('lock'), 0, 1) !== 0) return null;
        let band = [];
        const rgba = heap[at('rgba')], width = heap[at('width')], first = heap[at('first')], last = heap[at('last')];
        if (rgba && heap[at('opened')] !== opened) {
          opened = heap[at('opened')];
          resize(width, heap[at('height')]);
        }
        if (rgba && last >= first) {
          const start = first * width * 4, length = (last - first + 1) * width * 4;
          image.data.set(new Uint8Array(heap.buffer, rgba + start, length), start);
          heap[at('first')] = 0x7FFFFFFF;
          heap[at('last')] = -1;
          band = [first, last - first + 1];
        }
        Atomics.store(heap, at('lock'), 0);
        Atomics.notify(heap, at('lock'), 1);
        return band;
      };
      const frame = () => {
        const band = takeBand();
        if (band && band.length) put(band[0], band[1]);
        Atomics.add(heap, at('frames'), 1);
        Atomics.notify(heap, at('frames'));
        // After half a second with nothing to do, park until the program asks
        // for a pass or waits for vertical sync.
        const activity = Atomics.load(heap, at('activity'));
        idle = !band || band.length || activity !== lastActivity ? 0 : idle + 1;
        lastActivity = activity;
        if (idle < 30 || typeof Atomics.waitAsync !== 'function') {
          requestAnimationFrame(frame);
          return;
        }
        const resume = () => {
          idle = 0;
          self.qzPresenter.parked = false;
          requestAnimationFrame(frame);
        };
        self.qzPresenter.parked = true;
        const wait = Atomics.waitAsync(heap, at('activity'), activity);
        if (wait.async) wait.value.then(resume); else resume();
      };
      onmessage = (e) => {
        canvas = e.data.canvas;
        context = canvas.getContext('2d', {alpha: false});
        heap = new Int32Array(e.data.memory);
        base = e.data.shared >> 2;
        words = e.data.words;
        // A canvas whose context was lost and restored gets the whole picture.
        canvas.addEventListener('contextrestored', () => { if (image) put(0, image.height); });
        // Where a debugger finds the picture, and whether the loop is parked.
        self.qzPresenter = {canvas: canvas, context: context, parked: false};
        requestAnimationFrame(frame);
      };
    },
    // A presenter needs threads (the shared words) and a canvas that can be
    // handed to a worker and drawn there. (Without threads, rows sent to a
    // worker in messages cost the page more than putting them itself.)
    startPresenter: function (canvas, shared) {
      if (!shared || typeof canvas.transferControlToOffscreen !== 'function' ||
          typeof OffscreenCanvasRenderingContext2D === 'undefined') {
        return false;
      }
      let worker;
      try {
        const source = '(' + QZWeb.presenterBody.toString() + ')()';
        worker = new Worker(URL.createObjectURL(new Blob([source], {type: 'text/javascript'})), {name: 'qz-presenter'});
        const offscreen = canvas.transferControlToOffscreen();
        worker.postMessage({canvas: offscreen, memory: HEAP32.buffer, shared: shared, words: QZWeb.words}, [offscreen]);
      } catch (e) {
        err('qzgfx: the canvas stays with the page: ' + e);
        if (worker) worker.terminate();
        return false;
      }
      worker.onmessage = (e) => {
        if (Module['qzFirstFrameMs'] === undefined) Module['qzFirstFrameMs'] = e.data.firstFrame - performance.timeOrigin;
      };
      worker.onerror = (e) => err('qzgfx: the presenter failed: ' + e.message);
      QZWeb.presenter = worker;
      return true;
    },
    // Frames in a row that found nothing to do, and the program's request
    // count at the last one (the page's own frame loop, without a presenter).
    idleFrames: 0,
    lastActivity: 0,
    // Without threads: the program's vertical-sync wait, resumed by the frame.
    frameWaiters: [],
    resumeFrameWaiters: function () {
      const waiters = QZWeb.frameWaiters;
      QZWeb.frameWaiters = [];
      waiters.forEach((resume) => resume());
    },
    tick: function () {
      if (!QZWeb.open) {
        QZWeb.ticking = false;
        return;
      }
      const busy = _qz_web_pass(1);
      QZWeb.resumeFrameWaiters();
      // Threaded, an idle page parks its frame loop after half a second
      // until the program asks for a pass (a drawing, a vertical-sync wait):
      // a program waiting for a key then costs the page nothing.
      const index = QZWeb.activityIndex;
      const activity = index ? Atomics.load(HEAP32, index) : 0;
      QZWeb.idleFrames = busy || activity !== QZWeb.lastActivity ? 0 : QZWeb.idleFrames + 1;
      QZWeb.lastActivity = activity;
      if (QZWeb.idleFrames < 30 || !index || typeof Atomics.waitAsync !== 'function') {
        requestAnimationFrame(QZWeb.tick);
        return;
      }
      QZWeb.parked = Module['qzParked'] = true;
      // A request after the count was read makes the wait end at once.
      const wait = Atomics.waitAsync(HEAP32, index, activity);
      if (wait.async) wait.value.then(QZWeb.resume);
      else QZWeb.resume();
    },
    parked: false,
    // Once only however many reasons come (the program's request, input).
    resume: function () {
      if (!QZWeb.parked) return;
      QZWeb.parked = Module['qzParked'] = false;
      QZWeb.idleFrames = 0;
      requestAnimationFrame(QZWeb.tick);
    },
  },

  qz_web_canvas_open__deps: ['$QZWeb'],
  qz_web_canvas_open__proxy: 'sync',
  qz_web_canvas_open__sig: 'iiiii',
  qz_web_canvas_open: function (width, height, fullscreen, shared) {
    if (typeof document === 'undefined') return -1;
    let canvas = QZWeb.canvas || Module['canvas'] || document.getElementById('canvas');
    if (!canvas) {
      canvas = document.createElement('canvas');
      document.body.appendChild(canvas);
    }
    QZWeb.width = width;
    QZWeb.height = height;
    QZWeb.activityIndex = shared ? (shared >> 2) + QZWeb.words.activity : 0;
    // The presenter sizes the canvas it holds.
    if (!QZWeb.presenter) {
      canvas.width = width;
      canvas.height = height;
    }
    canvas.tabIndex = 0;
    // Fullscreen (or any size the page gives it) scales the picture to fit.
    canvas.style.objectFit = 'contain';
    canvas.style.imageRendering = 'pixelated';
    QZWeb.fullscreen = fullscreen;
    QZWeb.confine = false;
    QZWeb.canvas = canvas;
    if (!QZWeb.presenter && !QZWeb.startPresenter(canvas, shared)) {
      QZWeb.context = canvas.getContext('2d', {alpha: false});
      QZWeb.image = QZWeb.context.createImageData(width, height);
    }
    QZWeb.install();
    QZWeb.open = true;
    // The page that runs the program has the keyboard until it loses it.
    QZWeb.send(6, 1, 0, 0);
    if (!QZWeb.presenter && !QZWeb.ticking) {
      QZWeb.ticking = true;
      requestAnimationFrame(QZWeb.tick);
    }
    return 0;
  },

  qz_web_canvas_close__deps: ['$QZWeb'],
  qz_web_canvas_close__proxy: 'sync',
  qz_web_canvas_close__sig: 'v',
  qz_web_canvas_close: function () {
    QZWeb.open = false;
    QZWeb.confine = false;
    if (document.pointerLockElement === QZWeb.canvas) document.exitPointerLock();
    QZWeb.listeners.forEach((l) => l[0].removeEventListener(l[1], l[2], l[3]));
    QZWeb.listeners = [];
    QZWeb.image = null;
  },

  qz_web_canvas_title__proxy: 'sync',
  qz_web_canvas_title__sig: 'vi',
  qz_web_canvas_title: function (utf8) {
    document.title = UTF8ToString(utf8);
  },

  qz_web_canvas_confine__deps: ['$QZWeb'],
  qz_web_canvas_confine__proxy: 'sync',
  qz_web_canvas_confine__sig: 'vi',
  qz_web_canvas_confine: function (confined) {
    QZWeb.confine = !!confined && QZWeb.open;
    if (QZWeb.confine) QZWeb.lockPointer();
    else if (document.pointerLockElement === QZWeb.canvas) document.exitPointerLock();
  },

  qz_web_canvas_cursor__deps: ['$QZWeb'],
  qz_web_canvas_cursor__proxy: 'sync',
  qz_web_canvas_cursor__sig: 'vi',
  qz_web_canvas_cursor: function (visible) {
    if (QZWeb.canvas) QZWeb.canvas.style.cursor = visible ? '' : 'none';
  },

  // Called by the page's pass (no presenter), with the host lock held: the
  // rows are copied out of the program's memory (ImageData cannot wrap a
  // shared one).
  qz_web_canvas_put_rows__deps: ['$QZWeb'],
  qz_web_canvas_put_rows: function (rgba, first, rows) {
    const width = QZWeb.width, length = rows * width * 4;
    const image = QZWeb.image;
    if (!image) return;
    // An exception must not cross the pass: it would leave the host lock taken.
    try {
      image.data.set(HEAPU8.subarray(rgba, rgba + length), first * width * 4);
      QZWeb.context.putImageData(image, 0, 0, 0, first, width, rows);
    } catch (e) {
      err('qzgfx: the canvas refused the picture: ' + e);
      return;
    }
    // When the first picture reached the page (page clock), for measurements.
    if (Module['qzFirstFrameMs'] === undefined) Module['qzFirstFrameMs'] = performance.now();
  },
});
