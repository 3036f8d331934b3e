// The wizard without a display: pages, step counter, the Vocarda check and the installation.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "installer/payload.h"
#include "installer/wizard.h"
#include "platform/message_box.h"
#include "platform/registry.h"
#include "tests/installer/installer_test_files.h"
#include "tests/support/temp_root.h"

namespace qrvn::installer {
namespace {

using test_files::Bytes;
using test_files::ReadFile;
using test_files::WriteFile;

class InstallerWizardTest : public ::testing::Test {
 public:
  InstallerWizardTest() {
    previous_ = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& r) {
      shown_.push_back(r.text);
      return platform::MessageBoxResult::Ok;
    });
    for (const char* suffix : kVocardaFiles) MakeFile(folder_ + suffix);
    std::filesystem::create_directories(folder_ + "/VDHttpServer");
    SetFolder(folder_);
    WriteFile(installer_, Bytes("installer program image"));
    EXPECT_TRUE(AppendBlock(installer_, payload_).Ok());
  }
  ~InstallerWizardTest() override { platform::SetMessageBoxHandler(previous_); }

  static void MakeFile(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteFile(path, Bytes("x"));
  }
  static void SetFolder(const std::string& folder) {
    platform::RegistryKey key;
    ASSERT_EQ(platform::RegistryKey::Create(kVocardaKey, key), platform::RegResult::Ok);
    ASSERT_EQ(key.SetString(kVocardaValue, folder), platform::RegResult::Ok);
  }
  std::string Target() const { return folder_ + kTargetSuffix; }

  // Welcome, accept, forward: the installation runs.
  WizardOutcome RunToInstall(InstallerWizard& wizard) {
    EXPECT_EQ(wizard.Forward().result, WizardResult::Continue);
    wizard.Accept();
    return wizard.Forward();
  }
  static std::vector<bool> Panels(const InstallerWizard& wizard) {
    return {wizard.PanelVisible(WizardPanel::Welcome), wizard.PanelVisible(WizardPanel::Agreement),
            wizard.PanelVisible(WizardPanel::Copying), wizard.PanelVisible(WizardPanel::Finish)};
  }

  qrvn::testing::TempRoot root_;
  std::string folder_ = root_.File("Program Files/Vocarda");
  std::string installer_ = root_.File("renamed installer");
  std::vector<uint8_t> payload_ = Bytes("CTI monitor program\x01\x02");
  std::vector<std::string> shown_;
  platform::MessageBoxHandler previous_;
};

TEST_F(InstallerWizardTest, PagesFollowTheCounterAndKeepTheAgreementChoice) {
  InstallerWizard wizard(installer_);
  EXPECT_EQ(wizard.Step(), 0);
  EXPECT_EQ(Panels(wizard), (std::vector<bool>{true, false, false, false}));
  EXPECT_FALSE(wizard.BackVisible());
  EXPECT_TRUE(wizard.ForwardEnabled());
  EXPECT_EQ(wizard.ForwardCaption(), "Далее >");
  EXPECT_FALSE(wizard.AcceptSelected());

  EXPECT_EQ(wizard.Forward().result, WizardResult::Continue);
  EXPECT_EQ(wizard.Step(), 1);
  EXPECT_EQ(Panels(wizard), (std::vector<bool>{false, true, false, false}));
  EXPECT_TRUE(wizard.BackVisible());
  EXPECT_FALSE(wizard.ForwardEnabled()) << "decline is selected at start";

  wizard.Accept();
  EXPECT_TRUE(wizard.ForwardEnabled());
  wizard.Decline();
  EXPECT_FALSE(wizard.ForwardEnabled());
  wizard.Accept();

  wizard.Back();
  EXPECT_EQ(wizard.Step(), 0);
  EXPECT_EQ(Panels(wizard), (std::vector<bool>{true, false, false, false}));
  EXPECT_FALSE(wizard.BackVisible());
  EXPECT_TRUE(wizard.ForwardEnabled());

  wizard.Forward();
  EXPECT_TRUE(wizard.AcceptSelected());
  EXPECT_TRUE(wizard.ForwardEnabled()) << "the accepted choice is kept and applied again";
  wizard.Decline();
  wizard.Back();
  EXPECT_TRUE(wizard.ForwardEnabled()) << "the welcome page always lets the user go on";
  wizard.Forward();
  EXPECT_FALSE(wizard.ForwardEnabled()) << "the declined choice is kept and applied again";
  EXPECT_FALSE(std::filesystem::exists(Target()));
}

TEST_F(InstallerWizardTest, InstallWritesBlockOneAndFinishes) {
  WriteFile(Target(), Bytes("an older monitor program that is longer"));
  InstallerWizard wizard(installer_);
  WizardOutcome outcome = RunToInstall(wizard);
  ASSERT_EQ(outcome.result, WizardResult::Continue) << outcome.error;
  EXPECT_EQ(ReadFile(Target()), payload_);
  auto perms = std::filesystem::status(Target()).permissions();
  EXPECT_NE(perms & std::filesystem::perms::owner_exec, std::filesystem::perms::none)
      << "the monitor program is started from there";
  EXPECT_EQ(wizard.Step(), 2);
  EXPECT_EQ(Panels(wizard), (std::vector<bool>{false, false, false, true}));
  EXPECT_EQ(wizard.Gauge(), 100);
  EXPECT_FALSE(wizard.BackVisible());
  EXPECT_EQ(wizard.ForwardCaption(), "Готово");
  EXPECT_TRUE(shown_.empty());
  EXPECT_EQ(wizard.Forward().result, WizardResult::Close);
}

TEST_F(InstallerWizardTest, EmptyPayloadGivesAnEmptyTarget) {
  WriteFile(installer_, {'E', 'L', 'F', 4, 0, 0, 0});
  WriteFile(Target(), Bytes("old"));
  InstallerWizard wizard(installer_);
  ASSERT_EQ(RunToInstall(wizard).result, WizardResult::Continue);
  EXPECT_TRUE(std::filesystem::exists(Target()));
  EXPECT_EQ(std::filesystem::file_size(Target()), 0u);
}

TEST_F(InstallerWizardTest, VocardaCheckStopsAtTheFirstMissingFileInOrder) {
  std::string folder;
  ASSERT_TRUE(FindVocarda(folder));
  EXPECT_EQ(folder, folder_);
  for (size_t i = 0; i < kVocardaFiles.size(); ++i) {
    SCOPED_TRACE(kVocardaFiles[i]);
    // Remove this file and every later one: the first in order is the one reported.
    for (size_t j = i; j < kVocardaFiles.size(); ++j) {
      std::filesystem::remove(folder_ + kVocardaFiles[j]);
    }
    std::string missing;
    EXPECT_FALSE(VocardaFilesPresent(folder_, &missing));
    EXPECT_EQ(missing, folder_ + kVocardaFiles[i]);
    EXPECT_FALSE(FindVocarda(folder));
    for (size_t j = i; j < kVocardaFiles.size(); ++j) MakeFile(folder_ + kVocardaFiles[j]);
    // Only this one missing.
    std::filesystem::remove(folder_ + kVocardaFiles[i]);
    EXPECT_FALSE(VocardaFilesPresent(folder_, &missing));
    EXPECT_EQ(missing, folder_ + kVocardaFiles[i]);
    MakeFile(folder_ + kVocardaFiles[i]);
  }
  // A folder where a file belongs does not count.
  std::filesystem::remove(folder_ + "/VDManager/data");
  std::filesystem::create_directory(folder_ + "/VDManager/data");
  EXPECT_FALSE(VocardaFilesPresent(folder_));
}

TEST_F(InstallerWizardTest, RegistryValueDecidesTheFolder) {
  std::string folder;
  SetFolder(folder_ + "/");
  ASSERT_TRUE(FindVocarda(folder)) << "a trailing separator gives doubled ones, which work";
  EXPECT_EQ(folder, folder_ + "/");
  InstallerWizard wizard(installer_);
  ASSERT_EQ(RunToInstall(wizard).result, WizardResult::Continue);
  EXPECT_EQ(ReadFile(Target()), payload_);

  SetFolder(root_.File("elsewhere"));
  EXPECT_FALSE(FindVocarda(folder));
  // A value that does not fit the 256-byte buffer reads as no folder.
  SetFolder(folder_ + std::string(300, '/'));
  EXPECT_EQ(ReadVocardaFolder(), "");
  ASSERT_EQ(platform::DeleteRegistryKey(kVocardaKey), platform::RegResult::Ok);
  EXPECT_EQ(ReadVocardaFolder(), "");
  EXPECT_FALSE(FindVocarda(folder));
}

TEST_F(InstallerWizardTest, VocardaGoneWhenInstallingClosesWithoutCopying) {
  InstallerWizard wizard(installer_);
  wizard.Forward();
  wizard.Accept();
  std::filesystem::remove(folder_ + "/VDManager/RE");
  WizardOutcome outcome = wizard.Forward();
  EXPECT_EQ(outcome.result, WizardResult::Close);
  EXPECT_EQ(shown_, (std::vector<std::string>{kVocardaMissingAtInstall}));
  EXPECT_FALSE(std::filesystem::exists(Target()));
}

TEST_F(InstallerWizardTest, FailuresStopOnTheCopyingPageWithTheError) {
  struct Case {
    const char* name;
    void (*spoil)(InstallerWizardTest&);
    std::string mentioned;
  };
  const std::vector<Case> cases = {
      {"target cannot be created",
       [](InstallerWizardTest& t) { std::filesystem::create_directory(t.Target()); }, Target()},
      {"installer file missing",
       [](InstallerWizardTest& t) { std::filesystem::remove(t.installer_); }, installer_},
      {"corrupt payload length",
       [](InstallerWizardTest& t) {
         WriteFile(t.installer_, {'a', 0xFF, 0xFF, 0, 0});
       },
       "before the start"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.spoil(*this);
    InstallerWizard wizard(installer_);
    WizardOutcome outcome = RunToInstall(wizard);
    EXPECT_EQ(outcome.result, WizardResult::Failed);
    EXPECT_NE(outcome.error.find(c.mentioned), std::string::npos) << outcome.error;
    EXPECT_EQ(Panels(wizard), (std::vector<bool>{false, false, true, false}));
    EXPECT_EQ(wizard.Gauge(), 50);
    EXPECT_EQ(wizard.ForwardCaption(), "Далее >");
    EXPECT_TRUE(shown_.empty());
    EXPECT_FALSE(std::filesystem::is_regular_file(Target()));
    // Further presses neither close the form nor install (only Cancel leaves it).
    EXPECT_EQ(wizard.Forward().result, WizardResult::Continue);
    std::filesystem::remove_all(Target());
    WriteFile(installer_, Bytes("installer program image"));
    ASSERT_TRUE(AppendBlock(installer_, payload_).Ok());
  }
}

}  // namespace
}  // namespace qrvn::installer
