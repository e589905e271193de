// A page's hints: none. Emscripten's SDL draws into the page's canvas and reads none of the
// desktop's.
#include "hints.h"

bool suggest_hints() {
    return false;
}
