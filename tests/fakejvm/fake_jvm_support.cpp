// The library that the dependent stand-in VM library imports.
extern "C" __declspec(dllexport) int FakeJvmSupport() { return 42; }
