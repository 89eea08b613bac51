#include "launcher/startup.h"

#ifndef PLB_VERSION
#define PLB_VERSION "unknown"
#endif

// `plumbox inspect` reads the stub's version from this text in the image.
static const char kStubVersion[] = "plumbox stub version " PLB_VERSION;

int main(int argc, char** argv) {
  __asm__ volatile("" : : "r"(kStubVersion));  // keeps the text in the linked image
  return Entry(argc, argv);
}
