// What confines a decoding helper once it has read its file: a decoder that a hostile picture
// takes over must find nothing to reach. Three layers, each holding on its own:
// - descriptors: only the two the helper hands its picture back through, and no new one;
// - Landlock: no file, and, as far as the kernel's Landlock goes, no TCP (ABI 4), no abstract
//   socket and no signal outside (ABI 6);
// - the system-call filter: what decoding needs, with memory for data only; every way out, and
//   any memory that could run, kills the helper.
#pragma once

enum sandbox_layer : unsigned {
    sandbox_descriptors = 1,
    sandbox_landlock = 2,
    sandbox_filter = 4,
    sandbox_every_layer = 7,
};

// What this kernel can confine a helper with, learned once.
struct sandbox_support {
    int landlock_abi;        // the Landlock this kernel applies; 0 for none
    const char* no_filter;   // why system calls cannot be filtered here, or null where they can
    const char* no_landlock; // why there is no Landlock here, or null where there is
};
sandbox_support sandbox_learn();

// In the toy, once, before any helper starts: learns what the kernel can confine, and says on
// standard error which layer it cannot give, so that pictures are decoded without it.
void sandbox_prepare();

// Set to 1 in the environment, a helper says on standard error each system call that its filter
// refuses, by name, rather than leave the decoder to fail without a word.
const char* const say_refused_calls = "DRESSUP_SAY_REFUSED_CALLS";

// In the helper: keeps descriptors keep and also_keep, closes every other, and enters the given
// layers. False if one this kernel has could not be entered: the helper must then decode nothing.
bool sandbox_enter(int keep, int also_keep, unsigned layers = sandbox_every_layer);
