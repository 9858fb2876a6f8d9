// A DLL that nothing else loads, for the module scope guard's tests.
extern "C" __declspec(dllexport) int TkProbeAnswer()
{
    return 42;
}
