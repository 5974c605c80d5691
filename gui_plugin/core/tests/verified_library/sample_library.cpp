// A DLL for LoadVerifiedLibrary's tests; its identity tells which file was loaded.
extern "C" __declspec(dllexport) int KySampleIdentity() { return KY_SAMPLE_IDENTITY; }
