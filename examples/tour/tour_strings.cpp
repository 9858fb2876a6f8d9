// Tour: strings and locale.
#include "tour.h"

#include <tarn_kit/ustring.h>

#include <cstdio>

void TourStrings()
{
}
