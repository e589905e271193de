// The page around the toy: its canvas as large as the viewport allows, the pointer and fingers
// handed to it, what it prints, and the pictures a person chooses. The keyboard stays the
// browser's. Copyright the dressup authors; MIT (Expat) licensed.
"use strict";

var canvas = document.getElementById("canvas");
var said = document.getElementById("said");
var toyWidth = 1024, toyHeight = 512;

// As large as the viewport allows, across and down, below the compact title: in whole device
// pixels for each of the toy's wherever it is at least its own size, so that it stays crisp.
// Where even its own size does not fit (a phone), scaled down to the room there is, softly.
function fit() {
  var ratio = window.devicePixelRatio || 1;
  var stage = document.getElementById("stage");
  var roomWidth = stage.clientWidth;
  var roomHeight = window.innerHeight - (stage.getBoundingClientRect().top + window.scrollY) - 4;
  var room = Math.max(1, Math.min(roomWidth, 2 * roomHeight)); // CSS pixels across
  var whole = Math.floor(room * ratio / toyWidth);
  var width = whole >= 1 ? whole * toyWidth / ratio : room;
  canvas.style.width = width + "px";
  canvas.style.height = width / 2 + "px";
  canvas.style.imageRendering = whole >= 1 ? "pixelated" : "auto";
}

// What the toy prints (its own line for a picture it could not load) goes to the console, as
// the desktop's goes to standard output; the page says it in words of its own (report).
function print(line) {
  console.log(line);
}

var toyStarted = false; // its first frame is painted and the browser calls its loop

var Module = {
  canvas: canvas,
  print: print,
  printErr: function (line) { console.warn(line); },
  // Every frame writes every pixel, so the canvas is never read back before one.
  screenIsReadOnly: true,
  // The toy uses no keys: Tab, Enter and the browser's own shortcuts stay the page's.
  doNotCaptureKeyboard: true,
  postRun: [fit, function () {
    performance.mark("first-frame"); // the toy has painted and shown it
    toyStarted = true;
    said.classList.remove("waiting");
    keepBundled();
    report();
  }],
};
said.classList.add("waiting");

window.addEventListener("resize", fit);
fit();

// ---- When the toy cannot start ----

// Until the toy runs, anything that fails on the page means it will not: say so, in words.
function cannotStart(why) {
  if (toyStarted) return;
  said.classList.remove("waiting");
  said.textContent = why;
}
function fileMissing() {
  cannotStart(_("The toy could not start: one of its files did not arrive. Reload the page to try again."));
}
if (typeof WebAssembly !== "object")
  cannotStart(_("This browser cannot run the toy: it has no WebAssembly."));
Module.onAbort = fileMissing;
window.addEventListener("error", fileMissing, true); // a script or data file that did not load

// ---- Offline after one visit ----

// The service worker keeps every file of the page on the device; browsers run one only in a
// secure context, which 127.0.0.1 and any https host are.
if ("serviceWorker" in navigator && window.isSecureContext)
  navigator.serviceWorker.register("sw.js").catch(function () {});

// ---- The page's words, in the browser's language where there is a translation ----

// The translations there are (po/LINGUAS), each compiled by msgfmt into locale/LANG.mo.
var translated = "@LINGUAS@".split(" ");
var catalogue = {};

function _(english) {
  return catalogue[english] || english;
}

// The first of the browser's languages there is a translation for: pt-BR takes pt_BR, then pt;
// zh takes zh_CN.
function language() {
  var wanted = navigator.languages || [navigator.language || "en"];
  for (var i = 0; i < wanted.length; i++) {
    var tag = wanted[i].replace("-", "_"), base = tag.split("_")[0];
    if (base === "en") return null;
    if (translated.indexOf(tag) >= 0) return tag;
    if (translated.indexOf(base) >= 0) return base;
    for (var j = 0; j < translated.length; j++)
      if (translated[j].split("_")[0] === base) return translated[j];
  }
  return null;
}

// A compiled gettext catalogue: its strings are pairs of tables of lengths and offsets.
function readCatalogue(bytes) {
  var view = new DataView(bytes), text = new TextDecoder("utf-8");
  var little = view.getUint32(0, true) === 0x950412de;
  var count = view.getUint32(8, little);
  var originals = view.getUint32(12, little), translations = view.getUint32(16, little);
  function string(table, i) {
    var length = view.getUint32(table + 8 * i, little), at = view.getUint32(table + 8 * i + 4, little);
    return text.decode(new Uint8Array(bytes, at, length));
  }
  for (var i = 0; i < count; i++)
    catalogue[string(originals, i)] = string(translations, i);
}

function showWords(lang) {
  document.documentElement.lang = lang ? lang.replace("_", "-") : "en";
  document.title = _("Dress-up");
  document.getElementById("title").textContent = _("Dress-up");
  document.getElementById("how").textContent =
    _("Hold the mouse button, or a finger, on a piece of clothing and move it onto the figure.");
  document.getElementById("own-label").textContent = _("Your own pictures:");
  document.getElementById("figure").textContent = _("figure");
  document.getElementById("trousers").textContent = _("trousers");
  document.getElementById("shoes").textContent = _("shoes");
  document.getElementById("t-shirt").textContent = _("T-shirt");
  document.getElementById("hat").textContent = _("hat and scarf");
  document.getElementById("full-screen").textContent = _("Full screen");
  document.getElementById("bundled").textContent = _("The toy's own pictures");
  document.getElementById("save").textContent = _("Save a picture");
  document.getElementById("own-note").textContent =
    _("Choosing a picture starts again, with every piece in its first place.");
  if (toyStarted) report();
  canvas.setAttribute("aria-label", _("A figure and four pieces of clothing to drag onto it"));
  if (!toyStarted) said.textContent = _("Loading…");
}

(function translate() {
  var lang = language();
  if (!lang) return;
  fetch("locale/" + lang + ".mo")
    .then(function (response) { return response.ok ? response.arrayBuffer() : null; })
    .then(function (bytes) {
      if (!bytes) return;
      readCatalogue(bytes);
      showWords(lang);
      fit();
    });
})();

// ---- The keyboard stays the browser's ----

// The toy uses no keys. Not every Emscripten release heeds doNotCaptureKeyboard, and its SDL
// would cancel every key on the page; so keys stop here, before any script of the page sees
// them, and what the browser does with them goes on: Tab walks the page, shortcuts work. A
// chooser opens with Enter or Space, in every engine.
["keydown", "keyup", "keypress"].forEach(function (type) {
  window.addEventListener(type, function (event) {
    event.stopPropagation();
    var opens = event.key === "Enter" || event.key === " ";
    if (type === "keydown" && opens && event.target.type === "file") {
      event.preventDefault();
      event.target.click();
    }
  }, true);
});

// ---- The pointer and fingers ----

// The page hands the toy the pointer itself, as pointer events: one kind of event for a mouse,
// a finger or a pen, every position the hardware reported (a swipe is many between two frames),
// and the pointer held by the canvas while a button or finger is down. So the toy's library
// sees none of the mouse, touch or wheel events it would otherwise read.
["mousedown", "mouseup", "mousemove", "mouseout", "touchstart", "touchmove", "touchend",
 "touchcancel", "wheel", "mousewheel", "DOMMouseScroll"].forEach(function (type) {
  document.getElementById("stage").addEventListener(type, function (event) {
    if (event.target === canvas) event.stopPropagation();
  }, true);
});

var motion = 0, press = 1, release = 2; // as the toy's dressup_pointer takes them

// Where the pointer is in the toy's pixels. During a drag a desktop window keeps the pointer
// within it; the canvas does the same, so no piece follows a finger out of reach.
function send(kind, button, event) {
  var box = canvas.getBoundingClientRect();
  var x = Math.floor((event.clientX - box.left) * toyWidth / box.width);
  var y = Math.floor((event.clientY - box.top) * toyHeight / box.height);
  x = Math.min(Math.max(x, 0), toyWidth - 1);
  y = Math.min(Math.max(y, 0), toyHeight - 1);
  Module._dressup_pointer(kind, button, x, y);
}

// The DOM counts buttons from 0 (left, middle, right), SDL from 1; and a button's bit in
// event.buttons, for a second button pressed or released during a drag.
function sdlButton(button) { return button + 1; }
function buttonHeld(event) { return (event.buttons & [1, 4, 2, 8, 16][event.button]) !== 0; }

canvas.addEventListener("pointerdown", function (event) {
  if (!toyStarted || !event.isPrimary) return;
  event.preventDefault();
  canvas.setPointerCapture(event.pointerId);
  send(press, sdlButton(event.button), event);
});

canvas.addEventListener("pointermove", function (event) {
  if (!toyStarted || !event.isPrimary) return;
  var all = event.getCoalescedEvents ? event.getCoalescedEvents() : [];
  (all.length ? all : [event]).forEach(function (each) { send(motion, 0, each); });
  if (event.button >= 0) // another button pressed or released while one is held
    send(buttonHeld(event) ? press : release, sdlButton(event.button), event);
});

["pointerup", "pointercancel"].forEach(function (type) {
  canvas.addEventListener(type, function (event) {
    if (!toyStarted || !event.isPrimary) return;
    send(release, sdlButton(Math.max(event.button, 0)), event);
  });
});

// A wheel step is a press and a release of the wheel's button, as in SDL: it ends a drag. While
// one is held, the page does not scroll under it.
canvas.addEventListener("wheel", function (event) {
  if (!toyStarted) return;
  var button = event.deltaY < 0 ? 4 : 5;
  send(press, button, event);
  send(release, button, event);
  if (event.buttons) event.preventDefault();
}, { passive: false });

// The right button drags too, as on the desktop, rather than open a menu.
canvas.addEventListener("contextmenu", function (event) { event.preventDefault(); });

// ---- Full screen, where the browser has it ----

(function fullScreen() {
  var button = document.getElementById("full-screen");
  var root = document.documentElement;
  var enter = root.requestFullscreen || root.webkitRequestFullscreen;
  if (!enter || !(document.fullscreenEnabled || document.webkitFullscreenEnabled)) return;
  button.hidden = false;
  button.addEventListener("click", function () { enter.call(root); });
  document.addEventListener("fullscreenchange", fit);
  document.addEventListener("webkitfullscreenchange", fit);
})();

// ---- The five places and their pictures ----

// The files of the five places, as their choosers in the page name them.
var places = Array.prototype.map.call(document.querySelectorAll(".place input"),
                                      function (input) { return input.dataset.file; });
var shownFrom = places.slice(); // the file each place's picture came from, as its chooser named it
var bundled = {};               // the toy's own pictures, as the page first had them

// What the page says of a place whose picture could not be shown, naming the file.
function failedLine(place, file) {
  var lines = [_("The figure could not be shown from %s."),
               _("The trousers could not be shown from %s."),
               _("The shoes could not be shown from %s."),
               _("The T-shirt could not be shown from %s."),
               _("The hat and scarf could not be shown from %s.")];
  return lines[place].replace("%s", file);
}

// Once for each start: every place whose picture failed, each named once.
function report() {
  var lines = [];
  for (var i = 0; i < places.length; i++)
    if (Module._dressup_failed(i)) lines.push(failedLine(i, shownFrom[i]));
  said.textContent = lines.join(" ");
}

function keepBundled() {
  places.forEach(function (name) { bundled[name] = Module.FS.readFile("/pictures/" + name); });
}

function restart() {
  Module._dressup_restart();
  report();
  document.getElementById("bundled").disabled = places.every(function (name, i) {
    return shownFrom[i] === name;
  });
}

// What the toy reads itself (stb_image): PNG, JPEG, GIF, BMP, and a few more by their headers.
// Anything else the browser can decode (WebP above all; AVIF, and more) is turned into a PNG
// first, by the browser, as it is: no colour profile applied, alpha kept.
var accepted = "image/png,image/jpeg,image/gif,image/bmp,image/webp,image/avif," +
  ".png,.jpg,.jpeg,.gif,.bmp,.webp,.avif,.tga,.pnm,.ppm,.pgm,.psd";

function readsItself(bytes) {
  var b = new Uint8Array(bytes, 0, Math.min(4, bytes.byteLength));
  var text = String.fromCharCode.apply(null, b);
  return text === "\x89PNG" || (b[0] === 0xff && b[1] === 0xd8) || text.slice(0, 3) === "GIF" ||
    text.slice(0, 2) === "BM";
}

function asPng(file) {
  return createImageBitmap(file, { premultiplyAlpha: "none", colorSpaceConversion: "none" })
    .then(function (bitmap) {
      var drawn = document.createElement("canvas");
      drawn.width = bitmap.width;
      drawn.height = bitmap.height;
      drawn.getContext("2d").drawImage(bitmap, 0, 0);
      return new Promise(function (done) { drawn.toBlob(done, "image/png"); });
    })
    .then(function (png) { return png.arrayBuffer(); });
}

// A picture chosen or dropped for one of the five places goes into the toy's folder, and the
// toy starts again with it. Nothing leaves the page.
function choose(name, file) {
  file.arrayBuffer().then(function (bytes) {
    if (readsItself(bytes)) return bytes;
    return asPng(file).catch(function () { return bytes; }); // the toy then reports it
  }).then(function (bytes) {
    Module.FS.writeFile("/pictures/" + name, new Uint8Array(bytes));
    shownFrom[places.indexOf(name)] = file.name;
    restart();
  });
}

document.getElementById("bundled").addEventListener("click", function () {
  places.forEach(function (name, i) {
    Module.FS.writeFile("/pictures/" + name, bundled[name]);
    shownFrom[i] = name;
  });
  restart();
});

// What the child made, as a PNG of exactly the canvas's pixels, saved on the device.
document.getElementById("save").addEventListener("click", function () {
  canvas.toBlob(function (png) {
    var link = document.createElement("a");
    link.href = URL.createObjectURL(png);
    link.download = "dress-up.png";
    link.click();
    setTimeout(function () { URL.revokeObjectURL(link.href); }, 10000);
  }, "image/png");
});

document.querySelectorAll(".place").forEach(function (place) {
  var input = place.querySelector("input");
  var name = input.dataset.file;
  input.accept = accepted;
  input.addEventListener("change", function () {
    if (input.files.length) choose(name, input.files[0]);
    input.value = "";
  });
  place.addEventListener("dragover", function (event) {
    event.preventDefault();
    place.classList.add("over");
  });
  place.addEventListener("dragleave", function () { place.classList.remove("over"); });
  place.addEventListener("drop", function (event) {
    event.preventDefault();
    place.classList.remove("over");
    if (event.dataTransfer.files.length) choose(name, event.dataTransfer.files[0]);
  });
});
