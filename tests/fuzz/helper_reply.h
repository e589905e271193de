// A decoding helper's reply as the fuzz target reads it from its input, so that a seed written
// from an honest picture and a reply the fuzzer makes up take the same road.
#pragma once

#include <cstddef>
#include <cstdint>

// The input: this, then the bytes sent down the pipe (a description and its palette, as far as
// pipe_bytes says; whatever the fuzzer likes), then the first of the rows put in the memory file.
struct reply_start {
    uint32_t file_bytes; // the memory file's final size, within most_file_bytes
    uint16_t pipe_bytes;
    uint8_t seals; // F_SEAL_* the helper sets itself before it goes
    uint8_t unused;
};

// Larger pictures are the same arithmetic, and only slower to fuzz.
const uint32_t most_file_bytes = 16 << 20;
