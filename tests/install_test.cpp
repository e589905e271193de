// What `cmake --install` and the Debian package put on a machine, and that the menu entry
// starts the toy among its pictures.
#include "support/pictures.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

// Runs a shell command; its exit status, and what it printed in *out.
static int shell(const std::string& command, std::string* out = nullptr) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        text.append(chunk, n);
    if (out)
        *out = text;
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

static bool is_file(const std::string& path, mode_t want = 0) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & want) == want;
}

static std::string entry_line(const std::string& entry, const std::string& key) {
    size_t at = entry.find("\n" + key + "=");
    return at == std::string::npos ? "" : entry.substr(at + 1, entry.find('\n', at + 1) - at - 1);
}

static const char* const pictures[] = {"model.png", "pant.png", "sabates.png", "camiseta.png",
                                       "bufanda_gorro.png"};

TEST(Install, StagedTreeAndAMenuEntryThatStartsTheToyAmongItsPictures) {
#ifdef DRESSUP_SANITIZED
    GTEST_SKIP() << "installation is checked in the normal build";
#endif
    std::string stage = make_temp_dir(), out;
    for (const char* prefix : {"/usr", "/opt/dressup"}) {
        std::string root = stage + prefix;
        ASSERT_EQ(shell("DESTDIR=" + stage +
                            " " CMAKE_COMMAND " --install " BUILD_DIR " --prefix " + prefix,
                        &out),
                  0)
            << out;
        EXPECT_TRUE(is_file(root + "/bin/dressup", S_IXUSR | S_IXGRP | S_IXOTH));
        for (const char* name : pictures)
            EXPECT_EQ(read_file(root + "/share/dressup/" + name),
                      read_file(std::string(SOURCE_DIR "/pictures/") + name))
                << name;
        EXPECT_TRUE(is_file(root + "/share/icons/hicolor/scalable/apps/dressup.svg"));
        for (const char* size : {"48x48", "64x64", "128x128", "256x256"})
            EXPECT_TRUE(is_file(root + "/share/icons/hicolor/" + size + "/apps/dressup.png"));
        EXPECT_EQ(shell("zcat " + root + "/share/man/man6/dressup.6.gz | grep -c '^.SH'", &out), 0);

        std::string entry_path = root + "/share/applications/dressup.desktop";
        EXPECT_EQ(shell("desktop-file-validate " + entry_path, &out), 0) << out;
        std::string entry = read_file(entry_path);
        EXPECT_EQ(entry_line(entry, "Exec"), "Exec=" + std::string(prefix) + "/bin/dressup");
        EXPECT_EQ(entry_line(entry, "Path"), "Path=" + std::string(prefix) + "/share/dressup");
        EXPECT_EQ(entry_line(entry, "Icon"), "Icon=dressup");
    }

    // As the menu does: the installed program, started in the entry's folder. Every picture
    // loads (no failure line), and it ends cleanly.
    std::string folder = stage + "/usr/share/dressup";
    child toy = start_program({stage + "/usr/bin/dressup"}, folder, {{"SDL_VIDEODRIVER", "dummy"}});
    usleep(500000);
    kill(toy.pid, SIGTERM);
    EXPECT_EQ(wait_child(&toy, 10000), 0) << read_file(toy.err_path);
    EXPECT_EQ(read_file(toy.out_path), "");
    remove_tree(stage);
}

TEST(Install, DebianPackageMetadataAndContents) {
#ifdef DRESSUP_SANITIZED
    GTEST_SKIP() << "the package is built from the normal build";
#endif
    std::string dir = make_temp_dir(), out;
    ASSERT_EQ(shell("cd " BUILD_DIR " && " CPACK_COMMAND " -B " + dir, &out), 0) << out;
    std::string deb = dir + "/dressup_" VERSION "_";
    ASSERT_EQ(shell("ls " + deb + "*.deb", &out), 0) << out;
    deb = out.substr(0, out.find('\n'));

    auto field = [&](const char* name) {
        std::string value;
        shell("dpkg-deb -f " + deb + " " + name, &value);
        return value.substr(0, value.find('\n'));
    };
    EXPECT_EQ(field("Package"), "dressup");
    EXPECT_EQ(field("Version"), VERSION);
    EXPECT_EQ(field("Section"), "games");
    std::string depends = field("Depends");
    for (const char* library : {"libsdl1.2debian", "libsdl-image1.2", "libc6", "libstdc++6"})
        EXPECT_NE(depends.find(library), std::string::npos) << depends;

    ASSERT_EQ(shell("dpkg-deb -c " + deb, &out), 0);
    for (const char* path : {"./usr/bin/dressup", "./usr/share/applications/dressup.desktop",
                             "./usr/share/man/man6/dressup.6.gz",
                             "./usr/share/icons/hicolor/scalable/apps/dressup.svg"})
        EXPECT_NE(out.find(path), std::string::npos) << path << " missing from\n" << out;
    for (const char* name : pictures)
        EXPECT_NE(out.find(std::string("./usr/share/dressup/") + name), std::string::npos);
    shell("dpkg-deb --fsys-tarfile " + deb + " | tar -xO ./usr/share/applications/dressup.desktop",
          &out);
    EXPECT_EQ(entry_line("\n" + out, "Path"), "Path=/usr/share/dressup");

    // apt can satisfy what it depends on here (a simulation: nothing is installed).
    EXPECT_EQ(shell("apt-get -s install " + deb, &out), 0) << out;
    remove_tree(dir);
}
