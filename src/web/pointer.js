// The pointer, fingers and keys: the toy gets the pointer from the page, as pointer events,
// and the keyboard stays the page's. Copyright the dressup authors; MIT (Expat) licensed.
"use strict";

// The toy uses no keys. Not every Emscripten release heeds doNotCaptureKeyboard, and its SDL
// would cancel every key on the page; so keys stop here, before any script below the window
// sees them (the piece buttons' keys are heard here too, in pieces.js), and what the browser
// does with them goes on: Tab walks the page, shortcuts work. A chooser opens with Enter or
// Space, in every engine.
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

// Where a pointer event is, in fractions of the toy's pixels, and the CSS pixels of one of them.
function toyPoint(event) {
  var box = canvas.getBoundingClientRect();
  return { x: (event.clientX - box.left) * toyWidth / box.width,
           y: (event.clientY - box.top) * toyHeight / box.height, scale: box.width / toyWidth };
}

// Where the pointer is in the toy's pixels. During a drag a desktop window keeps the pointer
// within it; the canvas does the same, so no piece follows a finger out of reach.
function send(kind, button, event) {
  var at = toyPoint(event);
  var x = Math.min(Math.max(Math.floor(at.x), 0), toyWidth - 1);
  var y = Math.min(Math.max(Math.floor(at.y), 0), toyHeight - 1);
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
