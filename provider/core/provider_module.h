// What the provider knows about its own module file.
#pragma once

#include <string>

namespace qrvn::provider {

// Records the path of the loaded provider module (set at library load when it is known).
void SetProviderModulePath(std::string path);
// The path of the loaded provider module, or empty when unknown.
std::string ProviderModulePath();

}  // namespace qrvn::provider
