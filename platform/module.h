// Loadable modules named the Windows way ("QRVNSDRV.DLL" is qrvnsdrv.so).
#pragma once

#include <memory>
#include <string>

namespace qrvn::platform {

// The file name a Windows module name loads: lower case, ".dll" replaced by ".so".
std::string ModuleFileName(const std::string& windowsName);

// The path of the executable or shared object whose code or data holds address; empty when
// no loaded module holds it.
std::string ModulePathOf(const void* address);

// A loaded module; unloaded on destruction.
class Module {
 public:
  // Loads by Windows name (or a path) with the normal search; nullptr with a reason in *error.
  static std::unique_ptr<Module> Load(const std::string& windowsName, std::string* error);
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // The address of an exported symbol, or nullptr.
  void* Symbol(const std::string& name) const;
  // Typed form of Symbol for function pointers.
  template <typename F>
  F Function(const std::string& name) const {
    return reinterpret_cast<F>(Symbol(name));
  }

 private:
  explicit Module(void* handle) : handle_(handle) {}
  void* handle_;
};

}  // namespace qrvn::platform
