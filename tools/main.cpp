#include <cstdio>

int main(int argc, char** argv) {
  std::fprintf(stderr, "plumbox: not built yet\n");
  return 2;
}
