// The launcher stub as it runs on a system that does not accept new standard handles, so
// that the output redirection falls back to the Java side (System.setOut / setErr over
// com.quillmar.plb.RedirOutputStream).
#include "launcher/startup.h"
#include "streams/redirect.h"

int main(int argc, char** argv) {
  ProcessRedirector().refuseStdHandlesForTests = true;
  return Entry(argc, argv);
}
