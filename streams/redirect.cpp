#include "streams/redirect.h"

// Output redirection arrives with the streams subsystem; until then streams stay as they are.
void RedirectStream(StdStream, const std::string&) {}
void InstallJavaRedirection() {}
