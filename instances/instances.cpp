#include "instances/instances.h"

InstanceState* g_instance = nullptr;

// The instance table arrives with the instances subsystem; until then these do nothing.
void AttachInstanceStorage(InstanceState&, const std::string&) {}
void RegisterInstance(InstanceState&) {}
void SingleInstanceCheck(const LauncherContext&, InstanceState&) {}
void StartInstanceThread(InstanceState&) {}
void ShutdownInstance(InstanceState&) {}
void DetachInstanceStorage(InstanceState&) {}
