#include "wraps.h"

#include <cstddef>

struct rep;

int repaints = 0;
bool fail_next_malloc = false;

extern "C" void __real__Z7repaintP3rep(rep* scene);
extern "C" void __wrap__Z7repaintP3rep(rep* scene) {
    repaints++;
    __real__Z7repaintP3rep(scene);
}

extern "C" void* __real_malloc(size_t size);
extern "C" void* __wrap_malloc(size_t size) {
    if (fail_next_malloc) {
        fail_next_malloc = false;
        return nullptr;
    }
    return __real_malloc(size);
}
