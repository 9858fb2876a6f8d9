// TarnKit benchmarks: make bench. Each section prints its own table; the figures
// are recorded in bench/README.md with the arch and the date.
#include "bench.h"

#include <cstring>

int main(int argc, char** argv)
{
    // An optional argument picks one section by name.
    const char* only = argc > 1 ? argv[1] : nullptr;
    auto wanted = [&](const char* name) { return !only || std::strcmp(only, name) == 0; };
    std::printf("TarnKit benchmarks (%s)\n", sizeof(void*) == 4 ? "x86" : "x64");
    if (wanted("strings"))
        BenchStrings();
    if (wanted("files"))
        BenchFiles();
    if (wanted("matrix"))
        BenchMatrix();
    if (wanted("translator"))
        BenchTranslator();
    if (wanted("log"))
        BenchLog();
    if (wanted("comm"))
        BenchComm();
    if (wanted("drawing"))
        BenchDrawing();
    if (wanted("dialogs"))
        BenchDialogs();
    return 0;
}
