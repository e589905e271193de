// A whole repaint with the bundled pictures against the window update alone: in Xvfb, and then
// on native Wayland in a headless sway where the SDL 1.2 has a Wayland driver, with the native
// update against the X11 one.
#include "app.h"
#include "draw.h"
#include "image.h"
#include "rep.h"
#include "support/process.h"
#include "support/wayland.h"
#include "support/x11.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

static bool loaded(const char* library) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find(library) != std::string::npos)
            return true;
    return false;
}

static std::string sdl_name() {
    if (loaded("libSDL3"))
        return "sdl12-compat on SDL3";
    return loaded("libSDL2") ? "sdl12-compat on SDL2" : "classic SDL 1.2";
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

struct figures {
    double update, paint, background, pictures; // milliseconds
};

static figures measure(rep* scene, const char* where) {
    repaint(scene);
    figures f = {};
    for (int pass = 0; pass < 2; pass++) { // the first pass warms up
        f.update = per_call([&] { SDL_UpdateRect(scene->screen, 0, 0, 0, 0); });
        f.paint = per_call([&] { repaint(scene); });
        f.background = per_call([&] { paint_background(scene->screen); });
        f.pictures = per_call([&] {
            image_blit(100, 100, scene->model, scene->screen);
            for (image* item : scene->items)
                image_blit(image_stored, image_stored, item, scene->screen);
        });
    }
    printf("repaint / bare update: %.2f on %s, %s (repaint %.3f ms: background %.3f, pictures"
           " %.3f; bare update %.3f ms)\n",
           f.paint / f.update, sdl_name().c_str(), where, f.paint, f.background, f.pictures,
           f.update);
    return f;
}

// Opens the window and loads the bundled pictures, as the toy does.
static bool open_scene(rep* scene) {
    decoding* loads = start_loading();
    scene->screen = open_screen();
    return scene->screen && load_scene(scene, loads) == scene_loaded;
}

// The same in a headless sway, in a process of its own: SDL on SDL3 does not start again on
// another display. Why not, if it cannot be.
static std::string on_wayland(const char* self, const char* folder, const figures& x11) {
    std::string why = compositor_missing();
    if (why.empty() && !loaded("libSDL2"))
        why = "classic SDL 1.2 has no Wayland driver";
    compositor c = {};
    if (!why.empty() || !compositor_start(&c, &why))
        return why;
    env_list env = compositor_env(&c);
    // As the toy starts: without the settings its first window left in this process.
    env.push_back({"SDL_RENDER_DRIVER", ""});
    env.push_back({"SDL_FRAMEBUFFER_ACCELERATION", ""});
    child run = start_program({self, folder, std::to_string(x11.update)}, c.runtime_dir, env);
    int status = wait_child(&run, 120000);
    printf("%s", read_file(run.out_path).c_str());
    compositor_stop(&c);
    return status == 0 ? "" : "the window did not open on it";
}

int main(int argc, char** argv) {
    if (argc < 2 || chdir(argv[1]) != 0) {
        fprintf(stderr, "usage: %s PICTURE-FOLDER\n", argv[0]);
        return 2;
    }
    rep scene;
    if (argc == 3) { // on the compositor that started this, against the X11 figure given
        if (!open_scene(&scene))
            return 1;
        figures wayland = measure(&scene, "native Wayland (headless sway)");
        printf("native Wayland bare update / X11 bare update: %.1f\n",
               wayland.update / atof(argv[2]));
        return 0;
    }
    xserver x = {};
    if (!xserver_start(&x)) {
        fprintf(stderr, "window_bench: cannot start Xvfb\n");
        return 1;
    }
    setenv("DISPLAY", x.display.c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    if (!open_scene(&scene))
        return 1;
    figures x11 = measure(&scene, "X11 (Xvfb)");
    xserver_stop(&x);
    std::string folder = std::filesystem::current_path();
    std::string missing = on_wayland("/proc/self/exe", folder.c_str(), x11);
    if (!missing.empty())
        printf("native Wayland not measured: %s\n", missing.c_str());
    return 0;
}
