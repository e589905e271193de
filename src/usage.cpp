#include "usage.h"

#include "app.h"

#include <cstdio>
#include <cstring>

// What each of the five pictures shows, in the order of picture_files.
static const char* const picture_roles[picture_count] = {"the figure", "the trousers", "the shoes",
                                                         "the T-shirt", "the hat and scarf"};

static void help() {
    printf("Usage: dressup [--help | --version]\n\n"
           "A dress-up toy: hold a mouse button on a piece of clothing and move the mouse to\n"
           "carry it onto the figure. Close the window to quit.\n\n"
           "It reads its five pictures from the folder it is started in:\n");
    for (int i = 0; i < picture_count; i++)
        printf("  %-18s %s\n", picture_files[i], picture_roles[i]);
    printf("Its menu entry starts it among its own pictures (/usr/share/dressup when it is\n"
           "installed from its package). A picture that cannot be used is left out, and\n"
           "standard output says \"Malamente! No carga\" for it.\n\n"
           "More: man 6 dressup\n");
}

int answer_command_line(int argc, char** argv) {
    // As in GNU's programs, --help and --version answer wherever they stand.
    for (int i = 1; i < argc; i++)
        if (strcmp(argv[i], "--help") == 0) {
            help();
            return 0;
        }
    for (int i = 1; i < argc; i++)
        if (strcmp(argv[i], "--version") == 0) {
            printf("dressup %s\n", DRESSUP_VERSION);
            return 0;
        }
    if (argc < 2)
        return -1;
    const char* word = argv[1];
    bool option = word[0] == '-' && word[1] != 0;
    fprintf(stderr, "dressup: %s '%s'\nUsage: dressup [--help | --version]\n",
            option ? "unknown option" : "unexpected argument", word);
    return 2;
}
