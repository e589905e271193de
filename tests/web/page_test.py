#!/usr/bin/python3
# The page in the three engines of children's devices. In each, the start-up frame to the pixel,
# a mouse drag and (where the driver can send touch) a finger's drag that carry a piece exactly,
# and the release ending a drag. In Chromium, through its DevTools protocol, the rest: broken
# pictures named on the page, WebP, saving and the toy's own pictures back, the keyboard left to
# the page, a finger held within the canvas, a phone held sideways, installable, and offline
# after one visit. Exits 77, saying why, where the engine, its driver or the built page is
# missing.
#   tests/web/page_test.py BUILD-WEB-FOLDER [chromium | webkitgtk | firefox]
# chromium: Debian's headless Chromium and chromedriver, through Selenium. webkitgtk: Debian's
# MiniBrowser --automation and WebKitWebDriver, through Selenium, in an X server (xvfb-run).
# firefox: Debian's Firefox ESR, headless, through puppeteer-core over WebDriver BiDi
# (tests/web/firefox.js; npm ci in tests/web installs it at the version its lockfile pins).
import functools
import glob
import http.server
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zlib

FOLDER = sys.argv[1] if len(sys.argv) > 1 else "build-web"
ENGINE = sys.argv[2] if len(sys.argv) > 2 else "chromium"
HERE = os.path.dirname(os.path.abspath(__file__))
W, H = 1024, 512
# Engines whose driver sends no touch here: WebKitWebDriver turns touch actions into a mouse's
# (the page sees pointerType "mouse"), and headless Firefox ESR on Linux refuses to synthesize
# touch (NS_ERROR_ILLEGAL_VALUE from input.performActions, touch events switched on or not).
NO_TOUCH = ("webkitgtk", "firefox")
FAILURE = "Malamente! No carga"


def minibrowser():
    found = sorted(glob.glob("/usr/lib/*/webkit*/MiniBrowser"))
    return found[-1] if found else None


def missing():
    if not os.path.exists(os.path.join(FOLDER, "index.html")):
        return "no page in %s: make web did not run here (no Emscripten?)" % FOLDER
    needs = {"chromium": ["chromium", "chromedriver"], "webkitgtk": ["WebKitWebDriver"],
             "firefox": ["firefox-esr", "node"]}
    if ENGINE not in needs:
        return "no engine called " + ENGINE
    for program in needs[ENGINE]:
        if not shutil.which(program):
            return program + " is not installed"
    if ENGINE == "webkitgtk" and not minibrowser():
        return "WebKitGTK's MiniBrowser is not installed"
    if ENGINE == "webkitgtk" and not os.environ.get("DISPLAY"):
        return "no X display for WebKitGTK"
    if ENGINE == "firefox":
        if not os.path.isdir(os.path.join(HERE, "node_modules", "puppeteer-core")):
            return "puppeteer-core is not installed (npm ci in tests/web)"
        return None
    try:
        import selenium  # noqa: F401
    except ImportError:
        return "Selenium for Python is not installed"
    return None


def translations(language):
    """What po/LANGUAGE.po says each English string is."""
    po = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../po", language + ".po")
    lines = open(po, encoding="utf-8").read().split("\n")
    return {a[7:-1]: b[8:-1] for a, b in zip(lines, lines[1:])
            if a.startswith('msgid "') and b.startswith('msgstr "')}


def background(x, y):
    v = x // 25 + y * y // 5000 + 155
    return (v, v, 244)


# A test picture: a band across its top quarter and a left and a right half below, so a picture
# drawn from the wrong corner or clipped on the wrong side shows. Colours as 0xRRGGBB.
class Picture:
    def __init__(self, name, w, h, top, left, right, alpha=255):
        self.name, self.w, self.h = name, w, h
        self.top, self.left, self.right, self.alpha = top, left, right, alpha

    def pixel(self, x, y):
        c = self.top if y < self.h // 4 else self.left if x < self.w // 2 else self.right
        return (c >> 16, c >> 8 & 255, c & 255)

    def alpha_at(self, x, y):
        return self.alpha

    def png(self):
        rows = b""
        for y in range(self.h):
            rows += b"\0" + b"".join(bytes(self.pixel(x, y) + (self.alpha,)) for x in range(self.w))
        return png(self.w, self.h, 6, zlib.compress(rows))


def png(w, h, colour_type, rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, colour_type, 0, 0, 0)) +
            chunk(b"IDAT", rows) + chunk(b"IEND", b""))


class Bundled:
    """One of the toy's own pictures, read here from pictures/: 8-bit RGBA, not interlaced."""
    def __init__(self, name):
        with open(os.path.join(HERE, "..", "..", "pictures", name), "rb") as f:
            data = f.read()
        self.w, self.h = struct.unpack(">II", data[16:24])
        at, packed = 8, b""
        while at < len(data):
            length, kind = struct.unpack(">I4s", data[at:at + 8])
            packed += data[at + 8:at + 8 + length] if kind == b"IDAT" else b""
            at += 12 + length
        raw, stride, rows = zlib.decompress(packed), 4 * self.w, []
        for y in range(self.h):
            start = y * (stride + 1)
            kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
            up = rows[-1] if rows else bytearray(stride)
            for i in range(stride):
                a, b, c = line[i - 4] if i >= 4 else 0, up[i], up[i - 4] if i >= 4 else 0
                p = a + b - c
                nearest = a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else \
                    b if abs(p - b) <= abs(p - c) else c
                line[i] = (line[i] + [0, a, b, (a + b) // 2, nearest][kind]) & 255
            rows.append(line)
        self.rows = rows

    def pixel(self, x, y):
        return tuple(self.rows[y][4 * x:4 * x + 3])

    def alpha_at(self, x, y):
        return self.rows[y][4 * x + 3]


def bomb(w, h):
    """A grey PNG of a few hundred kilobytes that decodes to w x h x 4 bytes."""
    packer, row = zlib.compressobj(9), bytes(w + 1)
    return png(w, h, 0, b"".join(packer.compress(row) for _ in range(h)) + packer.flush())


# The figure, then the clothes in drawing order, where the toy puts them on every run.
PICTURES = [
    (Picture("model.png", 60, 300, 0x6B4F3A, 0x806040, 0x907050), 100, 100),
    (Picture("pant.png", 120, 90, 0x1040C0, 0x2050D0, 0x3060E0), 677, 18),
    (Picture("sabates.png", 110, 70, 0xC01020, 0xD02030, 0xE03040), 693, 154),
    (Picture("camiseta.png", 90, 80, 0x10A040, 0x20B050, 0x30C060, 160), 786, 136),
    (Picture("bufanda_gorro.png", 100, 100, 0xE0C010, 0xD0B000, 0xF0D020), 549, 136),
]


def expected(places):
    """The frame the scene must show, and how far each pixel may stray: the background is
    exact, while the canvas's alpha blending may round."""
    want = [background(x, y) for y in range(H) for x in range(W)]
    slack = [0] * (W * H)
    for picture, px, py in places:
        if picture is None:
            continue
        for y in range(max(0, py), min(H, py + picture.h)):
            for x in range(max(0, px), min(W, px + picture.w)):
                i = y * W + x
                a = picture.alpha_at(x - px, y - py)
                fg, bg = picture.pixel(x - px, y - py), want[i]
                want[i] = tuple((f * a + b * (255 - a) + 127) // 255 for f, b in zip(fg, bg))
                slack[i] = 2
    return want, slack


def settled(driver, body):
    """What the promise a script's body returns settles to, in any engine's driver."""
    if isinstance(driver, Firefox):  # the bridge awaits it
        return driver.execute_script(body)
    driver.set_script_timeout(60)
    return driver.execute_async_script(
        "var done = arguments[arguments.length - 1];"
        "(function () {" + body + "\n})().then(done);")


def serve(folder, unreachable=None):
    """The folder on a free port of 127.0.0.1, from a thread of this process. A request for the
    file named unreachable has its connection closed unanswered, as a network that drops it."""
    class Quiet(http.server.SimpleHTTPRequestHandler):
        def log_message(self, *args):
            pass

        def handle(self):
            try:
                super().handle()
            except ConnectionError:  # a browser that gave up on a file, or dropped its request
                pass

        def do_GET(self):
            if unreachable and self.path.split("?")[0].endswith("/" + unreachable):
                self.close_connection = True
                return
            super().do_GET()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0),
                                             functools.partial(Quiet, directory=folder))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def chromium():
    """Debian's Chromium, headless, at a device scale of 1, its console kept."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium")
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync",
                     "--window-size=1280,800", "--force-device-scale-factor=1"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)


def webkitgtk():
    """WebKitGTK's MiniBrowser, under automation, in the X server the test runs in."""
    from selenium import webdriver
    from selenium.webdriver.webkitgtk.options import Options
    options = Options()
    options.binary_location = minibrowser()
    options.add_argument("--automation")
    try:
        from selenium.webdriver.webkitgtk.service import Service
        return webdriver.WebKitGTK(options=options,
                                   service=Service(executable_path=shutil.which("WebKitWebDriver")))
    except TypeError:  # Debian 12's Selenium 4.8 takes the driver's path itself
        return webdriver.WebKitGTK(executable_path=shutil.which("WebKitWebDriver"),
                                   options=options)


class Firefox:
    """The calls the test makes of a driver, answered by Firefox through tests/web/firefox.js."""
    def __init__(self):
        self.bridge = subprocess.Popen(
            ["node", os.path.join(HERE, "firefox.js"), shutil.which("firefox-esr")],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, cwd=HERE)

    def ask(self, **command):
        self.bridge.stdin.write(json.dumps(command) + "\n")
        self.bridge.stdin.flush()
        line = self.bridge.stdout.readline()
        if not line:
            raise RuntimeError("Firefox's driver ended")
        reply = json.loads(line)
        if "error" in reply:
            raise RuntimeError(reply["error"])
        return reply.get("value")  # a script that returns nothing has none

    def set_window_size(self, width, height):
        self.ask(size=[width, height])

    def get(self, url):
        self.ask(get=url)

    def execute_script(self, script):
        return self.ask(script=script)

    def choose(self, name, path):
        self.ask(choose=["input[data-file='%s']" % name, path])

    def quit(self):
        self.bridge.stdin.close()
        self.bridge.wait(30)


class Page(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pictures = tempfile.mkdtemp()
        for picture, _, _ in PICTURES:
            with open(os.path.join(cls.pictures, picture.name), "wb") as f:
                f.write(picture.png())
        with open(os.path.join(cls.pictures, "broken.png"), "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n not a picture at all")
        with open(os.path.join(cls.pictures, "bomb.png"), "wb") as f:
            f.write(bomb(16000, 16000))
        cls.server = serve(FOLDER)
        cls.driver = {"chromium": chromium, "webkitgtk": webkitgtk, "firefox": Firefox}[ENGINE]()

    def chromium_only(self):
        if ENGINE != "chromium":
            self.skipTest("in Chromium only, through its DevTools protocol")

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.server.shutdown()
        shutil.rmtree(cls.pictures)

    def open(self, chosen=(), width=1280):
        """The page, fresh, in a window so wide, with the given pictures chosen for their
        places."""
        self.driver.set_window_size(width, 800)
        self.driver.get("http://127.0.0.1:%d/index.html" % self.server.server_address[1])
        self.wait_for(lambda: self.driver.execute_script(
            "return typeof toyStarted !== 'undefined' && toyStarted"), "the toy started")
        for name, path in chosen:
            if ENGINE == "firefox":
                self.driver.choose(name, path)
            else:
                self.driver.find_element(
                    "css selector", "input[data-file='%s']" % name).send_keys(path)
        rect = self.driver.execute_script(
            "var r = document.getElementById('canvas').getBoundingClientRect();"
            "return [r.left, r.top, r.width, r.height];")
        self.left, self.top, self.scale = rect[0], rect[1], rect[2] / W
        if width > W + 2 * self.left:
            self.assertEqual(rect[2:], [W, H], "the canvas is not shown at its size")

    def wait_for(self, condition, what, seconds=10):
        """what: the words of the failure, or a function that gives them once it fails."""
        end = time.time() + seconds
        while not condition():
            if time.time() > end:
                self.fail("never: " + (what() if callable(what) else what))
            time.sleep(0.05)

    def frame(self):
        import base64
        data = self.driver.execute_script(
            "var d = document.getElementById('canvas').getContext('2d')"
            ".getImageData(0, 0, %d, %d).data, s = '';"
            "for (var i = 0; i < d.length; i += 0x8000)"
            "  s += String.fromCharCode.apply(null, d.subarray(i, i + 0x8000));"
            "return btoa(s);" % (W, H))
        raw = base64.b64decode(data)
        return [tuple(raw[i:i + 3]) for i in range(0, len(raw), 4)]

    def expect_scene(self, places, when):
        want, slack = expected(places)
        wrong = []
        end = time.time() + 10
        while True:
            got = self.frame()
            wrong = [i for i in range(W * H)
                     if any(abs(g - w) > slack[i] for g, w in zip(got[i], want[i]))]
            if not wrong or time.time() > end:
                break
            time.sleep(0.1)
        self.assertEqual(len(wrong), 0, "%s: %d pixels differ, among them %s" % (
            when, len(wrong),
            ["(%d, %d) want %s got %s" % (i % W, i // W, want[i], got[i]) for i in wrong[:5]]))

    def pointer(self, kind):
        from selenium.webdriver.common.actions import interaction
        from selenium.webdriver.common.actions.action_builder import ActionBuilder
        from selenium.webdriver.common.actions.pointer_input import PointerInput
        device = PointerInput(interaction.POINTER_TOUCH if kind == "touch" else
                              interaction.POINTER_MOUSE, kind)
        return ActionBuilder(self.driver, mouse=device, duration=0)

    def at(self, x, y):
        """Where the toy's pixel (x, y) is in the window, to the nearest of its pixels."""
        return round(self.left + x * self.scale), round(self.top + y * self.scale)

    def drag(self, kind, path, release=True):
        """Presses at the first point of the path (the toy's pixels), moves through the rest."""
        if ENGINE == "firefox":
            self.driver.ask(**{kind: [self.at(x, y) for x, y in path]})
            return
        actions = self.pointer(kind)
        actions.pointer_action.move_to_location(*self.at(*path[0]))
        actions.pointer_action.pointer_down()
        for x, y in path[1:]:
            actions.pointer_action.move_to_location(*self.at(x, y))
        if release:
            actions.pointer_action.pointer_up()
        actions.perform()

    def chosen(self):
        return [(p.name, os.path.join(self.pictures, p.name)) for p, _, _ in PICTURES]

    def keys(self, chords):
        """Presses each chord ("Tab", "Shift+ArrowLeft"), its keys held together."""
        if ENGINE == "firefox":
            self.driver.ask(keys=chords)
            return
        from selenium.webdriver.common.action_chains import ActionChains
        from selenium.webdriver.common.keys import Keys
        named = {"Tab": Keys.TAB, "Shift": Keys.SHIFT, "Escape": Keys.ESCAPE, " ": Keys.SPACE,
                 "ArrowLeft": Keys.LEFT, "ArrowRight": Keys.RIGHT, "ArrowUp": Keys.UP,
                 "ArrowDown": Keys.DOWN}
        actions = ActionChains(self.driver)
        for chord in chords:
            held = [named[k] for k in (chord.split("+") if len(chord) > 1 else [chord])]
            for key in held:
                actions.key_down(key)
            for key in reversed(held):
                actions.key_up(key)
        actions.perform()

    def listen(self):
        """From now on, every line the page's live region says, in window.saidLines."""
        self.driver.execute_script(
            "var steps = document.getElementById('steps'); window.saidLines = [];"
            "new MutationObserver(function () { saidLines.push(steps.textContent); })"
            ".observe(steps, {childList: true, characterData: true, subtree: true});")

    def expect_lines(self, lines):
        said = lambda: self.driver.execute_script("return saidLines")  # noqa: E731
        self.wait_for(lambda: said() == lines,
                      lambda: "the page said %s, not %s" % (lines, said()))

    def expect_ring(self, x, y, w, h, lifted):
        """The ring is shown round the box (the toy's pixels), within a CSS pixel."""
        ring = self.driver.execute_script(
            "var r = document.getElementById('ring'), b = r.getBoundingClientRect();"
            "return [r.hidden, r.classList.contains('lifted'), b.left, b.top, b.width, b.height]")
        want = [self.left + x * self.scale, self.top + y * self.scale, w * self.scale,
                h * self.scale]
        self.assertEqual(ring[:2], [False, lifted], "the ring's state")
        self.assertTrue(all(abs(g - v) <= 1 for g, v in zip(ring[2:], want)),
                        "the ring at %s, the piece at %s" % (ring[2:], want))

    def test_keys_alone_put_every_piece_on_the_figure(self):
        self.open()
        self.listen()
        places = [[Bundled(p.name), x, y] for p, x, y in PICTURES]
        names = ["Trousers", "Shoes", "T-shirt", "Hat and scarf"]
        self.keys(["Tab"])
        self.assertEqual(self.driver.execute_script(
            "return document.activeElement.textContent"), "trousers", "Tab reaches the pieces first")
        # Lifted, moved, and back where they were with Escape.
        self.keys([" ", "ArrowRight", "ArrowRight", "Shift+ArrowDown", "Escape"])
        self.expect_lines(["Trousers lifted.", "Trousers back where they were."])
        self.expect_ring(677, 18, 72, 152, False)
        # Each piece onto the figure: 50 pixels a press with Shift, 10 without.
        lines = self.driver.execute_script("return saidLines")
        for place, (dx, dy) in enumerate([(-500, 320), (-520, 310), (-650, 90), (-400, -40)], 1):
            chords = [" "]
            for d, less, more in ((dx, "ArrowLeft", "ArrowRight"), (dy, "ArrowUp", "ArrowDown")):
                arrow = less if d < 0 else more
                chords += ["Shift+" + arrow] * (abs(d) // 50) + [arrow] * (abs(d) % 50 // 10)
            self.keys(chords)
            lines += [names[place - 1] + " lifted.", names[place - 1] + " on the figure."]
            self.expect_lines(lines)  # said once the keys rest
            self.keys([" "] + (["Tab"] if place < 4 else []))
            lines.append(names[place - 1] + " on the figure.")
            places[place][1] += dx
            places[place][2] += dy
        self.expect_lines(lines)
        self.expect_scene(places, "after four pieces were put on the figure with keys alone")
        self.expect_ring(places[4][1], places[4][2], 116, 196, False)
        self.assertEqual(self.driver.execute_script(
            "return document.getElementById('canvas').getAttribute('aria-label')"),
            "A figure and four pieces of clothing. "
            "On the figure: trousers, shoes, T-shirt, hat and scarf.")

    def test_a_tap_picks_a_piece_and_a_tap_places_it(self):
        self.open()
        self.listen()
        places = [[Bundled(p.name), x, y] for p, x, y in PICTURES]

        def centred(place, x, y, w, h):
            """Where a tap at the toy's (x, y) puts a piece, as the window rounds it."""
            wx, wy = self.at(x, y)
            at = ((wx - self.left) / self.scale, (wy - self.top) / self.scale)
            places[place][1:] = [int(at[0] - w / 2 + 0.5), int(at[1] - h / 2 + 0.5)]
        # A tap that slips by two pixels: the toy's drag moves the T-shirt by them, as ever, and
        # the release picks it.
        self.drag("mouse", [(856, 192), (858, 193)])
        places[3][1:] = [788, 137]
        self.expect_lines(["T-shirt lifted."])
        self.expect_ring(788, 137, 140, 112, True)
        # A tap on the figure puts it there, centred on the tap.
        self.drag("mouse", [(210, 280)])
        centred(3, 210, 280, 140, 112)
        self.expect_lines(["T-shirt lifted.", "T-shirt on the figure."])
        # A tap just below the small shoes picks them; a tap on them lets them go.
        self.drag("mouse", [(737, 194)])
        self.drag("mouse", [(737, 170)])
        lines = ["T-shirt lifted.", "T-shirt on the figure.", "Shoes lifted.", "Shoes put down."]
        self.expect_lines(lines)
        if ENGINE not in NO_TOUCH:  # a finger, the same
            self.drag("touch", [(607, 234)])
            self.drag("touch", [(500, 400)])
            centred(4, 500, 400, 116, 196)
            self.expect_lines(lines + ["Hat and scarf lifted.", "Hat and scarf put down."])
        self.expect_scene(places, "after taps that picked and placed")
        self.assertTrue(self.driver.execute_script(
            "return document.getElementById('ring').hidden"), "a ring with nothing in hand")

    def axe(self):
        """axe-core's violations of WCAG 2.0, 2.1 and 2.2 A and AA, target size included."""
        with open(os.path.join(HERE, "node_modules", "axe-core", "axe.min.js")) as f:
            source = f.read()
        run = ("return axe.run(document, {runOnly: {type: 'tag', values: ['wcag2a', 'wcag2aa', "
               "'wcag21a', 'wcag21aa', 'wcag22aa']}, rules: {'target-size': {enabled: true}}})"
               ".then(function (r) { return r.violations.map(function (v) { return v.id + ': ' +"
               " v.nodes.map(function (n) { return n.target.join(' '); }).join(', '); }); });")
        return settled(self.driver, source + ";\n" + run)

    def test_axe_finds_nothing_wrong_loaded_started_and_narrow(self):
        if not os.path.isdir(os.path.join(HERE, "node_modules", "axe-core")):
            self.skipTest("axe-core is not installed (npm ci in tests/web)")
        self.driver.set_window_size(1280, 800)
        self.driver.get("http://127.0.0.1:%d/index.html" % self.server.server_address[1])
        self.assertEqual(self.axe(), [], "as loaded")
        for width, height in ((1280, 800), (390, 844), (320, 640)):
            self.open(width=width)
            self.driver.set_window_size(width, height)
            self.assertEqual(self.axe(), [], "started, %d x %d" % (width, height))

    def test_start_frame_mouse_and_finger_drags_and_the_release(self):
        self.open(self.chosen())
        places = [list(p) for p in PICTURES]
        self.expect_scene(places, "the start-up frame")

        # The mouse, pressed in the trousers: they follow, step by step, to the pixel, passing
        # above the hat and scarf.
        path = [(737, 63)] + [(737 - 7 * i, 63 + i) for i in range(1, 41)]
        self.drag("mouse", path)
        places[1][1:] = [677 - 280, 18 + 40]
        self.expect_scene(places, "after a mouse drag of 40 motions")

        # With no button held, motions across the shoes move nothing.
        across = [(x, 190) for x in range(700, 800, 5)]
        if ENGINE == "firefox":
            self.driver.ask(hover=[self.at(x, y) for x, y in across])
        else:
            actions = self.pointer("mouse")
            for x, y in across:
                actions.pointer_action.move_to_location(*self.at(x, y))
            actions.perform()
        self.expect_scene(places, "after motions with no button held")

        # A finger on the hat and scarf carries them as a held button does.
        if ENGINE in NO_TOUCH:
            return
        path = [(599, 186)] + [(599 - 4 * i, 186 + 2 * i) for i in range(1, 31)]
        self.drag("touch", path)
        places[4][1:] = [549 - 120, 136 + 60]
        self.expect_scene(places, "after a finger's drag of 30 motions")
        self.assertEqual(self.driver.execute_script(
            "return [window.scrollX, window.scrollY, String(window.getSelection())]"),
            [0, 0, ""], "the finger scrolled the page or selected something")

    def test_what_a_parent_expects_of_pictures_chosen_and_saved(self):
        self.chromium_only()
        self.open()
        own = self.frame()  # the toy's own pictures
        # A file that is no picture, and a bomb that would take 1 GB, refused before it does;
        # the shoes as a lossless WebP, which the toy does not read itself.
        chosen = self.chosen()
        chosen[1] = ("pant.png", os.path.join(self.pictures, "bomb.png"))
        chosen[3] = ("camiseta.png", os.path.join(self.pictures, "broken.png"))
        shoes = os.path.join(self.pictures, "shoes.webp")
        subprocess.run(["cwebp", "-quiet", "-lossless", "-exact", chosen[2][1], "-o", shoes],
                       check=True)
        chosen[2] = ("sabates.png", shoes)
        for name, path in chosen:
            self.driver.find_element(
                "css selector", "input[data-file='%s']" % name).send_keys(path)
        said = ("The trousers could not be shown from bomb.png. "
                "The T-shirt could not be shown from broken.png. "
                "Pictures that work: PNG, JPEG, GIF, BMP and WebP.")
        self.wait_for(lambda: self.driver.find_element("id", "said").text == said,
                      "each failure named once on the page, then what works")
        held = "return document.querySelector(\"input[data-file='%s']\").parentNode.textContent"
        self.assertIn("(broken.png)", self.driver.execute_script(held % "camiseta.png"))
        self.assertIn("(shoes.webp)", self.driver.execute_script(held % "sabates.png"))
        logged = [entry["message"] for entry in self.driver.get_log("browser")]
        self.assertTrue(any(FAILURE in line for line in logged), "not in the console: %s" % logged)
        places = [list(p) for p in PICTURES]
        places[1][0] = places[3][0] = None
        self.expect_scene(places, "with the trousers and the T-shirt refused, the shoes WebP")
        self.drag("mouse", [(748, 189), (745, 190), (740, 192)])  # the shoes
        places[2][1:] = [693 - 8, 154 + 3]
        self.expect_scene(places, "after a drag with two pictures refused")
        # Trousers with no picture cannot be lifted, and the page says why.
        self.driver.execute_script("document.querySelector('.piece').focus()")
        self.listen()
        self.keys([" ", "ArrowLeft"])
        self.expect_lines(["The trousers have no picture to lift: it could not be shown."])
        self.expect_scene(places, "after keys on trousers with no picture")

        # Saved as a PNG: exactly the canvas's pixels.
        different = self.driver.execute_async_script("""
            var done = arguments[0], canvas = document.getElementById('canvas');
            var want = canvas.getContext('2d').getImageData(0, 0, 1024, 512).data;
            HTMLAnchorElement.prototype.click = function () {
              var saved = new Image();  // the page's policy lets images, not fetches, read blobs
              saved.onload = function () {
                var c = document.createElement('canvas');
                c.width = saved.width; c.height = saved.height;
                c.getContext('2d').drawImage(saved, 0, 0);
                var got = c.getContext('2d').getImageData(0, 0, 1024, 512).data, n = 0;
                for (var i = 0; i < got.length; i++) if (got[i] !== want[i]) n++;
                done(c.width === 1024 && c.height === 512 ? n : -1);
              };
              saved.src = this.href;
            };
            document.getElementById('save').click();""")
        self.assertEqual(different, 0, "the saved PNG is not the canvas's pixels")

        # Back to the toy's own pictures, every piece in its first place, nothing to report.
        self.driver.find_element("id", "bundled").click()
        self.wait_for(lambda: self.driver.find_element("id", "said").text == "", "no failure")
        self.assertTrue(self.frame() == own, "not the toy's own pictures in their places")
        self.assertNotIn("(", self.driver.execute_script(held % "camiseta.png"))

    def test_a_canvas_scaled_down_to_fit_still_drags_exactly(self):
        self.chromium_only()
        self.open(self.chosen(), width=800)
        self.assertLess(self.scale, 1, "the canvas was not scaled down to fit")
        # Window pixels fall between the toy's: the piece moves by what the pointer moved in
        # the toy's own pixels, where it first and last stood.
        def toy_x(window_x):
            return int((window_x - self.left) / self.scale)
        start = self.at(737, 63)
        actions = self.pointer("mouse")
        actions.pointer_action.move_to_location(*start)
        actions.pointer_action.pointer_down()
        for i in range(1, 31):
            actions.pointer_action.move_to_location(start[0] - 3 * i, start[1])
        actions.pointer_action.pointer_up()
        actions.perform()
        places = [list(p) for p in PICTURES]
        places[1][1] += toy_x(start[0] - 90) - toy_x(start[0])
        self.expect_scene(places, "after a drag on a canvas scaled by %.3f" % self.scale)

    def test_the_page_speaks_the_browsers_language(self):
        self.chromium_only()
        user_agent = self.driver.execute_script("return navigator.userAgent")
        for tag, po in (("es", "es"), ("pt-BR", "pt_BR"), ("de-AT", "de")):
            said = translations(po)
            self.driver.execute_cdp_cmd("Network.setUserAgentOverride",
                                        {"userAgent": user_agent, "acceptLanguage": tag})
            self.open()
            title = said["Dress-up"]
            self.wait_for(lambda: self.driver.title == title, "the title in " + tag)
            self.assertEqual(self.driver.find_element("id", "how").text,
                             said["Drag a piece of clothing onto the figure. Or tap a piece, "
                                  "then tap where it goes. Or, on its button, press Space to "
                                  "lift it, the arrows to move it, and Space to put it down."])
        self.driver.execute_cdp_cmd("Network.setUserAgentOverride",
                                    {"userAgent": user_agent, "acceptLanguage": "en"})

    def test_keyboard_free_fingers_held_within_the_canvas_and_a_phone_sideways(self):
        self.chromium_only()
        # Tab walks the page to the first chooser, which shows its focus.
        self.open(self.chosen())
        from selenium.webdriver.common.action_chains import ActionChains
        from selenium.webdriver.common.keys import Keys
        for _ in range(10):
            ActionChains(self.driver).send_keys(Keys.TAB).perform()
            focused = self.driver.execute_script(
                "var e = document.activeElement; return e && e.dataset ? e.dataset.file : null")
            if focused:
                break
        self.assertEqual(focused, "model.png", "Tab never reached a chooser")
        self.assertNotEqual(self.driver.execute_script(
            "return getComputedStyle(document.activeElement.parentNode).outlineStyle"), "none",
            "the focused chooser does not show it")

        # A finger carries the trousers clear of the rest, then down past the canvas's bottom
        # edge, and lets go 60 pixels below it: the canvas holds the pointer, as a desktop window
        # does, so the trousers stop with the pointer on the last row, and can be taken back up.
        below = H + round(60 / self.scale)
        self.drag("touch", [(737, 63)] + [(x, 63) for x in range(727, 436, -10)] +
                  [(437, y) for y in range(73, below, 10)] + [(437, below)])
        places = [list(p) for p in PICTURES]
        places[1][1:] = [677 - 300, 18 + (H - 1 - 63)]
        self.expect_scene(places, "after a finger let go of the trousers below the canvas")
        self.drag("touch", [(437, 500)] + [(437, y) for y in range(490, 299, -10)])
        places[1][2] -= 200
        self.expect_scene(places, "after taking the trousers back from the bottom edge")

        # A phone held sideways: the whole canvas on screen, and most of its height.
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": 844, "height": 390, "deviceScaleFactor": 3, "mobile": True})
        try:
            self.open(width=844)
            box = self.driver.execute_script(
                "var r = document.getElementById('canvas').getBoundingClientRect();"
                "return [r.left, r.top, r.right, r.bottom, innerWidth, innerHeight];")
        finally:
            self.driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})
        left, top, right, bottom, width, height = box
        self.assertTrue(left >= 0 and top >= 0 and right <= width and bottom <= height,
                        "not all on screen: %s" % box)
        self.assertGreater(bottom - top, 0.8 * height, "the canvas is small: %s" % box)

    def test_installable_and_offline_after_one_visit(self):
        self.chromium_only()
        # A server of its own, stopped halfway: the page must then come from the device.
        server = serve(FOLDER)
        url = "http://127.0.0.1:%d/index.html" % server.server_address[1]
        try:
            self.driver.set_window_size(1280, 800)
            self.driver.get(url)
            self.wait_for(lambda: self.driver.execute_script(
                "return typeof toyStarted !== 'undefined' && toyStarted && "
                "!!navigator.serviceWorker.controller"), "the page kept by its service worker")
            errors = self.driver.execute_cdp_cmd("Page.getInstallabilityErrors", {})
            self.assertEqual(errors.get("installabilityErrors"), [], errors)
            online = self.frame()
        finally:
            server.shutdown()
            server.server_close()
        self.driver.execute_cdp_cmd("Network.clearBrowserCache", {})
        self.driver.get(url)
        self.wait_for(lambda: self.driver.execute_script(
            "return typeof toyStarted !== 'undefined' && toyStarted"), "the toy started offline")
        self.assertTrue(self.frame() == online, "offline, the start-up frame differs")

    def test_a_file_that_does_not_arrive_is_named(self):
        # The page's WebAssembly dropped by the network, from a server of its own: a new origin,
        # so no worker answers in the network's place.
        server = serve(FOLDER, unreachable="dressup.wasm")
        try:
            self.driver.get("http://127.0.0.1:%d/index.html" % server.server_address[1])
            line = ("The toy could not start: one of its files did not arrive. "
                    "Reload the page to try again.")
            self.wait_for(lambda: self.driver.execute_script(
                "return document.getElementById('said').textContent") == line,
                "the missing file named", seconds=5)
        finally:
            server.shutdown()
            server.server_close()

    def test_the_bundled_pictures_start_in_their_places(self):
        self.chromium_only()
        self.open()
        places = [(Bundled(p.name), x, y) for p, x, y in PICTURES]
        self.expect_scene(places, "the toy's own pictures at the start")
        self.assertEqual(self.driver.find_element("id", "said").text, "")


if __name__ == "__main__":
    why = missing()
    if why:
        print("skipped: " + why)
        sys.exit(77)
    unittest.main(argv=sys.argv[:1], verbosity=2)
