// glibc's rand, for a C library that has another: the clothes start where the library's default
// sequence puts them, (677, 18), (693, 154), (786, 136) and (549, 136), in a browser too. It is
// glibc's additive feedback generator over 31 words, seeded as glibc seeds it.
#include <cstdint>

const int words = 31;
const int separation = 3;       // between the two words each step adds
const int warm_up = 10 * words; // steps glibc discards after seeding

static int32_t state[words];
static int front, rear;
static bool seeded = false;

static int32_t step() {
    state[front] = (int32_t)((uint32_t)state[front] + (uint32_t)state[rear]);
    int32_t result = (int32_t)((uint32_t)state[front] >> 1);
    front = (front + 1) % words;
    rear = (rear + 1) % words;
    return result;
}

extern "C" void srand(unsigned seed) {
    state[0] = seed ? (int32_t)seed : 1;
    for (int i = 1; i < words; i++) {
        // 16807 times the last, modulo 2^31 - 1, without overflow (Schrage's method)
        int32_t hi = state[i - 1] / 127773, lo = state[i - 1] % 127773;
        int32_t word = 16807 * lo - 2836 * hi;
        state[i] = word < 0 ? word + 2147483647 : word;
    }
    front = separation;
    rear = 0;
    for (int i = 0; i < warm_up; i++)
        step();
    seeded = true;
}

extern "C" int rand() {
    if (!seeded)
        srand(1);
    return step();
}
