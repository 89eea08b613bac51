// Redirection of standard output and standard error to a file or a command.
#pragma once
#include <jni.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/std_streams.h"

using StdStream = plat::StdStream;

// One place that output goes to: the configured value (after expansion) and its handle.
struct RedirectTarget {
  std::string name;
  plat::OutputHandle handle = plat::kNoOutput;
};

// The process's redirection state. Each stream is redirected at most once.
struct Redirector {
  std::vector<std::unique_ptr<RedirectTarget>> targets;
  plat::OutputHandle previous[2] = {plat::kNoOutput, plat::kNoOutput};  // saved standard handles
  plat::OutputHandle current[2] = {plat::kNoOutput, plat::kNoOutput};   // the target now used
  intptr_t runtimeStream[2] = {-1, -1};  // what the C runtime's stdout/stderr wrote to before
  bool replaced[2] = {false, false};
  bool needsJavaFallback[2] = {false, false};  // the system kept the old standard handle
  bool refuseStdHandlesForTests = false;       // act as if the system kept every standard handle
};

// Sends a standard stream to `value`: "|command" starts the command and writes to its
// standard input; anything else names a file that is appended to (created when missing,
// relative to the current directory). Equal values share one target. A target that cannot
// be opened leaves the stream alone.
void RedirectStream(Redirector& r, StdStream which, const std::string& value);

// Puts the saved standard handles back and closes the targets; the launcher's buffered
// output is written out first.
void ShutDownRedirection(Redirector& r);

// Where the Java runtime still writes to the old standard handle, replaces System.out or
// System.err with a PrintStream over com.quillmar.plb.RedirOutputStream bound to the target.
void InstallJavaFallback(const Redirector& r, JNIEnv* env);

// The process's redirector, shut down at process exit.
Redirector& ProcessRedirector();

// Start-up step and start hook over the process's redirector; the hook uses the JNI
// environment of the thread that created the VM.
void RedirectStream(StdStream which, const std::string& value);
void InstallJavaRedirection();
