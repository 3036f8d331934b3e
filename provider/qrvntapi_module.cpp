// Library load and unload of the provider module, in place of process attach and detach:
// load creates the process-wide state, unload waits for outstanding completions, ends what
// is still running and empties the memory pool.
#include "provider/core/instance_parts.h"
#include "provider/core/process.h"

namespace {

__attribute__((constructor)) void OnModuleLoad() {
  qrvn::provider::InstallInstanceParts();
  qrvn::provider::ProcessAttach();
}

__attribute__((destructor)) void OnModuleUnload() {
  qrvn::provider::ProcessDetach();
}

}  // namespace
