// The unit tests are linked with --wrap for malloc, setrlimit and the decoding helper, so they can
// make the first two fail and put a stand-in in the helper's place.
#pragma once

extern bool fail_next_malloc; // the next allocation returns null, once
extern bool fail_limits;      // every limit a process sets on itself fails, until cleared

// While set, a helper the toy starts runs this instead, with the pipe and the memory file a real
// one sends its picture through: a helper a hostile file has taken over, saying what it likes.
extern void (*helper_stand_in)(int out, int pixels);
