// Loadable modules on POSIX: dlopen of the Windows name mapped to a shared object.
#include "platform/module.h"

#include "platform/files.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cctype>
#include <climits>

namespace qrvn::platform {
namespace {

// The folder of the executable or shared object this code is linked into.
std::string OwnFolder() {
  std::string path = ModulePathOf(reinterpret_cast<const void*>(&OwnFolder));
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

}  // namespace

std::string ModulePathOf(const void* address) {
  Dl_info info{};
  link_map* map = nullptr;
  if (dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 ||
      map == nullptr) {
    return "";
  }
  std::string path = map->l_name != nullptr ? map->l_name : "";
  if (path.empty()) path = RunningExecutablePath();  // the main program has no name there
  return path;
}

std::string ModuleFileName(const std::string& windowsName) {
  // A name with a folder is a path the caller chose: keep it as it is.
  if (windowsName.find('/') != std::string::npos) return windowsName;
  std::string name;
  name.reserve(windowsName.size());
  for (char c : windowsName) {
    name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  const std::string dll = ".dll";
  if (name.size() >= dll.size() && name.compare(name.size() - dll.size(), dll.size(), dll) == 0) {
    name.replace(name.size() - dll.size(), dll.size(), ".so");
  }
  return name;
}

std::unique_ptr<Module> Module::Load(const std::string& windowsName, std::string* error) {
  std::string file = ModuleFileName(windowsName);
  // dlerror() keeps its message per thread, so no lock is needed (and none may be held:
  // a module's initialisers may load further modules).
  dlerror();
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    std::string firstError = reason != nullptr ? reason : "cannot load " + file;
    // The loader looks in the RUNPATH of the object that called dlopen; when that call is
    // intercepted (sanitizer runtimes), that object is not this module, so the module's own
    // folder ($ORIGIN) is tried after the normal search.
    std::string folder = file.find('/') == std::string::npos ? OwnFolder() : "";
    if (!folder.empty()) handle = dlopen((folder + "/" + file).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      if (error != nullptr) *error = firstError;
      return nullptr;
    }
  }
  return std::unique_ptr<Module>(new Module(handle));
}

Module::~Module() {
  dlclose(handle_);
}

void* Module::Symbol(const std::string& name) const {
  return dlsym(handle_, name.c_str());
}

}  // namespace qrvn::platform
