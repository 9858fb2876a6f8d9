#include <tarn_kit/tarn_kit.h>
int main() { return 0; }
