// A stand-in for a Java runtime's splash library: it shows nothing and appends one line per
// call to the file named by the environment variable PLB_FAKE_SPLASH_LOG:
//   "loaded", "init", "file <path>", "memory <size> <FNV-1a hash of the bytes, 8 hex digits>".
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#define FAKE_SPLASH_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_SPLASH_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

void Log(const char* format, ...) {
  const char* path = std::getenv("PLB_FAKE_SPLASH_LOG");
  FILE* f = path ? std::fopen(path, "ab") : nullptr;
  if (!f) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(f, format, args);
  va_end(args);
  std::fputc('\n', f);
  std::fclose(f);
}

}  // namespace

// Loading the library is an event of its own: a launcher with no picture must not load it.
__attribute__((constructor)) void Loaded() { Log("loaded"); }

FAKE_SPLASH_EXPORT void SplashInit() { Log("init"); }

FAKE_SPLASH_EXPORT int SplashLoadFile(const char* path) {
  Log("file %s", path ? path : "(null)");
  return 1;
}

FAKE_SPLASH_EXPORT int SplashLoadMemory(void* data, int size) {
  uint32_t hash = 2166136261u;
  for (int i = 0; i < size; ++i) hash = (hash ^ static_cast<const uint8_t*>(data)[i]) * 16777619u;
  Log("memory %d %08x", size, static_cast<unsigned>(hash));
  return 1;
}
