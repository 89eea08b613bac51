#include "runtime/vm.h"

#include "payload/config.h"

VmContext* g_vm = nullptr;

// The VM run arrives with the VM subsystem; until then there is nothing to run.
int RunVm(VmRunRequest&) { return 0; }

void DestroyVm(VmContext& vm) {
  vm.vm = nullptr;
  vm.env = nullptr;
}
