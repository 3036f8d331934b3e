// Loading modules by their Windows names and finding their exports.
#include <gtest/gtest.h>

#include <string>

#include "platform/module.h"

namespace qrvn::platform {
namespace {

TEST(Module, WindowsNamesMapToSharedObjects) {
  const std::pair<const char*, const char*> cases[] = {
      {"QRVNSDRV.DLL", "qrvnsdrv.so"}, {"QRVNEDRV.DLL", "qrvnedrv.so"},
      {"Mixed.Dll", "mixed.so"},       {"qrvntapi.tsp", "qrvntapi.tsp"},
      {"a.dll.bak", "a.dll.bak"},      {"/opt/Qrvn/X.DLL", "/opt/Qrvn/X.DLL"},
      {"sub/Y.dll", "sub/Y.dll"},
  };
  for (const auto& [windowsName, file] : cases) EXPECT_EQ(ModuleFileName(windowsName), file);
}

TEST(Module, LoadsByWindowsNameAndUnloadsOnDestruction) {
  std::string error;
  auto module = Module::Load("QRVNTESTMOD.DLL", &error);
  ASSERT_NE(module, nullptr) << error;
  auto answer = module->Function<int (*)()>("QrvnTestAnswer");
  auto bump = module->Function<int (*)()>("QrvnTestBump");
  ASSERT_NE(answer, nullptr);
  ASSERT_NE(bump, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(bump(), 1);
  EXPECT_EQ(bump(), 2);
  EXPECT_EQ(module->Symbol("QrvnTestHidden"), nullptr);  // not exported
  module.reset();
  // A fresh copy starts its counter again only when the first was really unloaded.
  module = Module::Load(QRVN_TEST_MODULE_PATH, &error);
  ASSERT_NE(module, nullptr) << error;
  EXPECT_EQ(module->Function<int (*)()>("QrvnTestBump")(), 1);
}

TEST(Module, MissingModuleAndSymbolAreReported) {
  std::string error;
  EXPECT_EQ(Module::Load("QRVNNOSUCH.DLL", &error), nullptr);
  EXPECT_NE(error.find("qrvnnosuch.so"), std::string::npos) << error;
  EXPECT_EQ(Module::Load("QRVNNOSUCH.DLL", nullptr), nullptr);
  auto module = Module::Load(QRVN_TEST_MODULE_PATH, &error);
  ASSERT_NE(module, nullptr) << error;
  EXPECT_EQ(module->Symbol("NoSuchExport"), nullptr);
}

}  // namespace
}  // namespace qrvn::platform
