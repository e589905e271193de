// The page around the toy: its canvas sized by whole device pixels, what it prints, and the
// pictures a person chooses. Copyright the dressup authors; MIT (Expat) licensed.
"use strict";

var canvas = document.getElementById("canvas");
var said = document.getElementById("said");
var toyWidth = 1024, toyHeight = 512;

// As large as fits, in whole device pixels for each of the toy's, so that it stays crisp: 2 on
// a screen scaled by 2, 1 at 1.25. Where not even 1 fits, scaled down, softly.
function fit() {
  var ratio = window.devicePixelRatio || 1;
  var stage = document.getElementById("stage").getBoundingClientRect();
  var roomWidth = document.documentElement.clientWidth - 2 * stage.left;
  var roomHeight = window.innerHeight - stage.top - 8;
  var byWidth = Math.floor(roomWidth * ratio / toyWidth);
  var byHeight = Math.max(1, Math.floor(roomHeight * ratio / toyHeight)); // else it scrolls
  var whole = Math.min(Math.max(1, Math.round(ratio)), byWidth, byHeight);
  var width = whole >= 1 ? whole * toyWidth / ratio : Math.max(roomWidth, 1);
  canvas.style.width = width + "px";
  canvas.style.height = width / 2 + "px";
  canvas.style.imageRendering = whole >= 1 ? "pixelated" : "auto";
}

// What the toy prints: a picture it could not load, in the page and in the console.
function print(line) {
  console.log(line);
  said.textContent += (said.textContent ? " " : "") + line;
}

var toyStarted = false; // its first frame is painted and the browser calls its loop

var Module = {
  canvas: canvas,
  print: print,
  printErr: function (line) { console.warn(line); },
  // Every frame writes every pixel, so the canvas is never read back before one.
  screenIsReadOnly: true,
  postRun: [fit, function () { toyStarted = true; }],
};

window.addEventListener("resize", fit);
fit();

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

// At rest the toy's loop sleeps; whatever the pointer or a finger does on the canvas wakes it,
// and the toy reads it in its next frame.
["mousedown", "mouseup", "mousemove", "mouseout", "wheel", "touchstart", "touchmove",
 "touchend"].forEach(function (type) {
  canvas.addEventListener(type, function () {
    if (toyStarted) Module._dressup_wake();
  }, true);
});

// A picture chosen or dropped for one of the five places goes into the toy's folder, and the
// toy starts again with it. Nothing leaves the page.
function choose(name, file) {
  file.arrayBuffer().then(function (bytes) {
    Module.FS.writeFile("/pictures/" + name, new Uint8Array(bytes));
    said.textContent = "";
    Module._dressup_restart();
  });
}

document.querySelectorAll(".place").forEach(function (place) {
  var input = place.querySelector("input");
  var name = input.dataset.file;
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
