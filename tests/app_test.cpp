// The drag rule and what each event does to the scene.
#include "app.h"
#include "image.h"
#include "rep.h"
#include "support/frames.h"
#include "support/wraps.h"

#include <gtest/gtest.h>

static rep scene_with(std::initializer_list<image*> items) {
    rep scene;
    scene.screen = dummy_screen();
    scene.model = solid_image(10, 10, 0x101010, 0, 0);
    scene.items = items;
    return scene;
}

static SDL_Event motion(int x, int y, int dx, int dy) {
    SDL_Event e = {};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = (Uint16)x;
    e.motion.y = (Uint16)y;
    e.motion.xrel = (Sint16)dx;
    e.motion.yrel = (Sint16)dy;
    return e;
}

static SDL_Event button(Uint8 type, Uint8 which) {
    SDL_Event e = {};
    e.type = type;
    e.button.button = which;
    return e;
}

// A picture gets its size from its first draw, as after the start-up repaint.
static image* placed(int x, int y, int w, int h) {
    image* img = solid_image(w, h, 0xCC3300, x, y);
    img->w = w;
    img->h = h;
    return img;
}

TEST(Drag, OnlyStrictlyInsideIsAHit) {
    image* item = placed(100, 200, 50, 40);
    rep scene = scene_with({item});
    struct probe {
        int x, y;
        bool hit;
    } probes[] = {{100, 220, false}, {101, 220, true}, {150, 220, false}, {149, 220, true},
                  {120, 200, false}, {120, 201, true}, {120, 240, false}, {120, 239, true},
                  {101, 201, true},  {149, 239, true}, {100, 200, false}, {150, 240, false}};
    for (const probe& p : probes) {
        item->x = 100;
        item->y = 200;
        SDL_Event e = motion(p.x, p.y, -3, 5);
        drag(&scene, &e.motion);
        EXPECT_EQ(item->x, p.hit ? 97 : 100) << "pointer at (" << p.x << ", " << p.y << ")";
        EXPECT_EQ(item->y, p.hit ? 205 : 200) << "pointer at (" << p.x << ", " << p.y << ")";
    }
    unload_scene(&scene);
}

TEST(Drag, FollowsLeavesBehindAndPushes) {
    image* item = placed(100, 200, 50, 40);
    rep scene = scene_with({item});
    // Pressed at x = 120: the picture follows at a fixed offset...
    int px = 120;
    for (int want : {103, 106, 109}) {
        px += 3;
        SDL_Event e = motion(px, 220, 3, 0);
        drag(&scene, &e.motion);
        EXPECT_EQ(item->x, want);
        EXPECT_EQ(px - item->x, 20) << "the offset inside the picture changed";
    }
    // ...until one motion carries the pointer past its far edge.
    SDL_Event jump = motion(px + 40, 220, 40, 0);
    drag(&scene, &jump.motion);
    EXPECT_EQ(item->x, 109);

    // Pressed outside at x = 98, the pointer pushes the picture ahead of it.
    item->x = 100;
    SDL_Event push = motion(103, 220, 5, 0);
    drag(&scene, &push.motion);
    EXPECT_EQ(item->x, 105);
    push = motion(108, 220, 5, 0);
    drag(&scene, &push.motion);
    EXPECT_EQ(item->x, 110);
    for (px = 111; px < 130; px++) {
        SDL_Event step = motion(px, 220, 1, 0);
        drag(&scene, &step.motion);
        EXPECT_EQ(item->x, px) << "pushed with the pointer on its left edge";
    }
    unload_scene(&scene);
}

TEST(Drag, OverlappingClothesMoveTogetherAndNothingIsPaintedInTheMotionsTurn) {
    image* under = placed(300, 300, 60, 60);
    image* over = placed(320, 310, 60, 60);
    image* apart = placed(600, 100, 60, 60);
    image* failed = placed(330, 320, 60, 60); // a picture that did not load, under the pointer
    SDL_FreeSurface(failed->surface);
    failed->surface = nullptr;
    rep scene = scene_with({under, over, apart, failed});
    image_blit(image_stored, image_stored, failed, scene.screen); // as every repaint does
    scribble(scene.screen);
    SDL_Event e = motion(340, 330, 7, -4);
    drag(&scene, &e.motion);
    EXPECT_EQ(under->x, 307);
    EXPECT_EQ(under->y, 296);
    EXPECT_EQ(over->x, 327);
    EXPECT_EQ(over->y, 306);
    EXPECT_EQ(apart->x, 600);
    EXPECT_EQ(failed->x, 330) << "a picture without a surface cannot be grabbed";
    EXPECT_TRUE(scribbled(scene.screen)) << "painted for every motion rather than for the display";
    EXPECT_EQ(scene.items[0], under) << "drawing order changed";
    EXPECT_EQ(scene.items[1], over) << "drawing order changed";

    e = motion(10, 10, 2, 2); // nothing under the pointer
    drag(&scene, &e.motion);
    EXPECT_EQ(under->x, 307);
    unload_scene(&scene);
}

TEST(Dispatch, ButtonsStartAndEndDragsQuitEndsTheLoop) {
    image* item = placed(100, 200, 50, 40);
    rep scene = scene_with({item});
    bool dragging = false;
    int quit = 0;
    // True when the window must be repainted.
    auto send = [&](SDL_Event e) { return dispatch(&scene, &e, &dragging, &quit); };

    scribble(scene.screen);
    EXPECT_FALSE(send(motion(120, 220, 3, 3))); // no button: nothing, not even a repaint
    EXPECT_EQ(item->x, 100);

    EXPECT_FALSE(send(button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT)));
    EXPECT_TRUE(dragging);
    EXPECT_TRUE(send(motion(120, 220, 3, 3)));
    EXPECT_EQ(item->x, 103);
    EXPECT_TRUE(send(motion(10, 10, 1, 1))) << "a drag motion that moves nothing still repaints";

    // A second button, then releasing either one ends the drag.
    send(button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT));
    send(button(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT));
    EXPECT_FALSE(dragging);
    send(motion(125, 225, 2, 2));
    EXPECT_EQ(item->x, 103);

    // A wheel step arrives as a press and a release, and so ends a drag too.
    send(button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE));
    send(button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_WHEELUP));
    send(button(SDL_MOUSEBUTTONUP, SDL_BUTTON_WHEELUP));
    EXPECT_FALSE(dragging);

    // Keys, focus and the rest change nothing.
    send(button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT));
    int others[] = {SDL_KEYDOWN, SDL_KEYUP, SDL_ACTIVEEVENT, SDL_VIDEOEXPOSE, SDL_USEREVENT};
    for (int type : others) {
        SDL_Event e = {};
        e.type = (Uint8)type;
        EXPECT_EQ(send(e), type == SDL_VIDEOEXPOSE) << "event " << type; // uncovered: shown again
    }
    EXPECT_TRUE(dragging);
    EXPECT_EQ(quit, 0);
    EXPECT_EQ(item->x, 103);
    EXPECT_EQ(item->y, 203);
    EXPECT_TRUE(scribbled(scene.screen))
        << "the loop paints, once nothing waits; an event's turn does not";

    SDL_Event q = {};
    q.type = SDL_QUIT;
    send(q);
    EXPECT_EQ(quit, 1);
    unload_scene(&scene);
}

TEST(Startup, RefusesAScreenItCannotPaint) {
    EXPECT_EQ(screen_problem(dummy_screen()), nullptr);
    SDL_Surface* shallow = SDL_CreateRGBSurface(0, 1024, 512, 16, 0xF800, 0x7E0, 0x1F, 0);
    SDL_Surface* small = SDL_CreateRGBSurface(0, 1024, 511, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    SDL_Surface* narrow = SDL_CreateRGBSurface(0, 1000, 600, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    SDL_Surface* rgba = SDL_CreateRGBSurface(0, 1024, 512, 32, 0xFF, 0xFF00, 0xFF0000, 0);
    EXPECT_NE(screen_problem(shallow), nullptr);
    EXPECT_NE(screen_problem(small), nullptr);
    EXPECT_NE(screen_problem(narrow), nullptr);
    EXPECT_EQ(screen_problem(rgba), nullptr) << "another layout is painted through its format";
    for (SDL_Surface* s : {shallow, small, narrow, rgba})
        SDL_FreeSurface(s);
}

TEST(Startup, OutOfMemoryForAPictureIsReportedAndStopsTheStart) {
    testing::internal::CaptureStderr();
    fail_next_malloc = true;
    EXPECT_EQ(image_create("model.png"), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("out of memory"), std::string::npos);

    rep scene;
    decoding* pictures = start_loading();
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    fail_next_malloc = true;
    EXPECT_EQ(load_scene(&scene, pictures), scene_out_of_memory);
    testing::internal::GetCapturedStdout();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("dressup: out of memory for a picture\n"),
              std::string::npos);
}

TEST(Startup, ClothesStartInTheSamePlacesWhateverDrewFromRandBefore) {
    for (int i = 0; i < 3; i++)
        rand(); // as a library opening the window may
    rep scene;
    decoding* pictures = start_loading();
    testing::internal::CaptureStdout();
    ASSERT_EQ(load_scene(&scene, pictures), scene_loaded);
    testing::internal::GetCapturedStdout(); // no pictures here: five failure lines
    const int want[4][2] = {{677, 18}, {693, 154}, {786, 136}, {549, 136}};
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(scene.items[i]->x, want[i][0]) << "piece " << i;
        EXPECT_EQ(scene.items[i]->y, want[i][1]) << "piece " << i;
    }
    unload_scene(&scene);
}
