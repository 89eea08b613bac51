// The launcher's own tool agent. At the start of the VM, after the module system is up and
// before the system class loader is built, it binds the natives of the support classes and
// sets the launcher's start properties.
//
// Both keep HotSpot's archived module graph in use, which saves a hello-world a fifth to a
// third of its start time: a custom system class loader named by a "-D" option, and the
// option that grants native access (which loading the executable as a library needs from 24
// on), each make HotSpot set up the module system anew. Set at the start phase, the same
// property reaches the same code that builds the system class loader; natives registered by
// the launcher need no library load and so no native access.
#pragma once
#include <jni.h>

#include <string>
#include <vector>

// The option that loads the agent: the runtime finds its entry point among the executable's
// own exports (the statically linked agent "plumbox").
inline constexpr char kStartAgentOption[] = "-agentlib:plumbox";

// Properties ("name=value", UTF-8) for the agent to set when the VM starts. The list is
// taken by the next VM creation.
void SetStartProperties(std::vector<std::string> properties);

extern "C" JNIEXPORT jint JNICALL Agent_OnLoad_plumbox(JavaVM* vm, char* options, void* reserved);
