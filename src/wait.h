// What the loop waits for when it has nothing to do: the display, a stop signal, or the time
// for the next frame. On the desktop only: a page's loop is the browser's.
#pragma once

#include <SDL.h>

// Catches SIGINT and SIGTERM before the library does: classic SDL 1.2 pushes its quit event
// from inside the signal handler, and deadlocks when the signal lands while the loop holds
// the event queue's lock.
void catch_stop_signals();

// Whether a stop signal has come.
bool stop_requested();

// Turns a stop signal caught since the last call into the quit event, from the loop itself.
void forward_stop_signal();

// Sleeps until the display has something for the loop, a stop signal comes, or most_ms pass.
// Call it only when the library's queue has just been found empty. During a drag it naps
// briefly instead, so that a fast mouse's motions are taken in batches.
void wait_for_events(Uint32 most_ms, bool dragging);
