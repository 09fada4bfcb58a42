// Part of the benchmark page only (--pre-js): times every animation-frame
// callback on the page's thread, where the Web back end's presentation pass
// runs, with the rows it put on the canvas and the time putImageData took.
// window.qzFrameTimes collects [milliseconds, rows, putImageData ms] per
// callback for web_bench.py.
if (typeof window !== 'undefined' && !window.qzFrameTimes) {
  window.qzFrameTimes = [];
  let rows = 0, putMs = 0;
  const put = CanvasRenderingContext2D.prototype.putImageData;
  CanvasRenderingContext2D.prototype.putImageData = function (image, dx, dy, x, y, w, h) {
    rows += arguments.length > 3 ? h : image.height;
    const start = performance.now();
    put.apply(this, arguments);
    putMs += performance.now() - start;
  };
  const request = window.requestAnimationFrame.bind(window);
  window.requestAnimationFrame = (callback) => request((time) => {
    rows = putMs = 0;
    const start = performance.now();
    callback(time);
    window.qzFrameTimes.push([performance.now() - start, rows, putMs]);
  });
}
