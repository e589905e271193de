// The five places and their pictures: the choosers, the toy's own pictures back, and saving
// what the child made. Copyright the dressup authors; MIT (Expat) licensed.
"use strict";

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

// Once for each start: every place whose picture failed, each named once, then what works.
function report() {
  var lines = [];
  for (var i = 0; i < places.length; i++)
    if (Module._dressup_failed(i)) lines.push(failedLine(i, shownFrom[i]));
  if (lines.length) lines.push(_("Pictures that work: PNG, JPEG, GIF, BMP and WebP."));
  said.textContent = lines.join(" ");
}

// Each chooser says which file its place now shows, where it is not the toy's own.
function showHeld() {
  document.querySelectorAll(".place").forEach(function (place, i) {
    var file = shownFrom[i];
    place.querySelector(".holds").textContent = file === places[i] ? "" : "(" + file + ")";
  });
}

function keepBundled() {
  places.forEach(function (name) { bundled[name] = Module.FS.readFile("/pictures/" + name); });
}

function restart() {
  beforeRestart();
  Module._dressup_restart();
  report();
  afterStart();
  showHeld();
  var button = document.getElementById("bundled");
  button.disabled = places.every(function (name, i) { return shownFrom[i] === name; });
  // A button that has just disabled itself would drop the focus to the page itself.
  if (button.disabled && document.activeElement === button)
    document.querySelector(".place input").focus();
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
