// A first tour of TarnKit: what a new user runs first (make demo).
#include "tour.h"

#include <tarn_kit/tarn_kit.h>

#include <cstdio>
#include <cstring>

// tour.exe [--dialog [--auto]]: the sections that need no display, or with --dialog
// the typical request that ends in the library's message box.
int main(int argc, char** argv)
{
    std::printf("TarnKit %s tour\n", TARNKIT_VERSION_STRING);
    if (argc > 1 && std::strcmp(argv[1], "--dialog") == 0) {
        TourDialogs(argc > 2 && std::strcmp(argv[2], "--auto") == 0);
        return 0;
    }
    TourStrings();
    TourFiles();
    TourTime();
    TourLog();
    TourSettings();
    TourNumerics();
    TourComm();
    return 0;
}
