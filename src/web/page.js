// The page around the toy: its canvas as large as the viewport allows, what it prints, what it
// says when it cannot start, its words shown, offline use and full screen. The other rooms:
// words.js (translations), pointer.js (the pointer, fingers and keys), pieces.js (playing
// without dragging), places.js (the five pictures). Loaded in that order, then the toy.
// Copyright the dressup authors; MIT (Expat) licensed.
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
    afterStart();
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
// A WebAssembly file that did not arrive fails a promise that nothing else handles.
window.addEventListener("unhandledrejection", fileMissing);

// ---- Offline after one visit ----

// The service worker keeps every file of the page on the device; browsers run one only in a
// secure context, which 127.0.0.1 and any https host are.
if ("serviceWorker" in navigator && window.isSecureContext)
  navigator.serviceWorker.register("sw.js").catch(function () {});

// ---- The page's words, in the browser's language where there is a translation ----

function showWords(lang) {
  document.documentElement.lang = lang ? lang.replace("_", "-") : "en";
  document.title = _("Dress-up");
  document.getElementById("title").textContent = _("Dress-up");
  document.getElementById("how").textContent =
    _("Drag a piece of clothing onto the figure. Or tap a piece, then tap where it goes. Or, on its button, press Space to lift it, the arrows to move it, and Space to put it down.");
  document.getElementById("pieces").setAttribute("aria-label", _("Pieces of clothing"));
  document.getElementById("own-label").textContent = _("Your own pictures:");
  document.getElementById("figure").textContent = _("figure");
  var names = [_("trousers"), _("shoes"), _("T-shirt"), _("hat and scarf")];
  ["trousers", "shoes", "t-shirt", "hat"].forEach(function (id, i) {
    document.getElementById(id).textContent = names[i];
    pieceButtons[i].textContent = names[i];
  });
  document.getElementById("full-screen").textContent = _("Full screen");
  document.getElementById("bundled").textContent = _("The toy's own pictures");
  document.getElementById("save").textContent = _("Save a picture");
  document.getElementById("own-note").textContent =
    _("Choosing a picture starts again, with every piece in its first place.");
  if (toyStarted) {
    report();
    nameCanvas();
  } else {
    canvas.setAttribute("aria-label", _("A figure and four pieces of clothing."));
    said.textContent = _("Loading…");
  }
}

translate(function (lang) {
  showWords(lang);
  fit();
});

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
