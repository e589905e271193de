#include "wraps.h"

#include <cstddef>

struct rep;

int paints = 0;
bool fail_next_malloc = false;

extern "C" void __real__Z11paint_sceneP3rep(rep* scene);
extern "C" void __wrap__Z11paint_sceneP3rep(rep* scene) {
    paints++;
    __real__Z11paint_sceneP3rep(scene);
}

extern "C" void* __real_malloc(size_t size);
extern "C" void* __wrap_malloc(size_t size) {
    if (fail_next_malloc) {
        fail_next_malloc = false;
        return nullptr;
    }
    return __real_malloc(size);
}
