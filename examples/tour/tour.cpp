// A first tour of TarnKit: what a new user runs first (make demo).
#include "tour.h"

#include <tarn_kit/tarn_kit.h>

#include <cstdio>

int main()
{
    std::printf("TarnKit %s tour\n", TARNKIT_VERSION_STRING);
    TourStrings();
    TourFiles();
    TourTime();
    TourLog();
    TourSettings();
    TourNumerics();
    TourDrawing();
    return 0;
}
