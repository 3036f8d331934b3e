// A fresh $QRVN_ROOT for one test: created empty, set in the environment, removed afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace qrvn::testing {

class TempRoot {
 public:
  TempRoot() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qrvn-test-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    path_ = made != nullptr ? made : "";
    const char* old = std::getenv("QRVN_ROOT");
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    setenv("QRVN_ROOT", path_.c_str(), 1);
  }
  ~TempRoot() {
    if (hadOld_) {
      setenv("QRVN_ROOT", old_.c_str(), 1);
    } else {
      unsetenv("QRVN_ROOT");
    }
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
  std::string old_;
  bool hadOld_ = false;
};

}  // namespace qrvn::testing
