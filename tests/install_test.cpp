// What `cmake --install` and the Debian package put on a machine, and that the menu entry
// starts the toy among its pictures.
#include "support/pictures.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <vector>

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

// The warnings and errors of a report (appstreamcli's or lintian's), but for the excused one.
// Newer appstreamcli releases want a homepage, and the project has no public address yet, so
// that one is excused until it has (and lintian's relay of it, once the metadata has passed).
static std::string problems(const std::string& report, const char* excused) {
    std::string found, line;
    std::istringstream lines(report);
    while (std::getline(lines, line)) {
        bool problem = line.rfind("W:", 0) == 0 || line.rfind("E:", 0) == 0;
        if (problem && line.find(excused) == std::string::npos)
            found += line + "\n";
    }
    return found;
}

static const char* const homepage = "url-homepage-missing";

// Whether the metainfo has the element in the language. Newer gettext writes XML's own tags:
// pt-BR for pt_BR, zh-Hans-CN for zh_CN.
static bool has_language(const std::string& record, const std::string& element,
                         const std::string& lang) {
    std::string primary = lang.substr(0, lang.find('_'));
    std::string region = lang.find('_') == std::string::npos ? "" : lang.substr(lang.find('_') + 1);
    std::string start = element + " xml:lang=\"";
    for (size_t at = record.find(start); at != std::string::npos; at = record.find(start, at + 1)) {
        size_t from = at + start.size();
        std::string tag = record.substr(from, record.find('"', from) - from);
        std::string first = tag.substr(0, tag.find_first_of("-_"));
        std::string last = tag.substr(tag.find_last_of("-_") + 1);
        if (first == primary && (region.empty() ? tag == primary : last == region))
            return true;
    }
    return false;
}

// The languages the words are translated into.
static std::vector<std::string> languages() {
    std::istringstream listed(read_file(SOURCE_DIR "/po/LINGUAS"));
    std::vector<std::string> found;
    for (std::string line; std::getline(listed, line);)
        if (!line.empty() && line[0] != '#')
            found.push_back(line);
    return found;
}

// Whether the toy holds all five pictures, each drawn from the memory file its helper filled:
// then every one has loaded.
static bool holds_pictures(pid_t toy, int timeout_ms) {
    for (int waited = 0; waited < timeout_ms; waited += 10) {
        std::string maps = read_file("/proc/" + std::to_string(toy) + "/maps");
        int held = 0;
        for (size_t at = 0; (at = maps.find("/memfd:dressup-picture", at)) != std::string::npos;)
            held++, at++;
        if (held >= 5)
            return true;
        usleep(10000);
    }
    return false;
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
        EXPECT_TRUE(is_file(root + "/games/dressup", S_IXUSR | S_IXGRP | S_IXOTH));
        EXPECT_TRUE(is_file(root + "/share/doc/dressup/copyright"));
        EXPECT_EQ(shell("zcat " + root + "/share/doc/dressup/changelog.gz | head -1", &out), 0);
        EXPECT_EQ(out.substr(0, out.find('\n')), "dressup (" VERSION ") unstable; urgency=medium");
        for (const char* name : pictures)
            EXPECT_EQ(read_file(root + "/share/dressup/" + name),
                      read_file(std::string(SOURCE_DIR "/pictures/") + name))
                << name;
        EXPECT_TRUE(is_file(root + "/share/icons/hicolor/scalable/apps/dressup.svg"));
        for (const char* size : {"48x48", "64x64", "128x128", "256x256"})
            EXPECT_TRUE(is_file(root + "/share/icons/hicolor/" + size + "/apps/dressup.png"));
        EXPECT_EQ(shell("zcat " + root + "/share/man/man6/dressup.6.gz | grep -c '^.SH'", &out), 0);

        // A staging folder is a package's: the system's caches are the package's triggers' job.
        EXPECT_FALSE(is_file(root + "/share/icons/hicolor/icon-theme.cache"));

        std::string entry_path = root + "/share/applications/dressup.desktop";
        EXPECT_EQ(shell("desktop-file-validate " + entry_path, &out), 0) << out;
        std::string entry = read_file(entry_path);
        EXPECT_EQ(entry_line(entry, "Exec"), "Exec=" + std::string(prefix) + "/games/dressup");
        EXPECT_EQ(entry_line(entry, "Path"), "Path=" + std::string(prefix) + "/share/dressup");
        EXPECT_EQ(entry_line(entry, "Icon"), "Icon=dressup");
        EXPECT_EQ(entry_line(entry, "StartupWMClass"), "StartupWMClass=dressup");

        // The software centre's record of the toy, which launches that entry.
        std::string metainfo = root + "/share/metainfo/" APP_ID ".metainfo.xml";
        std::string record = read_file(metainfo);
        EXPECT_NE(record.find("<launchable type=\"desktop-id\">dressup.desktop<"),
                  std::string::npos);

        // Both in every language there is a translation for: the name and what it says of
        // itself, and words to find it by.
        ASSERT_GE(languages().size(), 11u);
        for (const std::string& lang : languages()) {
            for (const char* key : {"Name", "GenericName", "Comment", "Keywords"})
                EXPECT_NE(entry_line(entry, key + ("[" + lang + "]")), "") << key << " " << lang;
            for (const char* tag : {"<name", "<summary", "<keyword"})
                EXPECT_TRUE(has_language(record, tag, lang)) << tag << " " << lang;
        }
        EXPECT_EQ(entry_line(entry, "Name[es]"), "Name[es]=Vestir");
        EXPECT_NE(entry_line(entry, "Keywords[fr]").find("habiller;"), std::string::npos);
        shell("appstreamcli validate --no-net " + metainfo, &out);
        EXPECT_EQ(problems(out, homepage), "") << out;
    }

    // Installed for real, under a prefix of the user's: the desktop's caches know the icon and
    // the entry at once.
    std::string home = stage + "/home";
    ASSERT_EQ(shell(CMAKE_COMMAND " --install " BUILD_DIR " --prefix " + home, &out), 0) << out;
    EXPECT_TRUE(is_file(home + "/share/icons/hicolor/icon-theme.cache"));
    EXPECT_TRUE(is_file(home + "/share/applications/mimeinfo.cache"));

    // As the menu does: the installed program, started in the entry's folder. Every picture
    // loads (no failure line), and it ends cleanly.
    std::string folder = stage + "/usr/share/dressup";
    child toy =
        start_program({stage + "/usr/games/dressup"}, folder, {{"SDL_VIDEODRIVER", "dummy"}});
    EXPECT_TRUE(holds_pictures(toy.pid, 10000)) << read_file(toy.out_path);
    kill(toy.pid, SIGTERM);
    EXPECT_EQ(wait_child(&toy, 10000), 0) << read_file(toy.err_path);
    EXPECT_EQ(read_file(toy.out_path), "");
    remove_tree(stage);
}

// make package in a copy of the source: the .deb it gives.
static std::string package_in(const std::string& folder, std::string* out) {
    std::string copy = "mkdir -p " + folder +
                       " && tar -C " SOURCE_DIR " --exclude='./build*' -cf - . | tar -C " + folder +
                       " -xf -";
    if (shell(copy, out) != 0 || shell("make -C " + folder + " package", out) != 0 ||
        shell("ls " + folder + "/build-package/dressup_" VERSION "_*.deb", out) != 0)
        return "";
    return out->substr(0, out->find('\n'));
}

TEST(Install, DebianPackageHardenedReproducibleLintianCleanAndComplete) {
#ifdef DRESSUP_SANITIZED
    GTEST_SKIP() << "the package is built from the normal build";
#endif
    std::string dir = make_temp_dir(), out;
    std::string deb = package_in(dir + "/one", &out);
    ASSERT_NE(deb, "") << out;
    std::string again = package_in(dir + "/another/folder", &out);
    ASSERT_NE(again, "") << out;
    EXPECT_EQ(read_file(deb), read_file(again)) << "two copies gave different packages";

    auto field = [&](const char* name) {
        std::string value;
        shell("dpkg-deb -f " + deb + " " + name, &value);
        return value.substr(0, value.find('\n'));
    };
    EXPECT_EQ(field("Package"), "dressup");
    EXPECT_EQ(field("Version"), VERSION);
    EXPECT_EQ(field("Section"), "games");
    std::string depends = field("Depends");
    for (const char* library :
         {"libsdl1.2debian", "libsdl-image1.2", "libc6", "libstdc++6", "libdecor-0-plugin-1"})
        EXPECT_NE(depends.find(library), std::string::npos) << depends;

    ASSERT_EQ(shell("dpkg-deb -c " + deb, &out), 0);
    for (const char* path :
         {"./usr/games/dressup", "./usr/share/applications/dressup.desktop",
          "./usr/share/man/man6/dressup.6.gz",
          "./usr/share/icons/hicolor/scalable/apps/dressup.svg",
          "./usr/share/doc/dressup/copyright", "./usr/share/doc/dressup/changelog.gz",
          "./usr/share/metainfo/" APP_ID ".metainfo.xml"})
        EXPECT_NE(out.find(path), std::string::npos) << path << " missing from\n" << out;
    EXPECT_EQ(out.find("cache"), std::string::npos) << "a system cache in the package:\n" << out;
    for (const char* name : pictures)
        EXPECT_NE(out.find(std::string("./usr/share/dressup/") + name), std::string::npos);
    std::string tree = dir + "/tree";
    ASSERT_EQ(shell("dpkg-deb -x " + deb + " " + tree, &out), 0) << out;
    std::string packaged = tree + "/usr/share/applications/dressup.desktop";
    EXPECT_EQ(entry_line(read_file(packaged), "Path"), "Path=/usr/share/dressup");
    EXPECT_EQ(entry_line(read_file(packaged), "Name[es]"), "Name[es]=Vestir") << "untranslated";
    EXPECT_EQ(shell("desktop-file-validate " + packaged, &out), 0) << out;
    shell("appstreamcli validate --no-net " + tree + "/usr/share/metainfo/" APP_ID ".metainfo.xml",
          &out);
    ASSERT_EQ(problems(out, homepage), "") << out;
    // lintian leaves a cache folder behind in TMPDIR; the test's own goes with it.
    EXPECT_EQ(shell("TMPDIR=" + dir + " lintian " + deb, &out), 0) << out;
    EXPECT_EQ(problems(out, "appstream-metadata-validation-failed"), "") << out;

    // Hardened as Debian builds are, and no trace of the folder it was built in.
    std::string binary = tree + "/usr/games/dressup";
    shell("readelf -hldW --dyn-syms " + binary, &out);
    for (const char* mark : {"DYN (Position-Independent Executable file)", "GNU_RELRO", "BIND_NOW",
                             "__stack_chk_fail", "__printf_chk"})
        EXPECT_NE(out.find(mark), std::string::npos) << mark << " missing from\n" << out;
    EXPECT_NE(shell("grep -c " + dir + " " + binary, &out), 0) << "the build folder is in it";

    // apt can satisfy what it depends on here (a simulation: nothing is installed).
    EXPECT_EQ(shell("apt-get -s install " + deb, &out), 0) << out;
    remove_tree(dir);
}
