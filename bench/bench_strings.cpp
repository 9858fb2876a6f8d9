// Benchmarks: strings.
#include "bench.h"

#include <tarn_kit/ustring.h>

void BenchStrings()
{
}
