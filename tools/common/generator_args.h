// Command-line handling the asset generators share: --help, and no option taken for a path.
#pragma once

#include <cstdio>
#include <cstring>

// Checks a generator's arguments against its usage line ("<in> <out>"), which
// names `pathCount` paths. Returns -1 when the generator should go on, or the
// exit status to end with: 0 after --help (usage on standard output), 2 on a
// wrong count or an argument that looks like an option, since a path beginning
// with '-' is far more likely a mistyped option than a wanted file name.
inline int checkGeneratorArgs(int argc, char** argv, const char* name, const char* usage,
                              int pathCount)
{
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("usage: %s %s\n", name, usage);
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') {
            std::fprintf(stderr, "%s: unknown option %s\nusage: %s %s\n", name, argv[i], name,
                         usage);
            return 2;
        }
    }
    if (argc != pathCount + 1) {
        std::fprintf(stderr, "usage: %s %s\n", name, usage);
        return 2;
    }
    return -1;
}
