#include "launcher/startup.h"

#include "instances/instances.h"
#include "payload/config.h"
#include "payload/load.h"
#include "platform/process.h"
#include "platform/signals.h"
#include "platform/text.h"
#include "runtime/main_class.h"
#include "runtime/vm.h"
#include "splash/splash.h"
#include "streams/redirect.h"

namespace {

void RedirectStandardStreams(const LauncherContext& ctx) {
  std::string err = CfgStderr(ctx);
  if (!err.empty()) RedirectStream(StdStream::Error, err);
  std::string out = CfgStdout(ctx);
  if (!out.empty()) RedirectStream(StdStream::Output, out);
}

void SingleInstanceStep(const LauncherContext& ctx, InstanceState& instance) {
  std::string mode = CfgSingleInstance(ctx);
  if (ValueIs(mode, "true")) SingleInstanceCheck(ctx, instance);
  else if (ValueIs(mode, "custom")) StartInstanceThread(instance);
}

// SIGINT and SIGTERM end the application in order, with exit code 0: its shutdown hooks run.
void OnTerminationSignal(int) {
  if (g_vm) RequestExitFromThread(g_vm->vm, 0);
}

// Run on the VM thread once the VM exists and the version check has passed.
void StartHook() {
  InstallJavaRedirection();
  plat::HandleTerminationSignals(OnTerminationSignal);
}

int VmThread(void* request) {
  int result = RunVm(*static_cast<VmRunRequest*>(request));
  if (g_vm) DestroyVm(*g_vm);
  return result;
}

int RunVmOnChosenThread(const LauncherContext& ctx, VmRunRequest& request) {
  int result = 0;
  if (!RunsOnFirstThread(ctx) && plat::RunOnNewThread(VmThread, &request, result)) return result;
  return VmThread(&request);
}

}  // namespace

bool RunsOnFirstThread(const LauncherContext& ctx) {
  return !LookUp(ctx, "option", {false, true, "-XstartOnFirstThread"}).empty();
}

int Entry(int argc, char** argv) {
  plat::SetUserLocale();                                     // 1. user's locale
  LauncherContext launcher;                                  // 2. configuration
  LoadConfiguration(launcher);
  VmContext vm;                                              // 3. empty VM context
  InstanceState instance;                                    // 4. shared instance storage
  AttachInstanceStorage(instance, CfgAppId(launcher));
  RegisterInstance(instance);                                // 5. join the instance table
  g_launcher = &launcher;
  g_vm = &vm;
  g_instance = &instance;
  plat::InitCommonControls();                                // 6.
  SplashStep(launcher);                                      // 7. splash (first runtime search)
  ApplyForceCwd(launcher);                                   // 8. working directory
  RedirectStandardStreams(launcher);                         // 9. stdout / stderr
  SingleInstanceStep(launcher, instance);                    // 10. single instance
  VmRunRequest request;                                      // 11./12. arguments, start hook
  request.args = ApplicationArguments(launcher, argc, argv);
  request.startHook = StartHook;
  int result = RunVmOnChosenThread(launcher, request);       // 13./14. VM thread
  g_launcher = nullptr;                                      // 16. shut-down
  g_vm = nullptr;
  ShutdownInstance(instance);
  DetachInstanceStorage(instance);
  DestroyVm(vm);
  return result;
}
