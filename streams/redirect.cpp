#include "streams/redirect.h"

#include "launcher/cmdline.h"
#include "platform/child_process.h"
#include "platform/ui.h"
#include "runtime/vm.h"

namespace {

RedirectTarget& FindOrOpenTarget(Redirector& r, const std::string& value) {
  for (auto& t : r.targets)
    if (t->name == value) return *t;
  auto t = std::make_unique<RedirectTarget>();
  t->name = value;
  if (value[0] == '|') {
    std::string command = value.substr(1);
    t->handle = plat::StartPipedCommand(command, Split(command));
  } else {
    t->handle = plat::OpenAppendFile(value);
  }
  r.targets.push_back(std::move(t));
  return *r.targets.back();
}

// Closes the targets and gives the old standard handles back when the process ends.
struct ProcessRedirectorHolder {
  Redirector redirector;
  ~ProcessRedirectorHolder() { ShutDownRedirection(redirector); }
};

ProcessRedirectorHolder g_holder;

}  // namespace

void RedirectStream(Redirector& r, StdStream which, const std::string& value) {
  if (value.empty()) return;
  int i = static_cast<int>(which);
  RedirectTarget& target = FindOrOpenTarget(r, value);
  r.current[i] = target.handle;
  if (target.handle == plat::kNoOutput || r.replaced[i]) return;
  r.replaced[i] = true;
  plat::FlushRuntimeStreams();  // what was printed before still goes where it was meant to
  if (r.refuseStdHandlesForTests || !plat::ReplaceStdHandle(which, target.handle, r.previous[i]))
    r.needsJavaFallback[i] = true;
  else if (which == StdStream::Error)
    plat::SetUserErrorOutput(r.previous[i]);  // the launcher's own lines still reach the user
  r.runtimeStream[i] = plat::BindRuntimeStream(which, target.handle);
}

// The standard handles are given back before the targets close, so that nothing is ever
// written to a handle that has just been closed.
void ShutDownRedirection(Redirector& r) {
  plat::FlushRuntimeStreams();
  plat::SetUserErrorOutput(plat::kNoOutput);
  for (int i = 0; i < 2; ++i) {
    auto which = static_cast<StdStream>(i);
    if (r.replaced[i]) plat::UnbindRuntimeStream(which, r.runtimeStream[i]);
    if (r.replaced[i] && !r.needsJavaFallback[i]) plat::RestoreStdHandle(which, r.previous[i]);
    r.replaced[i] = r.needsJavaFallback[i] = false;
    r.previous[i] = r.current[i] = plat::kNoOutput;
    r.runtimeStream[i] = -1;
  }
  for (auto& t : r.targets) plat::CloseOutput(t->handle);
  r.targets.clear();
}

Redirector& ProcessRedirector() { return g_holder.redirector; }

void RedirectStream(StdStream which, const std::string& value) { RedirectStream(ProcessRedirector(), which, value); }

void InstallJavaRedirection() {
  if (g_vm && g_vm->env) InstallJavaFallback(ProcessRedirector(), g_vm->env);
}
