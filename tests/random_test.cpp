// Thousands of random event sequences through the event dispatch, checked after every event
// against a small model of what the toy promises. The seed is fixed, so a failure repeats.
#include "app.h"
#include "draw.h"
#include "image.h"
#include "rep.h"
#include "support/frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

// The promise, written out plainly: a button press starts a drag, any release ends it, and a
// motion during a drag moves every picture the pointer is now strictly inside.
struct model {
    std::vector<SDL_Rect> places; // x, y, w, h of each piece of clothing
    std::vector<bool> drawable;   // false for a picture that failed to load
    bool dragging = false;
    int quit = 0;
    bool owed = false; // a repaint is due: a drag motion came
};

static void model_event(model* m, const SDL_Event& e) {
    if (e.type == SDL_MOUSEBUTTONDOWN)
        m->dragging = true;
    else if (e.type == SDL_MOUSEBUTTONUP)
        m->dragging = false;
    else if (e.type == SDL_QUIT)
        m->quit = 1;
    if (e.type != SDL_MOUSEMOTION || !m->dragging)
        return;
    m->owed = true;
    for (size_t i = 0; i < m->places.size(); i++) {
        SDL_Rect& r = m->places[i];
        int px = e.motion.x, py = e.motion.y;
        bool inside = px > r.x && px < r.x + r.w && py > r.y && py < r.y + r.h;
        if (m->drawable[i] && inside) {
            r.x += e.motion.xrel;
            r.y += e.motion.yrel;
        }
    }
}

static SDL_Event random_event(std::mt19937& random, int* px, int* py) {
    SDL_Event e = {};
    int kind = random() % 20;
    if (kind < 3) {
        e.type = kind == 0 ? SDL_MOUSEBUTTONUP : SDL_MOUSEBUTTONDOWN;
        e.button.button = (Uint8)(1 + random() % 5); // the wheel included
    } else if (kind < 18) {
        // Mostly small steps as a mouse makes them; now and then a jump, or a motion whose
        // relative part does not match the positions at all.
        int step = kind < 15 ? 6 : 400;
        int x = std::clamp(*px + (int)(random() % (2 * step + 1)) - step, 0, 1023);
        int y = std::clamp(*py + (int)(random() % (2 * step + 1)) - step, 0, 511);
        e.type = SDL_MOUSEMOTION;
        e.motion.x = (Uint16)x;
        e.motion.y = (Uint16)y;
        e.motion.xrel = (Sint16)(kind == 17 ? (int)(random() % 81) - 40 : x - *px);
        e.motion.yrel = (Sint16)(kind == 17 ? (int)(random() % 81) - 40 : y - *py);
        *px = x, *py = y;
    } else {
        e.type = kind == 18 ? SDL_KEYDOWN : (random() % 4 ? SDL_ACTIVEEVENT : SDL_QUIT);
    }
    return e;
}

TEST(RandomEvents, DispatchAgreesWithTheModelAfterEveryEvent) {
    std::mt19937 random(20261208);
    for (int sequence = 0; sequence < 2000; sequence++) {
        rep scene;
        scene.screen = dummy_screen();
        scene.model = solid_image(40, 200, 0x404040, 0, 0);
        model m;
        for (int i = 0, n = 1 + random() % 6; i < n; i++) {
            int w = 1 + random() % 300, h = 1 + random() % 300;
            SDL_Rect r = {(Sint16)(random() % 1200 - 150), (Sint16)(random() % 700 - 150),
                          (Uint16)w, (Uint16)h};
            image* img = solid_image(w, h, random() & 0xFFFFFF, r.x, r.y);
            bool drawable = random() % 8 != 0;
            if (!drawable) {
                SDL_FreeSurface(img->surface);
                img->surface = nullptr;
            }
            scene.items.push_back(img);
            m.places.push_back(r);
            m.drawable.push_back(drawable);
        }
        repaint(&scene); // as at start-up: every picture learns its size
        scribble(scene.screen);
        bool dragging = false;
        int quit = 0, px = random() % 1024, py = random() % 512;
        for (int step = 0; step < 40 && !quit; step++) {
            SDL_Event e = random_event(random, &px, &py);
            bool show = dispatch(&scene, &e, &dragging, &quit);
            m.owed = false;
            model_event(&m, e);
            ASSERT_EQ(show, m.owed) << "sequence " << sequence << ", event " << step;
            ASSERT_EQ(dragging, m.dragging) << "sequence " << sequence << ", event " << step;
            ASSERT_EQ(quit, m.quit) << "sequence " << sequence << ", event " << step;
            ASSERT_TRUE(scribbled(scene.screen))
                << "painted in the turn of event " << step << " of sequence " << sequence;
            for (size_t i = 0; i < m.places.size(); i++) {
                ASSERT_EQ(scene.items[i]->x, m.places[i].x)
                    << "sequence " << sequence << ", event " << step << ", picture " << i;
                ASSERT_EQ(scene.items[i]->y, m.places[i].y)
                    << "sequence " << sequence << ", event " << step << ", picture " << i;
            }
        }
        image_destroy(scene.model);
        for (image* item : scene.items)
            image_destroy(item);
    }
}
