#!/usr/bin/python3
# The page's own figures: its size as a server would send it, gzipped (every file its service
# worker keeps); and in each engine, the time from navigating to it until its first frame, cold
# (a new origin each time, so no cache and no service worker; medians of 5), and the processor
# its browser's whole process tree takes at rest with the page open, against the same browser on
# about:blank, over 5 s each; and the repaints a frame while a lifted piece's arrow key repeats four
# times a frame, against a mouse drag's four motions a frame, over 2 s each. WebKitGTK needs an X
# server: scripts/bench runs this in xvfb-run.
#   tests/web/page_bench.py BUILD-WEB-FOLDER
import gzip
import os
import re
import statistics
import sys
import time

import page_test
from page_test import FOLDER, serve

LOADS = 5
REST_S = 5


def kept_files():
    """What the service worker keeps, as its build wrote the list."""
    text = open(os.path.join(FOLDER, "sw.js")).read()
    listed = re.search(r"var files = \[(.*)\];", text).group(1)
    return [name.strip(' "') for name in listed.split(",") if name.strip(' "') != "./"] + ["sw.js"]


def tree(root):
    """The process and all its descendants."""
    parents = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                parents[int(entry)] = int(open("/proc/%s/stat" % entry).read().rsplit(")", 1)[1].split()[1])
            except (OSError, IndexError, ValueError):
                pass
    found, grown = {root}, True
    while grown:
        more = {pid for pid, parent in parents.items() if parent in found} - found
        found |= more
        grown = bool(more)
    return found


def cpu_seconds(pids):
    total = 0
    for pid in pids:
        try:
            fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
            total += int(fields[11]) + int(fields[12])  # utime, stime
        except (OSError, IndexError, ValueError):
            pass
    return total / os.sysconf("SC_CLK_TCK")


def share_at_rest(root):
    pids = tree(root)
    before = cpu_seconds(pids)
    time.sleep(REST_S)
    return (cpu_seconds(pids) - before) / REST_S


def root_of(driver):
    return driver.bridge.pid if isinstance(driver, page_test.Firefox) else driver.service.process.pid


# Four events a frame for 2 s, counting the frames and the toy's repaints (its putImageData):
# first arrows on a piece lifted by its button, then a held mouse button's motions.
REPAINTS = """
var context = canvas.getContext("2d"), put = context.putImageData, painted = 0;
context.putImageData = function () { painted++; return put.apply(this, arguments); };
function key(name) {
  pieceButtons[2].dispatchEvent(new KeyboardEvent("keydown", { key: name, bubbles: true }));
}
function during(each, then) {
  var frames = 0, start = painted, end = performance.now() + 2000;
  (function frame() {
    for (var i = 0; i < 4; i++) each(frames * 4 + i);
    frames++;
    if (performance.now() < end) requestAnimationFrame(frame);
    else then((painted - start) / frames);
  })();
}
pieceButtons[2].focus();
key(" ");
return new Promise(function (resolve) {
  during(function (i) { key(i % 80 < 40 ? "ArrowLeft" : "ArrowRight"); }, function (keys) {
    key(" ");
    Module._dressup_pointer(1, 1, 600, 200);
    during(function (i) {
      Module._dressup_pointer(0, 0, 600 + (i % 80 < 40 ? i % 40 : 40 - i % 40), 200);
    }, function (mouse) {
      Module._dressup_pointer(2, 1, 600, 200);
      resolve([keys, mouse]);
    });
  });
});
"""


def first_frame(driver):
    """Milliseconds from navigation to the page's mark of its first frame, on a new origin."""
    server = serve(FOLDER)
    try:
        driver.get("http://127.0.0.1:%d/index.html" % server.server_address[1])
        for _ in range(200):
            at = driver.execute_script(
                "var m = performance.getEntriesByName('first-frame'); return m.length ? m[0].startTime : 0")
            if at:
                return at
            time.sleep(0.05)
        return None
    finally:
        server.shutdown()
        server.server_close()


def measure(engine):
    page_test.ENGINE = engine
    why = page_test.missing()
    if why:
        print("page in %s: not measured: %s" % (engine, why))
        return
    driver = {"chromium": page_test.chromium, "webkitgtk": page_test.webkitgtk,
              "firefox": page_test.Firefox}[engine]()
    try:
        driver.set_window_size(1280, 800)
        frames = [first_frame(driver) for _ in range(LOADS)]
        if None in frames:
            print("page in %s: the first frame never showed" % engine)
            return
        server = serve(FOLDER)
        driver.get("http://127.0.0.1:%d/index.html" % server.server_address[1])
        time.sleep(6)  # the page's own start and its service worker done
        page = share_at_rest(root_of(driver))
        keys, mouse = page_test.settled(driver, REPAINTS)
        driver.get("about:blank")
        time.sleep(6)
        blank = share_at_rest(root_of(driver))
        server.shutdown()
        print("page in %s: first frame, cold: %.0f ms (median of %d: %s)" % (
            engine, statistics.median(frames), LOADS, ", ".join("%.0f" % f for f in frames)))
        print("page in %s at rest / about:blank, the browser's processes over %d s: "
              "%.2f %% against %.2f %% of a core" % (engine, REST_S, page * 100, blank * 100))
        print("page in %s, repaints a frame, four events a frame: held arrow %.2f, "
              "mouse drag %.2f (ratio %.2f)" % (engine, keys, mouse, keys / mouse))
    finally:
        driver.quit()


def main():
    if not os.path.exists(os.path.join(FOLDER, "sw.js")):
        print("page figures not measured: no page in " + FOLDER)
        return 0
    files = kept_files()
    raw = sum(os.path.getsize(os.path.join(FOLDER, f)) for f in files)
    packed = sum(len(gzip.compress(open(os.path.join(FOLDER, f), "rb").read(), 9)) for f in files)
    print("page size: %.0f KB, %.0f KB gzipped (the %d files its service worker keeps)"
          % (raw / 1024, packed / 1024, len(files)))
    first = [f for f in files if not f.startswith(("icons/", "locale/"))]
    packed = sum(len(gzip.compress(open(os.path.join(FOLDER, f), "rb").read(), 9)) for f in first)
    print("page's first load: %.0f KB gzipped (%s), of 150 KB allowed"
          % (packed / 1024, ", ".join(first)))
    for engine in ("chromium", "webkitgtk", "firefox"):
        measure(engine)
    return 0


if __name__ == "__main__":
    sys.exit(main())
