// Thousands of random event sequences through the event dispatch, from the places the toy gives
// its clothes at the start, checked after every event against what a child sees rather than
// against the rule written again: a piece grabbed well inside follows the pointer exactly, a
// piece the pointer never reaches stays where it started, and nothing moves once the drag is
// over. The seed is fixed, so a failure repeats.
#include "app.h"
#include "draw.h"
#include "image.h"
#include "rep.h"
#include "support/frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

// The bundled clothes' sizes at the places the toy gives them (Startup.*), which overlap.
const SDL_Rect start_places[] = {
    {677, 18, 72, 152}, {693, 154, 88, 32}, {786, 136, 140, 112}, {549, 136, 116, 196}};
const int pieces = 4;

// Well inside: two pixels from every edge, so one-pixel steps never leave it.
static bool well_inside(const image* img, int x, int y) {
    return x >= img->x + 2 && y >= img->y + 2 && x <= img->x + img->w - 3 &&
           y <= img->y + img->h - 3;
}

// On the rectangle or its edges.
static bool reaches(const SDL_Rect& r, int x, int y) {
    return x >= r.x && y >= r.y && x <= r.x + r.w && y <= r.y + r.h;
}

static SDL_Event button_event(Uint8 type, int button, int x, int y) {
    SDL_Event e = {};
    e.type = type;
    e.button.button = (Uint8)button;
    e.button.x = (Uint16)x;
    e.button.y = (Uint16)y;
    return e;
}

// Mostly one-pixel steps, as a slow hand makes them; now and then a jump, which may leave a
// grabbed piece behind.
static SDL_Event step(std::mt19937& random, int* px, int* py, bool* jumped) {
    *jumped = random() % 50 == 0;
    int reach = *jumped ? 300 : 1;
    int x = std::clamp(*px + (int)(random() % (2 * reach + 1)) - reach, 0, 1023);
    int y = std::clamp(*py + (int)(random() % (2 * reach + 1)) - reach, 0, 511);
    SDL_Event e = {};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = (Uint16)x;
    e.motion.y = (Uint16)y;
    e.motion.xrel = (Sint16)(x - *px);
    e.motion.yrel = (Sint16)(y - *py);
    *px = x, *py = y;
    return e;
}

TEST(RandomEvents, GrabbedPiecesFollowUnreachedOnesStayAndNothingMovesAfterTheRelease) {
    std::mt19937 random(20261210);
    rep scene;
    scene.screen = dummy_screen();
    scene.model = solid_image(220, 400, 0x404040, 0, 0);
    for (const SDL_Rect& r : start_places)
        scene.items.push_back(solid_image(r.w, r.h, random() & 0xFFFFFF, r.x, r.y));
    for (int sequence = 0; sequence < 2000; sequence++) {
        for (int i = 0; i < pieces; i++)
            scene.items[i]->x = start_places[i].x, scene.items[i]->y = start_places[i].y;
        repaint(&scene); // as at start-up: every picture learns its size
        scribble(scene.screen);
        // The press: often on a piece, so that there is something to carry.
        int px = random() % 1024, py = random() % 512;
        if (random() % 4 != 0) {
            const SDL_Rect& r = start_places[random() % pieces];
            px = r.x + 2 + (int)(random() % (r.w - 4)), py = r.y + 2 + (int)(random() % (r.h - 4));
        }
        bool grabbed[pieces], reached[pieces];
        for (int i = 0; i < pieces; i++) {
            grabbed[i] = well_inside(scene.items[i], px, py);
            reached[i] = reaches(start_places[i], px, py);
        }
        bool dragging = false;
        int quit = 0, from_x = px, from_y = py;
        SDL_Event press = button_event(SDL_MOUSEBUTTONDOWN, 1 + random() % 5, px, py);
        EXPECT_FALSE(dispatch(&scene, &press, &dragging, &quit)) << "a press paints nothing";
        int held_x[pieces], held_y[pieces]; // where each stood when the drag ended
        for (int event = 0; event < 200; event++) {
            std::string where =
                "sequence " + std::to_string(sequence) + ", event " + std::to_string(event);
            bool was_dragging = dragging, jumped = false, moved = false;
            SDL_Event e = {};
            int kind = random() % 100;
            if (kind < 2) {
                e = button_event(SDL_MOUSEBUTTONUP, 1 + random() % 5, px, py);
            } else if (kind < 4) {
                e.type = random() % 2 ? SDL_KEYDOWN : SDL_ACTIVEEVENT;
            } else {
                e = step(random, &px, &py, &jumped);
                moved = true;
            }
            ASSERT_EQ(dispatch(&scene, &e, &dragging, &quit), moved && was_dragging)
                << where << ": a drag's motions, and only they, ask for a repaint";
            ASSERT_EQ(quit, 0) << where;
            if (was_dragging && !dragging)
                for (int i = 0; i < pieces; i++)
                    held_x[i] = scene.items[i]->x, held_y[i] = scene.items[i]->y;
            for (int i = 0; i < pieces; i++) {
                const image* piece = scene.items[i];
                grabbed[i] = grabbed[i] && dragging && !jumped;
                reached[i] = reached[i] || reaches(start_places[i], px, py);
                if (grabbed[i]) {
                    ASSERT_EQ(piece->x, start_places[i].x + px - from_x)
                        << where << ", piece " << i;
                    ASSERT_EQ(piece->y, start_places[i].y + py - from_y)
                        << where << ", piece " << i;
                }
                if (!reached[i]) {
                    ASSERT_EQ(piece->x, start_places[i].x) << where << ", piece " << i;
                    ASSERT_EQ(piece->y, start_places[i].y) << where << ", piece " << i;
                }
                if (!was_dragging && !dragging) { // it ended at an earlier event
                    ASSERT_EQ(piece->x, held_x[i]) << where << ", piece " << i << " after the drag";
                    ASSERT_EQ(piece->y, held_y[i]) << where << ", piece " << i << " after the drag";
                }
            }
        }
        ASSERT_TRUE(scribbled(scene.screen)) << "painted in an event's turn, sequence " << sequence;
    }
    unload_scene(&scene);
}
