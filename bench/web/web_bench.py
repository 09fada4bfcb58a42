#!/usr/bin/python3
"""Benchmarks of the web pages in headless Chromium (run by hand, never by the test command).

Usage: /usr/bin/python3 bench/web/web_bench.py WEB_DIR [WEB_DIR ...] [--native QZ_BENCH]

Each WEB_DIR is a web build (build/web, build/web-asyncify) with the demo page and, for the
present and workload figures, the benchmark page (--target qz_web_bench). --native names the
Linux Release build's qz_bench, timed in the same run for the workloads' ratios.
"""
import gzip, json, os, shutil, signal, statistics, subprocess, sys, tempfile, time

sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                                'tests', 'web'))
import web_test  # its DevTools client and the browser it starts

DEMO = 'linkageSWEEPdemo1'
BENCH = '/bench/web/qz_web_bench.html'
LOADS = 7
CPU_SECONDS = 10
TICK = os.sysconf('SC_CLK_TCK')


def sizes(web_dir):
    """The demo's .wasm + .js, raw and gzipped (level 9), in bytes; the worker script apart."""
    out = {}
    for ext in ('wasm', 'js', 'worker.js'):
        path = os.path.join(web_dir, '%s.%s' % (DEMO, ext))
        if os.path.exists(path):
            data = open(path, 'rb').read()
            out[ext] = (len(data), len(gzip.compress(data, 9)))
    return out


def first_frames(page, base):
    """Navigation start to the demo's first frame on the canvas (page clock), ms, one per load."""
    times = []
    for _ in range(LOADS):
        before = page.js('performance.timeOrigin')  # the figure read must be the new document's
        page.call('Page.navigate', url=base + '/%s.html' % DEMO)
        first = page.wait("performance.timeOrigin !== %r && typeof Module !== 'undefined' && Module.qzFirstFrameMs"
                          % before, 30)
        if not first:
            raise RuntimeError('the demo page showed no frame')
        times.append(first)
    return times


def cpu_ticks(browser_pid):
    """Clock ticks (user + system) of the browser's processes by kind: 'renderer' or 'other'."""
    ticks = {}
    for pid in os.listdir('/proc'):
        try:
            stat = open('/proc/%s/stat' % pid).read()
            fields = stat[stat.rindex(')') + 2:].split()
            if int(fields[3]) != browser_pid:  # session id: the browser started its own session
                continue
            kind = 'renderer' if b'--type=renderer' in open('/proc/%s/cmdline' % pid, 'rb').read() else 'other'
            ticks[pid] = (kind, int(fields[11]) + int(fields[12]))
        except (OSError, ValueError):
            continue  # ended meanwhile
    return ticks


def cpu_share(browser_pid, seconds):
    """Share of one core taken by the renderers and by all the browser's processes over SECONDS."""
    before, start = cpu_ticks(browser_pid), time.monotonic()
    time.sleep(seconds)
    after, wall = cpu_ticks(browser_pid), time.monotonic() - start
    used = {'renderer': 0, 'all': 0}
    for pid, (kind, t) in after.items():
        delta = t - before.get(pid, (kind, 0))[1]
        used['all'] += delta
        if kind == 'renderer':
            used[kind] += delta
    return {k: v / TICK / wall for k, v in used.items()}


def cpu_pair(page, base, browser_pid):
    """The idle animating demo against the bare animation-frame loop, taken in turns, twice."""
    runs = {'demo': [], 'loop': []}
    for _ in range(2):
        page.open(base + '/%s.html' % DEMO)
        time.sleep(1)
        runs['demo'].append(cpu_share(browser_pid, CPU_SECONDS))
        page.call('Page.navigate', url=base + '/bench/web/raf_loop.html')
        page.wait("window.qzLoopStarted !== undefined", 10)
        time.sleep(1)
        runs['loop'].append(cpu_share(browser_pid, CPU_SECONDS))
    return runs


# The copy the page makes of a band out of the program's shared memory into
# its ImageData before putImageData (ImageData cannot wrap shared memory),
# timed alone: median ms of 50.
SHARED_COPY = '''(() => {
  const w = 1680 * 4, from = new Uint8Array(new SharedArrayBuffer(w * 1050)), to = new ImageData(1680, 1050).data;
  const t = [];
  for (let i = 0; i < 50; ++i) { const s = performance.now(); to.set(from.subarray(0, w * %d)); t.push(performance.now() - s); }
  return t.sort((a, b) => a - b)[25];
})()'''


FRAME_TIMING = open(os.path.join(os.path.dirname(os.path.abspath(__file__)), 'frame_timing.js')).read()


def task_seconds(page):
    """Seconds of work the page's thread has done so far (its tasks, scripts included)."""
    return next(m['value'] for m in page.call('Performance.getMetrics')['metrics'] if m['name'] == 'TaskDuration')


def present_costs(page, base, rows):
    """Over about 5 s of the benchmark page putting ROWS rows a frame: the page thread's work per frame
    put (ms, all its tasks); [(ms, putImageData ms)] of each animation-frame callback that put the rows,
    on the thread that puts them (the presenter's worker, else the page's); the callbacks seen; the copy of
    that many rows out of shared memory, alone, ms; whether a presenter put them."""
    page.call('Page.navigate', url=base + BENCH + '?QZ_BENCH=rows&QZ_ROWS=%d' % rows)
    if not page.wait("typeof qzOutput !== 'undefined' && qzOutput.includes('drawing %d rows')" % rows, 30):
        raise RuntimeError('the benchmark page did not start: %s' % page.output())
    time.sleep(1)
    presenter = page.canvas_js('!!self.qzPresenter')
    if presenter:
        page.canvas_js('(() => { %s })()' % FRAME_TIMING)
    page.canvas_js('(qzFrameTimes.length = 0)')
    page.call('Performance.enable')
    before = task_seconds(page)
    time.sleep(5)
    page_ms = (task_seconds(page) - before) * 1000
    frames = page.canvas_js('qzFrameTimes')
    copy = page.js(SHARED_COPY % rows)
    page.key('Escape', 'Escape', 27, True)
    page.wait('window.qzExit !== undefined', 10)
    put = [(ms, put_ms) for ms, n, put_ms in frames if n == rows]
    return page_ms / max(len(put), 1), put, len(frames), copy, presenter


def page_workload(page, base, name):
    """(median, min) ms of the workload drawn in the page."""
    page.call('Page.navigate', url=base + BENCH + '?QZ_BENCH=workloads&QZ_WORKLOAD=' + name)
    if not page.wait("typeof qzOutput !== 'undefined' && qzOutput.includes('done')", 120):
        raise RuntimeError('the workload did not finish: %s' % page.output())
    line = next(l for l in page.output().split('\n') if l.startswith(name + ' '))
    return tuple(float(v) for v in line.split()[1:3])


def native_workload(qz_bench, name):
    """(median, min) ms of qz_bench's library column for the workload, the same seed."""
    out = subprocess.run([qz_bench, '--benchmark_filter=^%s/library/' % name, '--benchmark_repetitions=15',
                          '--benchmark_min_time=0.05', '--benchmark_report_aggregates_only=true',
                          '--benchmark_format=json'], env=dict(os.environ, QZGFX='null'),
                         check=True, capture_output=True, text=True).stdout
    times = {b['aggregate_name']: b['real_time'] for b in json.loads(out)['benchmarks'] if 'aggregate_name' in b}
    return times['median'], times['min']


def workload_pairs(page, base, qz_bench):
    """Each workload natively, then in the page, in turns, twice: the smaller median of each side
    (load on a shared machine only ever adds) and the smallest minimum."""
    pairs = {}
    for _ in range(2):
        for name in ('W%d' % i for i in range(1, 9)):
            runs = pairs.setdefault(name, {'native': [], 'page': []})
            if qz_bench:
                runs['native'].append(native_workload(qz_bench, name))
            runs['page'].append(page_workload(page, base, name))
    return {name: {side: (min(m for m, _ in r), min(l for _, l in r)) if r else None for side, r in runs.items()}
            for name, runs in pairs.items()}


def verdict(ok):
    return 'met' if ok else '**missed**'


def report_build(web_dir, native):
    name = os.path.basename(os.path.normpath(web_dir))
    print('\n## %s' % name, flush=True)
    s = sizes(web_dir)
    total, total_gz = s['wasm'][0] + s['js'][0], s['wasm'][1] + s['js'][1]
    print('| size | bytes | gzip |\n|---|---:|---:|')
    for ext, (raw, gz) in s.items():
        print('| %s.%s | %d | %d |' % (DEMO, ext, raw, gz))
    print('| .wasm + .js | %d | %d |' % (total, total_gz))
    print('target .wasm + .js <= 400 KB (409,600 bytes): %s' % verdict(total <= 409600), flush=True)

    scratch = tempfile.mkdtemp(prefix='qz-web-bench-')
    try:
        with web_test.browser_page(web_dir, scratch) as (page, base, browser):
            loads = first_frames(page, base)
            first = statistics.median(loads)
            print('\nfirst frame, ms after navigation start, %d loads: median %.0f (%s); target <= 500: %s' % (
                LOADS, first, ' '.join('%.0f' % t for t in loads), verdict(first <= 500)), flush=True)

            runs = cpu_pair(page, base, browser.pid)
            demo = sum(r['renderer'] for r in runs['demo']) / len(runs['demo'])
            loop = sum(r['renderer'] for r in runs['loop']) / len(runs['loop'])
            print('\nCPU, %% of one core over %d s, two turns each | renderer | all browser processes |' % CPU_SECONDS)
            print('|---|---:|---:|')
            for what, label in (('demo', 'demo page, idle animating'), ('loop', 'bare animation-frame loop')):
                print('| %s | %s | %s |' % (label, ' / '.join('%.1f' % (100 * r['renderer']) for r in runs[what]),
                                            ' / '.join('%.1f' % (100 * r['all']) for r in runs[what])))
            print('renderer demo / loop: %.2f; target <= 1.2: %s' % (demo / loop, verdict(demo <= 1.2 * loop)),
                  flush=True)

            if not os.path.exists(web_dir + BENCH):
                print('\n(no %s: build it with --target qz_web_bench for the present and workload figures)' % BENCH)
                return
            print('\n| present | frames put | page thread per frame, ms | frame callback of the putting thread, '
                  'median ms | min | max | of it putImageData, median ms | a copy out of shared memory alone, ms '
                  '| target (page thread) | |')
            print('|---|---:|---:|---:|---:|---:|---:|---:|---:|---|')
            for rows, target in ((1050, 1.0), (100, 0.1)):
                page_ms, put, ticks, copy, presenter = present_costs(page, base, rows)
                if not put:
                    print('| %d rows | 0 of %d | | | | | | | | no frame put the rows |' % (rows, ticks))
                    continue
                median = statistics.median(ms for ms, _ in put)
                # Without a presenter the page's thread also runs the program (single-threaded) or its
                # frame callbacks are the presentation: the callback is what presenting costs it.
                cost = page_ms if presenter else median
                print('| %d rows, %s | %d of %d | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f | <= %.1f | %s |' % (
                    rows, 'presenter' if presenter else 'page', len(put), ticks, page_ms, median,
                    min(ms for ms, _ in put), max(ms for ms, _ in put), statistics.median(p for _, p in put), copy,
                    target, verdict(cost <= target)), flush=True)

            print('\n| workload | page median ms | page min ms | native median ms | native min ms '
                  '| page / native | target <= 2 |')
            print('|---|---:|---:|---:|---:|---:|---|')
            for name, t in workload_pairs(page, base, native).items():
                web, nat = t['page'], t['native']
                if nat:
                    print('| %s | %.3f | %.3f | %.3f | %.3f | %.2f (%.2f) | %s |' % (
                        name, *web, *nat, web[0] / nat[0], web[1] / nat[1], verdict(web[0] <= 2 * nat[0])))
                else:
                    print('| %s | %.3f | %.3f | | | | |' % (name, *web))
            sys.stdout.flush()
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def main():
    args = sys.argv[1:]
    native = None
    if '--native' in args:
        i = args.index('--native')
        native = os.path.abspath(args[i + 1])
        del args[i:i + 2]
    if not args:
        print(__doc__)
        return 2
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))  # ended from outside: the browser is still ended
    print('load average at start: %s' % ' '.join(open('/proc/loadavg').read().split()[:3]))
    for web_dir in args:
        report_build(os.path.abspath(web_dir), native)
    print('\nload average at end: %s' % ' '.join(open('/proc/loadavg').read().split()[:3]))
    return 0


if __name__ == '__main__':
    sys.exit(main())
