#!/usr/bin/python3
# The page's own figures: its size as a server would send it, gzipped; the time from navigating
# to it until its first frame shows in headless Chromium, against the page's DOMContentLoaded in
# the same loads (medians of 7); and the processor its scripts take at rest.
#   tests/web/page_bench.py BUILD-WEB-FOLDER
import gzip
import os
import statistics
import sys
import time

from page_test import FOLDER, chromium, missing, serve

FILES = ("index.html", "page.js", "page.css", "dressup.js", "dressup.wasm", "dressup.data")
LOADS = 7

# Notes, from the very start of each load, when the canvas first shows the gradient.
WATCH = """
(function watch() {
  var canvas = document.getElementById('canvas');
  if (canvas) {
    var p = canvas.getContext('2d').getImageData(0, 0, 1, 1).data;
    if (p[0] === 155 && p[1] === 155 && p[2] === 244) {
      window.firstFrameAt = performance.now();
      return;
    }
  }
  requestAnimationFrame(watch);
})();
"""


def main():
    why = missing()
    if why:
        print("page figures not measured: " + why)
        return 0
    raw = sum(os.path.getsize(os.path.join(FOLDER, f)) for f in FILES)
    packed = sum(len(gzip.compress(open(os.path.join(FOLDER, f), "rb").read(), 9)) for f in FILES)
    print("page size: %.0f KB, %.0f KB gzipped (%s)" % (raw / 1024, packed / 1024, ", ".join(FILES)))

    server = serve(FOLDER)
    driver = chromium()
    driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": WATCH})
    driver.execute_cdp_cmd("Network.setCacheDisabled", {"cacheDisabled": True})
    frames, loaded = [], []
    for _ in range(LOADS):
        driver.get("http://127.0.0.1:%d/index.html" % server.server_address[1])
        for _ in range(200):
            first = driver.execute_script("return window.firstFrameAt")
            if first:
                break
            time.sleep(0.05)
        if not first:
            print("page figures: the first frame never showed")
            return 1
        frames.append(first)
        loaded.append(driver.execute_script(
            "var t = performance.getEntriesByType('navigation')[0];"
            "return t.domContentLoadedEventEnd;"))
    driver.execute_cdp_cmd("Performance.enable", {})

    def busy():
        metrics = driver.execute_cdp_cmd("Performance.getMetrics", {})["metrics"]
        return {m["name"]: m["value"] for m in metrics}["TaskDuration"]
    time.sleep(1)  # the last load's own work done
    before = busy()
    time.sleep(5)
    rest = (busy() - before) / 5
    driver.quit()
    server.shutdown()
    frame, ready = statistics.median(frames), statistics.median(loaded)
    print("page at rest: %.1f %% of a core for its tasks over 5 s" % (rest * 100))
    print("page first frame / DOMContentLoaded: %.2f (%.0f ms against %.0f ms, headless Chromium)"
          % (frame / ready, frame, ready))
    return 0


if __name__ == "__main__":
    sys.exit(main())
