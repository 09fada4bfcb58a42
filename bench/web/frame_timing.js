// Part of the benchmark page only: times every animation-frame callback of
// the thread that puts the canvas, with the rows it put and the time
// putImageData took. The page's thread gets it as --pre-js; web_bench.py
// evaluates it in the presenter's worker, where the canvas is put there.
// self.qzFrameTimes collects [milliseconds, rows, putImageData ms] per
// callback.
if ((typeof window !== 'undefined' || self.qzPresenter) && !self.qzFrameTimes) {
  self.qzFrameTimes = [];
  let rows = 0, putMs = 0;
  const proto = (typeof window !== 'undefined' ? CanvasRenderingContext2D : OffscreenCanvasRenderingContext2D).prototype;
  const put = proto.putImageData;
  proto.putImageData = function (image, dx, dy, x, y, w, h) {
    rows += arguments.length > 3 ? h : image.height;
    const start = performance.now();
    put.apply(this, arguments);
    putMs += performance.now() - start;
  };
  const request = self.requestAnimationFrame.bind(self);
  self.requestAnimationFrame = (callback) => request((time) => {
    rows = putMs = 0;
    const start = performance.now();
    callback(time);
    self.qzFrameTimes.push([performance.now() - start, rows, putMs]);
  });
}
