// The built toy as a whole process, on the dummy video driver.
#include "support/pictures.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

static const char* const failure_line = "Malamente! No carga\n";

// Waits until the file holds want, or the deadline passes.
static bool wait_for_text(const std::string& path, const std::string& want, int timeout_ms) {
    for (int waited = 0; waited < timeout_ms; waited += 5) {
        if (read_file(path) == want)
            return true;
        usleep(5000);
    }
    return false;
}

TEST(Program, NoVideoMeansAReasonAndStatusOneBeforeLoadingAnything) {
    std::string dir = make_temp_dir();
    child c = start_program(DRESSUP_BINARY, dir, {{"SDL_VIDEODRIVER", "no-such-driver"}});
    EXPECT_EQ(wait_child(&c, 10000), 1);
    std::string err = read_file(c.err_path);
    EXPECT_NE(err.find("dressup: cannot open the window: "), std::string::npos) << err;
    EXPECT_GT(err.size(), std::string("dressup: cannot open the window: \n").size())
        << "the library's reason is missing: " << err;
    EXPECT_EQ(read_file(c.out_path), "") << "pictures were loaded without a window";
    remove_tree(dir);
}

TEST(Program, MissingPicturesAreReportedOnceAndTermEndsWithStatusZero) {
    std::string dir = make_temp_dir();
    ASSERT_TRUE(write_solid_png(dir + "/model.png", 50, 300, 0xFF808080, png_rgb));
    ASSERT_TRUE(write_solid_png(dir + "/camiseta.png", 60, 40, 0xFF00FF00, png_rgba));
    child c = start_program(DRESSUP_BINARY, dir, {{"SDL_VIDEODRIVER", "dummy"}});
    std::string three = std::string(failure_line) + failure_line + failure_line;
    EXPECT_TRUE(wait_for_text(c.out_path, three, 10000))
        << "standard output: '" << read_file(c.out_path) << "'";
    kill(c.pid, SIGTERM);
    EXPECT_EQ(wait_child(&c, 10000), 0) << read_file(c.err_path);
    EXPECT_EQ(read_file(c.out_path), three);
    remove_tree(dir);
}
