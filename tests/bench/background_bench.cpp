// One background paint, timed by the clock: built for this machine and by Emscripten, so that
// make bench can set the page's WebAssembly against the desktop's code, in the same run.
// Prints the median of 200 paints, in milliseconds.
#include "draw.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

int main() {
    std::vector<Uint32> pixels(1024 * 512);
    SDL_PixelFormat format = {};
    format.BitsPerPixel = 32;
    format.BytesPerPixel = 4;
    format.Rmask = 0xFF0000;
    format.Gmask = 0xFF00;
    format.Bmask = 0xFF;
    SDL_Surface surface = {};
    surface.format = &format;
    surface.w = 1024;
    surface.h = 512;
    surface.pitch = 1024 * 4;
    surface.pixels = pixels.data();
    std::vector<double> ms;
    for (int i = 0; i < 200; i++) {
        auto start = std::chrono::steady_clock::now();
        paint_background(&surface);
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(ms.begin(), ms.end());
    printf("%.4f\n", ms[ms.size() / 2]);
    return pixels[1023] == 0; // the paint cannot be left out
}
