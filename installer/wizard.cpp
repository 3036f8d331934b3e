// The installer wizard's pages, step counter and installation.
#include "installer/wizard.h"

#include <cstdint>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "installer/payload.h"
#include "platform/message_box.h"
#include "platform/registry.h"

namespace qrvn::installer {
namespace {

// The folder is read into a zero-filled buffer of this size; a longer value fails the read.
constexpr size_t kFolderBufferSize = 256;

// A plain file (or anything but a folder) at path, as the installed product's files are.
bool FileExists(const std::string& path) {
  std::error_code error;
  std::filesystem::file_status status = std::filesystem::status(path, error);
  return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

// The monitor program is started from where it is written, so whoever may read it may run it.
bool MakeRunnable(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::perms perms = fs::status(path, error).permissions();
  if (error) return false;
  fs::perms add = fs::perms::none;
  if ((perms & fs::perms::owner_read) != fs::perms::none) add |= fs::perms::owner_exec;
  if ((perms & fs::perms::group_read) != fs::perms::none) add |= fs::perms::group_exec;
  if ((perms & fs::perms::others_read) != fs::perms::none) add |= fs::perms::others_exec;
  fs::permissions(path, add, fs::perm_options::add, error);
  return !error;
}

}  // namespace

std::string ReadVocardaFolder() {
  platform::RegistryKey key;
  if (platform::RegistryKey::Open(kVocardaKey, platform::RegAccess::Read, key) !=
      platform::RegResult::Ok) {
    return {};
  }
  std::string folder;
  if (key.QueryString(kVocardaValue, folder) != platform::RegResult::Ok) return {};
  // The text and its terminating zero must fit the buffer.
  if (folder.size() + 1 > kFolderBufferSize) return {};
  // A zero inside the value ends the text, as it does in the buffer.
  return folder.substr(0, folder.find('\0'));
}

bool VocardaFilesPresent(const std::string& folder, std::string* firstMissing) {
  for (const char* suffix : kVocardaFiles) {
    std::string path = folder + suffix;
    if (!FileExists(path)) {
      if (firstMissing != nullptr) *firstMissing = path;
      return false;
    }
  }
  return true;
}

bool FindVocarda(std::string& folder) {
  std::string found = ReadVocardaFolder();
  if (!VocardaFilesPresent(found)) return false;
  folder = std::move(found);
  return true;
}

InstallerWizard::InstallerWizard(std::string installerFile)
    : installerFile_(std::move(installerFile)) {}

WizardOutcome InstallerWizard::Forward() {
  ++step_;
  if (step_ == 1) {
    Show(WizardPanel::Welcome, false);
    Show(WizardPanel::Agreement, true);
    forwardEnabled_ = acceptSelected_;
    backVisible_ = true;
    return {};
  }
  if (step_ != 2) {
    if (forwardCaption_ == kFinishCaption) return {WizardResult::Close, {}};
    return {};
  }
  return Install();
}

WizardOutcome InstallerWizard::Install() {
  std::string folder;
  if (!FindVocarda(folder)) {
    platform::ShowMessageBox(kVocardaMissingAtInstall, kMessageCaption,
                             platform::MessageBoxButtons::Ok, platform::MessageBoxIcon::Warning);
    return {WizardResult::Close, {}};
  }
  Show(WizardPanel::Agreement, false);
  Show(WizardPanel::Copying, true);
  gauge_ = 50;

  std::vector<uint8_t> payload;
  PayloadOutcome read = ReadBlock(installerFile_, 1, payload);
  if (!read.Ok()) return {WizardResult::Failed, read.message};
  std::string target = folder + kTargetSuffix;
  PayloadOutcome written = WriteWholeFile(target, payload);
  if (!written.Ok()) return {WizardResult::Failed, written.message};
  if (!MakeRunnable(target)) {
    return {WizardResult::Failed, "cannot make \"" + target + "\" executable"};
  }

  gauge_ = 100;
  Show(WizardPanel::Copying, false);
  Show(WizardPanel::Finish, true);
  backVisible_ = false;
  forwardCaption_ = kFinishCaption;
  return {};
}

void InstallerWizard::Back() {
  --step_;
  if (step_ != 0) return;
  Show(WizardPanel::Welcome, true);
  Show(WizardPanel::Agreement, false);
  forwardEnabled_ = true;
  backVisible_ = false;
}

void InstallerWizard::Accept() {
  acceptSelected_ = true;
  forwardEnabled_ = true;
}

void InstallerWizard::Decline() {
  acceptSelected_ = false;
  forwardEnabled_ = false;
}

}  // namespace qrvn::installer
