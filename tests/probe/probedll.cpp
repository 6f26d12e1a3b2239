// A DLL with one trivial export and nothing else, built twice: verprobe.dll
// with the version resource of verprobe.rc, noverprobe.dll without any
// resource. The product-version tests read them.
extern "C" __declspec(dllexport) int ProbeValue() { return 1; }
