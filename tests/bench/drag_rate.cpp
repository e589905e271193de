// How fast a mouse the toy keeps up with: a drag of 600 one-pixel motions at a set pace, the
// release, then motions with no button held, after which the dragged picture must stand where
// the motions put it and nothing else may have moved. On X11 (Xvfb) and on native Wayland (the
// tests' headless sway), with the display's own window update and with one made 25 ms slower,
// as without a GPU; against the window updates the toy made meanwhile, timed in the toy.
#include "e2e/toy.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

const int motions = 600;
const int paces[] = {125, 250, 500, 1000, 2000, 4000, 8000};
const int slower_ms = 25;

struct outcome {
    int applied;   // motions that moved the trousers
    bool released; // the shoes stayed where they were
};

// Where the harness itself failed, which is no rate.
[[noreturn]] static void harness_failed(const std::string& why) {
    fprintf(stderr, "drag_rate: %s\n", why.c_str());
    exit(1);
}

// One drag at the pace; the toy's window updates, in milliseconds, go into updates.
static outcome drag_at(bool wayland, int pace, bool slowed, std::vector<double>* updates) {
    std::vector<test_picture> pictures = standard_pictures();
    toy t = {};
    compositor c = {};
    std::string why, log = make_temp_dir();
    env_list env = probe_updates(slowed ? slower_ms : 0, log + "/updates");
    bool up = wayland ? toy_start_wayland(&t, &c, pictures, env, &why)
                      : toy_start(&t, pictures, &why, env);
    if (!up)
        harness_failed(why);
    int start_x = t.scene[pant].x, shoes_x = t.scene[sabates].x;
    fast_drag(&t, motions, pace);
    outcome result = {motions, true};
    if (!wait_for_scene(&t, &why)) {
        // Row 20 crosses the trousers' top band and nothing else; row 160 the shoes'.
        std::vector<uint32_t> frame = window_pixels(&t);
        int trousers = first_column(frame, 20, t.scene[pant].picture->top);
        if (trousers < 0)
            harness_failed("the trousers are not on row 20 at " + std::to_string(pace) +
                           "/s: " + why);
        result = {start_x - trousers,
                  first_column(frame, 160, t.scene[sabates].picture->top) == shoes_x};
    }
    toy_stop(&t);
    compositor_stop(&c);
    std::istringstream took(read_file(log + "/updates"));
    double first; // the start-up frame's, before the drag
    took >> first;
    for (double ms; took >> ms;)
        updates->push_back(ms);
    remove_tree(log);
    return result;
}

// One display, one kind of update: the fastest pace at which, as at every slower one, every
// motion was applied and the release kept; and how long the updates took meanwhile.
static void measure(const char* sdl, bool wayland, bool slowed) {
    int best = 0;
    bool none_lost = true;
    std::string detail;
    std::vector<double> updates;
    for (int pace : paces) {
        outcome o = drag_at(wayland, pace, slowed, &updates);
        detail += " " + std::to_string(pace) + "/s: " + std::to_string(o.applied) +
                  (o.released ? "" : ", release lost") + ";";
        none_lost = none_lost && o.applied == motions && o.released;
        if (none_lost)
            best = pace;
    }
    if (updates.empty())
        harness_failed("the toy's window updates were not timed");
    std::sort(updates.begin(), updates.end());
    double median = updates[updates.size() / 2], longest = updates.back();
    printf("drag rate on %s, %s, %s updates: every motion applied and the release kept up to "
           "%d/s, %.1f motions per update (one update: %.2f ms median, %.1f ms longest; applied "
           "of %d:%s)\n",
           sdl, wayland ? "native Wayland (headless sway)" : "X11 (Xvfb)",
           slowed ? "25 ms slower" : "its own", best, best * median / 1000, median, longest,
           motions, detail.c_str());
    fflush(stdout);
}

int main() {
    std::string missing;
    const char* sdl = requested_sdl(&missing).empty() ? "system SDL 1.2" : "sdl12-compat";
    if (!missing.empty())
        harness_failed(missing);
    for (bool slowed : {false, true})
        measure(sdl, false, slowed);
    std::string why = compositor_missing();
    if (why.empty() && !on_sdl12_compat())
        why = "classic SDL 1.2 has no Wayland driver";
    if (!why.empty()) {
        printf("drag rate on native Wayland not measured: %s\n", why.c_str());
        return 0;
    }
    for (bool slowed : {false, true})
        measure(sdl, true, slowed);
    return 0;
}
