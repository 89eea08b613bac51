// Redirection of standard output and standard error to a file or a command.
#pragma once
#include <string>

enum class StdStream { Output, Error };

// Sends a standard stream to `target`: a file appended to, or "|command".
void RedirectStream(StdStream which, const std::string& target);

// Installs the Java side of the redirection (start hook).
void InstallJavaRedirection();
