#!/usr/bin/python3
"""The web build in headless Chromium, driven over the DevTools protocol.

Usage: /usr/bin/python3 tests/web/web_test.py WEB_BUILD_DIR SNAPSHOT_TOOL
(SNAPSHOT_TOOL: the Linux build's linkageSWEEPdemo1-snapshot). Exit status 0
when every check passed. The server and the browser are this script's own
children, ended by their process ids whatever happens.
"""
import base64, contextlib, json, math, os, shutil, signal, socket, struct, subprocess, sys, tempfile, time, urllib.request, zlib
import websocket  # Debian: python3-websocket

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CHROMIUM = '/usr/lib/chromium/chromium'  # the /usr/bin wrapper adds flags of its own
failures = []


def check(name, ok, detail=''):
    print(('PASS ' if ok else 'FAIL ') + name + (': %s' % detail if detail != '' else ''), flush=True)
    if not ok:
        failures.append(name)


def png_rgba(path):
    """The snapshot's pixels (RGBA, 8 bits, not interlaced) with alpha set opaque, as the canvas shows them."""
    data = open(path, 'rb').read()
    pos, idat = 8, b''
    while pos < len(data):
        n, kind = struct.unpack('>I4s', data[pos:pos + 8])
        if kind == b'IHDR':
            width, height = struct.unpack('>II', data[pos + 8:pos + 16])
        elif kind == b'IDAT':
            idat += data[pos + 8:pos + 8 + n]
        pos += 12 + n
    raw, stride = zlib.decompress(idat), width * 4
    prev, out = bytearray(stride), bytearray()
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b, c = prev[i], (prev[i - 4] if i >= 4 else 0)
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        out += line
        prev = line
    out[3::4] = b'\xff' * (width * height)
    return width, height, bytes(out)


class Page:
    def __init__(self, url):
        self.ws = websocket.create_connection(url, timeout=60, suppress_origin=True)
        self.next_id = 0
        self.workers = {}  # session id -> target info of the page's workers, attached as they start

    def call(self, method, session=None, **params):
        self.next_id += 1
        msg = {'id': self.next_id, 'method': method, 'params': params}
        if session:
            msg['sessionId'] = session
        self.ws.send(json.dumps(msg))
        while True:
            msg = json.loads(self.ws.recv())
            if msg.get('method') == 'Target.attachedToTarget':
                self.workers[msg['params']['sessionId']] = msg['params']['targetInfo']
            elif msg.get('method') == 'Target.detachedFromTarget':
                self.workers.pop(msg['params']['sessionId'], None)
            elif msg.get('id') == self.next_id:
                if 'error' in msg:
                    raise RuntimeError('%s: %s' % (method, msg['error']))
                return msg.get('result', {})

    def js(self, expr, session=None):
        r = self.call('Runtime.evaluate', session, expression=expr, returnByValue=True, awaitPromise=True)
        if 'exceptionDetails' in r:
            raise RuntimeError('page: %s' % json.dumps(r['exceptionDetails'])[:400])
        return r['result'].get('value')

    def wait(self, expr, seconds, evaluate=None):
        """EXPR's first true value within SECONDS, evaluated by EVALUATE (the page's js by default)."""
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            value = (evaluate or self.js)(expr)
            if value:
                return value
            time.sleep(0.1)
        return None

    def canvas_js(self, expr):
        """EXPR with `canvas` and `context` bound where the picture is: the presenter's worker, or the page."""
        self.js('1')  # takes the attach messages sent so far
        for session, info in self.workers.items():
            if info.get('title') == 'qz-presenter':
                return self.js('((canvas, context) => %s)(qzPresenter.canvas, qzPresenter.context)' % expr, session)
        return self.js("((canvas) => ((context) => %s)(canvas.getContext('2d')))(document.getElementById('canvas'))" % expr)

    def open(self, url):
        self.call('Page.navigate', url=url)
        time.sleep(0.2)
        return self.wait("typeof Module !== 'undefined' && Module.qzFirstFrameMs", 30)

    def key(self, code, key, vk, down, modifiers=0):
        self.call('Input.dispatchKeyEvent', type='rawKeyDown' if down else 'keyUp', code=code, key=key,
                  windowsVirtualKeyCode=vk, modifiers=modifiers)

    def output(self):
        return self.js('qzOutput.join("\\n")') or ''


# The canvas' CRC-32, to follow the picture without reading it back each time.
CANVAS_CRC = '''(() => {
  const d = context.getImageData(0, 0, canvas.width, canvas.height).data;
  const t = new Int32Array(256);
  for (let n = 0; n < 256; ++n) { let v = n; for (let k = 0; k < 8; ++k) v = v & 1 ? 0xEDB88320 ^ (v >>> 1) : v >>> 1; t[n] = v; }
  let crc = -1;
  for (let i = 0; i < d.length; ++i) crc = t[(crc ^ d[i]) & 255] ^ (crc >>> 8);
  return [canvas.width, canvas.height, (crc ^ -1) >>> 0];
})()'''


def test_program_page(page, base):
    first = page.open(base + '/linkageSWEEPdemo1.html')
    check('the program page shows its first frame', first, '%.0f ms after navigation' % (first or 0))
    if not first:
        return
    if page.js("typeof Module.PThread !== 'undefined'"):
        check('the threaded page is cross-origin isolated', page.js('self.crossOriginIsolated'))
    check('the title is the program\'s', page.js('document.title') == 'linkageSWEEPdemo1', page.js('document.title'))
    page.key('Escape', 'Escape', 27, True)
    page.key('Escape', 'Escape', 27, False)
    status = page.wait("window.qzExit !== undefined ? 'status ' + window.qzExit : null", 10)
    check('Escape ends the program with status 0', status == 'status 0', status)
    line = page.js("(() => { const s = document.getElementById('status'); return s.hidden ? '' : s.textContent; })()")
    check('the page says how the program ended', line == 'ended with status 0', line)


def test_scene_page(page, base, snapshot_tool, scratch):
    if not page.open(base + '/tests/web/web_scene_page.html'):
        check('the scene page shows its first frame', False, page.output())
        return
    png = os.path.join(scratch, 'snapshot.png')
    subprocess.run([snapshot_tool, '--frames', '72', png], check=True)
    width, height, expected = png_rgba(png)
    want = [width, height, zlib.crc32(expected)]
    got = page.wait('(() => { const r = %s; return r[2] === %d ? r : null; })()' % (CANVAS_CRC, want[2]), 30, page.canvas_js)
    if not got:
        canvas = base64.b64decode(page.canvas_js('''(() => {
            const d = context.getImageData(0, 0, canvas.width, canvas.height).data; let s = '';
            for (let i = 0; i < d.length; i += 65536) s += String.fromCharCode.apply(null, d.subarray(i, i + 65536));
            return btoa(s); })()'''))
        differing = sum(1 for i in range(0, min(len(canvas), len(expected)), 4) if canvas[i:i + 4] != expected[i:i + 4])
        got = page.canvas_js(CANVAS_CRC)
        check('the canvas equals the Linux snapshot', False, '%s vs %s, %d pixels differ' % (got, want, differing))
    else:
        check('the canvas equals the Linux snapshot', True, '%dx%d' % (width, height))
    page.key('Escape', 'Escape', 27, True)
    check('Escape ends the scene page', page.wait('window.qzExit === 0', 10))


def test_input_page(page, base):
    if not page.open(base + '/tests/web/web_input_probe.html') or not page.wait("qzOutput.includes('probe ready')", 10):
        check('the probe page starts', False, page.output())
        return
    if page.js("typeof Module.PThread !== 'undefined'"):  # its input below then wakes it
        check('a page whose program waits parks its frame loop',
              page.wait('self.qzPresenter ? qzPresenter.parked : Module.qzParked', 5, page.canvas_js))
    # Shown at twice its size: positions still come in picture pixels.
    page.js("document.getElementById('canvas').style.width = '1280px'")
    rect = page.js("(() => { const r = document.getElementById('canvas').getBoundingClientRect(); return [r.left, r.top]; })()")
    page.call('Input.dispatchMouseEvent', type='mouseMoved', x=rect[0] + 201, y=rect[1] + 101)
    page.call('Input.dispatchMouseEvent', type='mousePressed', x=rect[0] + 201, y=rect[1] + 101, button='left', clickCount=1)
    page.call('Input.dispatchMouseEvent', type='mouseReleased', x=rect[0] + 201, y=rect[1] + 101, button='left', clickCount=1)
    page.call('Input.dispatchMouseEvent', type='mousePressed', x=rect[0] + 201, y=rect[1] + 101, button='left', clickCount=2)
    page.call('Input.dispatchMouseEvent', type='mouseReleased', x=rect[0] + 201, y=rect[1] + 101, button='left', clickCount=2)
    page.key('ArrowLeft', 'ArrowLeft', 37, True)
    page.key('ArrowLeft', 'ArrowLeft', 37, False)
    page.key('KeyA', 'a', 65, True)
    page.key('KeyA', 'a', 65, False)
    page.key('NumpadEnter', 'Enter', 13, True)
    page.key('NumpadEnter', 'Enter', 13, False)
    page.key('F1', 'F1', 112, True)
    page.key('F1', 'F1', 112, False)
    page.wait("qzOutput.includes('up 59')", 10)  # the keys before are read without Shift
    page.key('ShiftLeft', 'Shift', 16, True, 8)
    page.key('KeyA', 'A', 65, True, 8)
    page.key('KeyA', 'A', 65, False, 8)
    page.wait("qzOutput.includes('down 30 key 65')", 10)  # Shift still held while the probe reads A
    page.key('ShiftLeft', 'Shift', 16, False)
    page.key('KeyR', 'r', 82, True)
    page.key('KeyR', 'r', 82, False)
    page.wait("qzOutput.includes('reading')", 10)
    time.sleep(0.5)
    check('a blocking key read waits for a key', not page.wait("qzOutput.some((l) => l.startsWith('read '))", 0.1))
    page.key('Space', ' ', 32, True)
    page.key('Space', ' ', 32, False)
    page.wait("qzOutput.includes('up 57')", 10)  # Space's code went to the read, not to B's line
    page.key('KeyB', 'b', 66, True)  # held while the page loses the focus: released
    page.js("window.dispatchEvent(new Event('blur')); window.dispatchEvent(new Event('focus'))")
    page.key('KeyC', 'c', 67, True)
    page.key('KeyC', 'c', 67, False)
    check('the confined pointer is locked', page.wait("document.pointerLockElement === document.getElementById('canvas')", 5))
    page.key('KeyC', 'c', 67, True)
    page.key('KeyC', 'c', 67, False)
    check('the freed pointer is unlocked', page.wait('document.pointerLockElement === null', 5))
    # Alt+Enter: the canvas fills the screen, the picture fitted, the mouse still in picture pixels.
    page.key('AltLeft', 'Alt', 18, True, 1)
    page.key('Enter', 'Enter', 13, True, 1)
    page.key('Enter', 'Enter', 13, False, 1)
    page.key('AltLeft', 'Alt', 18, False)
    check('Alt+Enter makes the canvas fullscreen', page.wait("document.fullscreenElement === document.getElementById('canvas')", 5))
    time.sleep(0.5)  # the page takes the screen's size after the switch
    r = page.js('''(() => { const c = document.getElementById('canvas'), r = c.getBoundingClientRect();
        const s = Math.min(r.width / c.width, r.height / c.height);
        return [r.left + (r.width - c.width * s) / 2, r.top + (r.height - c.height * s) / 2, s]; })()''')
    # The protocol's positions are whole CSS pixels: the first whole one inside picture pixel (300, 200).
    x, y = math.ceil(r[0] + 300 * r[2] + 0.01), math.ceil(r[1] + 200 * r[2] + 0.01)
    page.call('Input.dispatchMouseEvent', type='mousePressed', x=x, y=y, button='left', clickCount=1)
    page.call('Input.dispatchMouseEvent', type='mouseReleased', x=x, y=y, button='left', clickCount=1)
    page.wait("qzOutput.some((l) => l.startsWith('button 1 at 300'))", 5)
    page.key('Escape', 'Escape', 27, True)
    page.wait("window.qzExit !== undefined", 10)
    lines = page.output().split('\n')
    check('the mouse maps to picture pixels', 'button 1 at 100 50 mouse 0 100 50' in lines, lines)
    check('a second click soon after is a double click', lines.count('double 1 at 100 50') == 1, lines)
    # Extended keys: E0 4B (left) and E0 1C (keypad Enter) as extended codes.
    expected = ['down 75 key %d' % (0x4B * 256 + 255), 'up 75', 'down 30 key 97', 'up 30', 'down 28 key 13',
                'up 28', 'down 59 key %d' % (0x3B * 256 + 255), 'up 59', 'down 42 key 0', 'down 30 key 65', 'up 30',
                'up 42', 'down 19 key 114', 'up 19', 'down 57 key 0', 'up 57',
                'down 48 key 98', 'up 48', 'down 46 key 99', 'up 46', 'down 46 key 99', 'up 46', 'down 1 key 27']
    keys = [line for line in lines if line.startswith(('down', 'up'))]
    check('keys and releases reach the program', keys == expected, keys)
    check('the fullscreen picture maps the mouse to picture pixels', 'button 1 at 300 200 mouse 0 300 200' in lines, [l for l in lines if l.startswith('button')] + [r])
    check('Shift shows held with its letter', lines.count('shift held') == 1, lines)
    check('the blocking read takes the key sent', 'read 32' in lines, lines)
    check('the probe ends with status 0', page.js('window.qzExit') == 0)


# The canvas' first four pixels of the top row, RGB.
TOP_PIXELS = '''Array.from(context.getImageData(0, 0, 4, 1).data).filter((v, i) => i % 4 !== 3).join(' ')'''
# The pixel probe's first picture: 16 bits show each channel's top bits (red 5, green 6, blue 5).
SIXTEEN_BITS = '248 0 0 0 252 0 0 0 248 80 160 200'


def test_pixel_page(page, base):
    if not page.open(base + '/tests/web/web_pixel_probe.html'):
        check('the pixel probe starts', False, page.output())
        return
    # 8 bits show the palette's colours.
    steps = [('16 bits', SIXTEEN_BITS), ('8 bits', '10 20 30 255 128 1 0 254 255 77 0 200'),
             ('palette changed', '10 20 30 7 200 99 0 254 255 77 0 200')]
    for step, want in steps:
        page.wait("qzOutput.includes('%s')" % step, 10)
        got = page.wait('(() => { const p = %s; return p === "%s" ? p : null; })()' % (TOP_PIXELS, want), 5, page.canvas_js)
        check('the canvas shows the pixels exactly: ' + step, got == want, page.canvas_js(TOP_PIXELS))
        if step == 'palette changed':
            # A canvas that lost its picture gets it whole again, the program drawing nothing.
            for name in ('contextrestored', 'pageshow'):
                page.canvas_js('(context.clearRect(0, 0, 64, 16), 0)')
                if name == 'contextrestored':  # on the canvas, wherever it is drawn
                    page.canvas_js("(canvas.dispatchEvent(new Event('contextrestored')), 0)")
                else:  # the page back from the back/forward cache
                    page.js("window.dispatchEvent(new PageTransitionEvent('pageshow', {persisted: true}))")
                got = page.wait('(() => { const p = %s; return p === "%s" ? p : null; })()' % (TOP_PIXELS, want), 5, page.canvas_js)
                check('the picture comes back after ' + name, got == want, page.canvas_js(TOP_PIXELS))
        windowed = page.js('document.fullscreenElement === null')
        page.key('Space', ' ', 32, True)
        page.key('Space', ' ', 32, False)
        if step == '16 bits':  # the first key lets the page take the fullscreen the program asked for
            check('the fullscreen flag makes the canvas fullscreen at the first key', windowed and
                  page.wait("document.fullscreenElement === document.getElementById('canvas')", 5))
    check('the pixel probe ends with status 0', page.wait('window.qzExit === 0', 10))


def test_page_without_presenter(page, base):
    """A browser that cannot draw a canvas from a worker: the page's own frames put it."""
    added = page.call('Page.addScriptToEvaluateOnNewDocument',
                      source='delete HTMLCanvasElement.prototype.transferControlToOffscreen')['identifier']
    try:
        page.open(base + '/tests/web/web_pixel_probe.html')
        got = page.wait('(() => { const p = %s; return p === "%s" ? p : null; })()' % (TOP_PIXELS, SIXTEEN_BITS), 10,
                        page.canvas_js)
        check('without a presenter the page puts the canvas itself', got == SIXTEEN_BITS and not page.canvas_js('!!self.qzPresenter'), got)
    finally:
        page.call('Page.removeScriptToEvaluateOnNewDocument', identifier=added)


# The line under the canvas, once shown on the page at PATH.
STATUS_LINE = '''(() => {
  const s = document.getElementById('status');
  return location.pathname.endsWith('%s') && s && !s.hidden ? s.textContent : null; })()'''


def test_refusal_lines(page, base):
    page.call('Page.navigate', url=base + '/tests/web/web_pixel_probe.html?PROBE_CRASH=1')
    line = page.wait(STATUS_LINE % 'web_pixel_probe.html', 15) or ''
    check('a program that crashes says so under the canvas', line.startswith('stopped: '), line)
    cases = [('delete window.WebAssembly', 'This browser cannot run WebAssembly.')]
    if page.js("typeof Module.PThread !== 'undefined'"):
        cases.append(("Object.defineProperty(self, 'crossOriginIsolated', {value: false})", 'This page needs shared memory'))
    for script, want in cases:
        added = page.call('Page.addScriptToEvaluateOnNewDocument', source=script)['identifier']
        page.call('Page.navigate', url=base + '/linkageSWEEPdemo1.html')
        line = page.wait(STATUS_LINE % 'linkageSWEEPdemo1.html', 10) or ''
        page.call('Page.removeScriptToEvaluateOnNewDocument', identifier=added)
        check('a page that cannot run says why: ' + want, line.startswith(want) and not page.js('self.Module && Module.qzFirstFrameMs'), line)


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


@contextlib.contextmanager
def browser_page(web_dir, scratch):
    """Serves WEB_DIR on 127.0.0.1 and starts headless Chromium; yields (page, base URL, browser process).
    Both are this process' children, ended by their process ids on the way out."""
    children = []
    try:
        port = free_port()
        children.append(subprocess.Popen(['bash', os.path.join(ROOT, 'tools/serve-web.sh'), web_dir, str(port)],
                                         stdout=subprocess.DEVNULL, start_new_session=True))
        browser = subprocess.Popen(
            [CHROMIUM, '--headless', '--no-sandbox', '--disable-dev-shm-usage', '--remote-debugging-port=0',
             '--remote-allow-origins=*', '--user-data-dir=' + os.path.join(scratch, 'profile'), '--no-first-run',
             '--disable-extensions', '--disable-background-networking', '--disable-component-update',
             '--window-size=1700,1100', 'about:blank'],
            stdout=subprocess.DEVNULL, stderr=open(os.path.join(scratch, 'chromium.log'), 'w'), start_new_session=True)
        children.append(browser)
        port_file = os.path.join(scratch, 'profile', 'DevToolsActivePort')
        end = time.monotonic() + 60
        while not (os.path.exists(port_file) and os.path.getsize(port_file)):
            if browser.poll() is not None or time.monotonic() > end:
                raise RuntimeError('chromium did not start')
            time.sleep(0.1)
        devtools = open(port_file).read().split('\n')[0]
        base = 'http://127.0.0.1:%d' % port
        for _ in range(100):  # the server is up once it answers
            try:
                urllib.request.urlopen(base + '/').close()
                break
            except OSError:
                time.sleep(0.1)
        targets = json.load(urllib.request.urlopen('http://127.0.0.1:%s/json/list' % devtools))
        page = Page(next(t for t in targets if t['type'] == 'page')['webSocketDebuggerUrl'])
        page.call('Page.enable')
        page.call('Target.setAutoAttach', autoAttach=True, waitForDebuggerOnStart=False, flatten=True)  # workers too
        yield page, base, browser
    finally:
        for child in children:
            try:
                os.killpg(child.pid, signal.SIGTERM)  # its own session: the server's python, the browser's helpers
                child.wait(10)
            except (ProcessLookupError, subprocess.TimeoutExpired):
                os.killpg(child.pid, signal.SIGKILL)


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    web_dir, snapshot_tool = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    # Ended from outside, the clean-up below still runs.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    scratch = tempfile.mkdtemp(prefix='qz-web-test-')
    try:
        with browser_page(web_dir, scratch) as (page, base, _):
            test_program_page(page, base)
            test_scene_page(page, base, snapshot_tool, scratch)
            test_input_page(page, base)
            test_pixel_page(page, base)
            if page.js("typeof Module.PThread !== 'undefined'"):
                test_page_without_presenter(page, base)
            test_refusal_lines(page, base)
    except Exception as e:  # a check that could not run fails
        check('the test ran to its end', False, e)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print('web: %d failed' % len(failures) if failures else 'web: all checks passed', flush=True)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
