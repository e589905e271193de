// What the toy asks of its SDL 1.2 through the environment before the window opens: each
// platform's own (hints.cpp on the desktop, web/hints.cpp in a page). A user's own setting wins.
#pragma once

// Sets the platform's hints. True if one of them turned the framebuffer's emulation off, which
// open_screen then takes back once if the window cannot be opened with it.
bool suggest_hints();
