// Playing without dragging: a button for each piece of clothing, which the keyboard lifts, moves
// and puts down; a tap that picks a piece and a tap that places it; a ring over the canvas round
// the piece in hand; and each step said in words. The toy's drag rule is left as it is: these
// only ask the toy where a piece is and to move that one. Copyright the dressup authors; MIT
// (Expat) licensed.
"use strict";

var pieceButtons = Array.prototype.slice.call(document.querySelectorAll(".piece"));
var ring = document.getElementById("ring");
var steps = document.getElementById("steps");

var keyStep = 10, shiftStep = 50; // the toy's pixels a press of an arrow moves a piece
var tapSlop = 6;                  // CSS pixels a tap's pointer may move and still be a tap
var fingerReach = 24;             // CSS pixels beside a piece that a tap still picks it from
var restMs = 1000;                // quiet keys after which a move is said

// The piece in hand: its place (1 to 4, as the toy counts), whether keys or a tap took it, and
// where it was taken from, for Escape.
var held = null;

// ---- What the toy knows of the pieces ----

function box(place) {
  var b = [0, 1, 2, 3].map(function (field) { return Module._dressup_box(place, field); });
  return { x: b[0], y: b[1], w: b[2], h: b[3] };
}

// Most of the piece over the figure.
function onFigure(place) {
  var p = box(place), f = box(0);
  var across = Math.min(p.x + p.w, f.x + f.w) - Math.max(p.x, f.x);
  var down = Math.min(p.y + p.h, f.y + f.h) - Math.max(p.y, f.y);
  return across > 0 && down > 0 && 2 * across * down > p.w * p.h;
}

// Within the canvas as far as the piece fits, and never pushed further out than it was: with
// enough of it always inside to be taken again.
function kept(value, size, room, was) {
  var low = Math.min(0, room - size), high = Math.max(0, room - size);
  return Math.min(Math.max(value, Math.min(low, was)), Math.max(high, was));
}

function moveTo(place, x, y) {
  var p = box(place);
  Module._dressup_move(place, kept(x, p.w, toyWidth, p.x), kept(y, p.h, toyHeight, p.y));
  showRing();
}

// ---- Words ----

// Each step, in the page's words: which piece and what became of it.
function stepLine(place, step) {
  var lines = {
    lifted: [_("Trousers lifted."), _("Shoes lifted."), _("T-shirt lifted."),
             _("Hat and scarf lifted.")],
    on: [_("Trousers on the figure."), _("Shoes on the figure."), _("T-shirt on the figure."),
         _("Hat and scarf on the figure.")],
    off: [_("Trousers off the figure."), _("Shoes off the figure."), _("T-shirt off the figure."),
          _("Hat and scarf off the figure.")],
    down: [_("Trousers put down."), _("Shoes put down."), _("T-shirt put down."),
           _("Hat and scarf put down.")],
    back: [_("Trousers back where they were."), _("Shoes back where they were."),
           _("T-shirt back where it was."), _("Hat and scarf back where they were.")],
    none: [_("The trousers have no picture to lift: it could not be shown."),
           _("The shoes have no picture to lift: it could not be shown."),
           _("The T-shirt has no picture to lift: it could not be shown."),
           _("The hat and scarf have no picture to lift: it could not be shown.")],
  };
  return lines[step][place - 1];
}

function say(line) {
  steps.textContent = line;
}

// The canvas's name says what the figure is wearing.
function nameCanvas() {
  var worn = pieceButtons.filter(function (button, i) { return onFigure(i + 1); })
    .map(function (button) { return button.textContent; });
  canvas.setAttribute("aria-label", _("A figure and four pieces of clothing.") + " " +
    (worn.length ? _("On the figure: %s.").replace("%s", worn.join(", ")) :
                   _("Nothing is on the figure yet.")));
}

// ---- Taking and leaving a piece ----

function take(place, by) {
  var p = box(place);
  if (!p.w || !p.h) { // a picture that could not be shown: nothing to take hold of
    say(stepLine(place, "none"));
    return;
  }
  leave();
  held = { place: place, by: by, x: p.x, y: p.y };
  pieceButtons[place - 1].setAttribute("aria-pressed", "true");
  say(stepLine(place, "lifted"));
  showRing();
}

// Puts the piece in hand down where it is, or back where it was taken from.
function leave(back) {
  if (!held) return;
  var place = held.place;
  clearTimeout(resting);
  if (back) moveTo(place, held.x, held.y);
  held = null;
  pieceButtons[place - 1].setAttribute("aria-pressed", "false");
  say(stepLine(place, back ? "back" : onFigure(place) ? "on" : "down"));
  nameCanvas();
  showRing();
}

// ---- The keyboard, on a piece's button ----

var resting = 0;
var keyedAt = -Infinity; // when keys last lifted or put down, so that no click repeats it

// Arrows and the numeric keypad (its corners diagonally, with Num Lock on or off).
var moves = {
  ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, -1], ArrowDown: [0, 1],
  Numpad4: [-1, 0], Numpad6: [1, 0], Numpad8: [0, -1], Numpad2: [0, 1],
  Numpad7: [-1, -1], Numpad9: [1, -1], Numpad1: [-1, 1], Numpad3: [1, 1],
};

function direction(event) {
  return moves[event.code] || moves[event.key];
}

function pieceKey(event) {
  var place = pieceButtons.indexOf(event.target) + 1;
  if (!place || !toyStarted || event.altKey || event.ctrlKey || event.metaKey) return;
  var lifted = held && held.place === place;
  if (event.key === "Enter" || event.key === " ") {
    event.preventDefault();
    if (event.repeat) return; // a held Space lifts once, not on and off
    keyedAt = performance.now();
    if (lifted) leave();
    else take(place, "keys");
  } else if (event.key === "Escape" && lifted) {
    event.preventDefault();
    leave(true);
  } else if (lifted && direction(event)) {
    event.preventDefault();
    var step = event.shiftKey ? shiftStep : keyStep, p = box(place), d = direction(event);
    moveTo(place, p.x + d[0] * step, p.y + d[1] * step);
    clearTimeout(resting);
    resting = setTimeout(function () {
      if (held && held.place === place) say(stepLine(place, onFigure(place) ? "on" : "off"));
    }, restMs);
  }
}
window.addEventListener("keydown", pieceKey, true);

// Escape lets go of a piece in hand wherever the focus is, as on its own button.
window.addEventListener("keydown", function (event) {
  if (event.key === "Escape" && held && !event.defaultPrevented) leave(true);
}, true);

pieceButtons.forEach(function (button, i) {
  // A click that is not the keys' own: a pointer's picks as a tap does, and a screen reader's
  // or switch's (no pointer, detail 0) lifts as the keys do.
  button.addEventListener("click", function (event) {
    if (!toyStarted || (event.detail === 0 && performance.now() - keyedAt < 500)) return;
    if (held && held.place === i + 1) leave();
    else take(i + 1, event.detail ? "tap" : "keys");
  });
  button.addEventListener("focus", showRing);
  // Tab, or the focus gone anywhere else, puts a piece the keys lifted down where it is.
  button.addEventListener("blur", function () {
    if (held && held.place === i + 1 && held.by === "keys") leave();
    showRing();
  });
});

// ---- A tap to pick, a tap to place ----

var tapFrom = null; // where the primary pointer went down, while it may still be a tap

canvas.addEventListener("pointerdown", function (event) {
  if (!toyStarted || !event.isPrimary) return;
  if (held && held.by === "keys") leave(); // a forgotten lift never locks the pointer out
  tapFrom = { x: event.clientX, y: event.clientY };
});

canvas.addEventListener("pointermove", function (event) {
  if (tapFrom && Math.hypot(event.clientX - tapFrom.x, event.clientY - tapFrom.y) >= tapSlop)
    tapFrom = null;
  if (event.buttons) followLater();
});

canvas.addEventListener("pointerup", function (event) {
  if (!toyStarted || !event.isPrimary) return;
  if (tapFrom) tapped(toyPoint(event));
  tapFrom = null;
  nameCanvas(); // a drag may have dressed the figure too
});
canvas.addEventListener("pointercancel", function () { tapFrom = null; });

// How far a point is from a piece, in CSS pixels: 0 inside it; a piece with no size is nowhere.
function distance(place, at) {
  var p = box(place);
  if (!p.w || !p.h) return Infinity;
  var dx = Math.max(p.x - at.x, 0, at.x - (p.x + p.w));
  var dy = Math.max(p.y - at.y, 0, at.y - (p.y + p.h));
  return Math.hypot(dx, dy) * at.scale;
}

// The piece a tap means: the top one under it, or else the nearest within a finger's reach.
function pieceAt(at) {
  var best = 0, nearest = fingerReach;
  for (var place = pieceButtons.length; place >= 1; place--) {
    var d = distance(place, at);
    if (d === 0) return place;
    if (d <= nearest) { best = place; nearest = d; }
  }
  return best;
}

function tapped(at) {
  followLater();
  if (!held) {
    var place = pieceAt(at);
    if (place) take(place, "tap");
    return;
  }
  if (distance(held.place, at) > 0) {
    var p = box(held.place);
    moveTo(held.place, Math.round(at.x - p.w / 2), Math.round(at.y - p.h / 2));
  }
  leave();
}

// ---- The ring round the piece in hand, or the piece whose button has the focus ----

function ringedPlace() {
  if (held) return held.place;
  return pieceButtons.indexOf(document.activeElement) + 1;
}

// The ring is the page's, over the canvas: the canvas's own pixels stay the scene.
function showRing() {
  var place = toyStarted ? ringedPlace() : 0;
  var p = place ? box(place) : null;
  if (!p || !p.w || !p.h) {
    ring.hidden = true;
    return;
  }
  var c = canvas.getBoundingClientRect();
  var stage = document.getElementById("stage").getBoundingClientRect();
  var scale = c.width / toyWidth;
  var left = Math.max(p.x, 0), top = Math.max(p.y, 0);
  var right = Math.min(p.x + p.w, toyWidth), bottom = Math.min(p.y + p.h, toyHeight);
  ring.hidden = false;
  ring.classList.toggle("lifted", !!held);
  ring.style.left = c.left - stage.left + left * scale + "px";
  ring.style.top = c.top - stage.top + top * scale + "px";
  ring.style.width = Math.max(right - left, 0) * scale + "px";
  ring.style.height = Math.max(bottom - top, 0) * scale + "px";
}

// After a drag, once the toy has taken its motions: at most once a frame.
var following = false;
function followLater() {
  if (following || ring.hidden) return;
  following = true;
  requestAnimationFrame(function () {
    following = false;
    showRing();
  });
}
window.addEventListener("resize", showRing);

// ---- Starting again ----

// Before the toy starts again with other pictures: whatever is in hand is put down.
function beforeRestart() {
  leave();
}

// The toy's pieces are in their first places, with their new sizes.
function afterStart() {
  nameCanvas();
  showRing();
}
