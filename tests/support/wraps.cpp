#include "wraps.h"

#include <sys/resource.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

bool fail_next_malloc = false;
bool fail_limits = false;
void (*helper_stand_in)(int out, int pixels) = nullptr;

extern "C" void* __real_malloc(size_t size);
extern "C" void* __wrap_malloc(size_t size) {
    if (fail_next_malloc) {
        fail_next_malloc = false;
        return nullptr;
    }
    return __real_malloc(size);
}

extern "C" int __real_setrlimit(int resource, const struct rlimit* limit);
extern "C" int __wrap_setrlimit(int resource, const struct rlimit* limit) {
    if (fail_limits) {
        errno = EPERM;
        return -1;
    }
    return __real_setrlimit(resource, limit);
}

// helper_run(int file, off_t size, const char* type, int out, int pixels, pid_t toy)
extern "C" [[noreturn]] void __real__Z10helper_runilPKciii(int, off_t, const char*, int, int,
                                                           pid_t);
extern "C" [[noreturn]] void __wrap__Z10helper_runilPKciii(int file, off_t size, const char* type,
                                                           int out, int pixels, pid_t toy) {
    if (!helper_stand_in)
        __real__Z10helper_runilPKciii(file, size, type, out, pixels, toy);
    helper_stand_in(out, pixels);
    _exit(0);
}
