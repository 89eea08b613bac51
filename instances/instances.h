// The shared instance table: registration, first-instance election, single instance.
#pragma once
#include <string>

#include "payload/context.h"

struct InstanceState {
  void* storage = nullptr;      // the shared block
  void* namedMapping = nullptr;  // set when "appid" named a mapping of its own
};

extern InstanceState* g_instance;

// Attaches the shared block: a named mapping for a non-empty appid, else the executable's
// own shared section.
void AttachInstanceStorage(InstanceState& state, const std::string& appId);

// Registers this process in the table and takes part in the first-instance election.
void RegisterInstance(InstanceState& state);

// "singleinstance" true: exits with code 11 after message 13 when another instance runs.
void SingleInstanceCheck(const LauncherContext& ctx, InstanceState& state);

// "singleinstance" custom: starts the instance thread for object messages.
void StartInstanceThread(InstanceState& state);

void ShutdownInstance(InstanceState& state);
void DetachInstanceStorage(InstanceState& state);
