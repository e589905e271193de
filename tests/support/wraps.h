// The unit tests are linked with --wrap for paint_scene and malloc, so they can count the one
// and make the other fail.
#pragma once

extern int paints;            // every painting of the scene since the test last set it
extern bool fail_next_malloc; // the next allocation returns null, once
