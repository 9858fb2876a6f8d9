// The tour's sections, one per family, each in its own file.
#pragma once

void TourStrings();
void TourNumerics();
