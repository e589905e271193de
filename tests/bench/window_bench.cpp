// A whole repaint with the bundled pictures against the window update alone, in Xvfb.
#include "app.h"
#include "draw.h"
#include "image.h"
#include "rep.h"
#include "support/x11.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

static std::string sdl_name() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find("libSDL2") != std::string::npos)
            return "sdl12-compat";
    return "classic SDL 1.2";
}

// Milliseconds per call, the median of several rounds.
template <typename F> static double per_call(F work) {
    std::vector<double> rounds;
    for (int r = 0; r < 15; r++) {
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 20; i++)
            work();
        std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        rounds.push_back(took.count() / 20);
    }
    std::sort(rounds.begin(), rounds.end());
    return rounds[rounds.size() / 2];
}

int main(int argc, char** argv) {
    if (argc != 2 || chdir(argv[1]) != 0) {
        fprintf(stderr, "usage: %s PICTURE-FOLDER\n", argv[0]);
        return 2;
    }
    xserver x = {};
    if (!xserver_start(&x)) {
        fprintf(stderr, "window_bench: cannot start Xvfb\n");
        return 1;
    }
    setenv("DISPLAY", x.display.c_str(), 1);
    rep scene;
    decoding loads[picture_count];
    start_loading(loads);
    scene.screen = open_screen();
    if (!scene.screen || load_scene(&scene, loads) != scene_loaded)
        return 1;
    repaint(&scene);
    double update = 0, paint = 0, background = 0, pictures = 0;
    for (int pass = 0; pass < 2; pass++) { // the first pass warms up
        update = per_call([&] { SDL_UpdateRect(scene.screen, 0, 0, 0, 0); });
        paint = per_call([&] { repaint(&scene); });
        background = per_call([&] { paint_background(scene.screen); });
        pictures = per_call([&] {
            image_blit(100, 100, scene.model, scene.screen);
            for (image* item : scene.items)
                image_blit(image_stored, image_stored, item, scene.screen);
        });
    }
    printf("repaint / bare update: %.2f on %s (repaint %.3f ms: background %.3f, pictures %.3f;"
           " bare update %.3f ms)\n",
           paint / update, sdl_name().c_str(), paint, background, pictures, update);
    xserver_stop(&x);
    return 0;
}
