// The installer wizard's behaviour without any toolkit: which panels and buttons show, the
// step counter, the Vocarda check and the copy of the payload. The form only forwards its
// button clicks here and shows the state it reads back.
#pragma once

#include <array>
#include <string>

namespace qrvn::installer {

// The captions and messages the logic itself decides on (UTF-8).
inline constexpr const char* kForwardCaption = "Далее >";
inline constexpr const char* kFinishCaption = "Готово";
inline constexpr const char* kMessageCaption = "Установка Vocarda CTI";
inline constexpr const char* kVocardaMissingAtStart =
    "Перед установкой Vocarda CTI необходимо установить программу Vocarda.";
inline constexpr const char* kVocardaMissingAtInstall =
    "Программа Vocarda не обнаружена. Установка прекращена.";
// Where the monitor program goes, below the Vocarda folder.
inline constexpr const char* kTargetSuffix = "/VDHttpServer/VDCti.exe";

// The registry key and value naming the Vocarda folder.
inline constexpr const char* kVocardaKey = "SOFTWARE\\Vocarda4";
inline constexpr const char* kVocardaValue = "path";

// The files that make an installation of Vocarda, tested in this order.
inline constexpr std::array<const char*, 7> kVocardaFiles = {
    "/VDService/VDService.exe",
    "/VDService/VDLauncher.exe",
    "/VDHttpServer/VDHttp.exe",
    "/VDManager/VDManager.exe",
    "/VDManager/RL",
    "/VDManager/RE",
    "/VDManager/data",
};

// The Vocarda folder as the registry names it; empty when the value cannot be read.
std::string ReadVocardaFolder();
// True when every Vocarda file exists below folder (the folder text is used unchanged).
bool VocardaFilesPresent(const std::string& folder, std::string* firstMissing = nullptr);
// Reads the folder and checks its files; on success hands the folder over.
bool FindVocarda(std::string& folder);

enum class WizardPanel { Welcome = 0, Agreement = 1, Copying = 2, Finish = 3 };

enum class WizardResult {
  Continue,  // the form stays open
  Close,     // the form closes
  Failed,    // an error to show; the form stays open on the copying page
};

struct WizardOutcome {
  WizardResult result = WizardResult::Continue;
  std::string error;  // for Failed
};

class InstallerWizard {
 public:
  // installerFile is the file whose payload block 1 is installed (the running program).
  explicit InstallerWizard(std::string installerFile);

  // Forward button: next page, the installation at step 2, closing once finished.
  WizardOutcome Forward();
  // Back button: returns from the agreement page to the welcome page.
  void Back();
  // Accept option of the agreement.
  void Accept();
  // Decline option of the agreement.
  void Decline();

  // How many forward presses are not yet undone by back presses.
  int Step() const { return step_; }
  // Whether a panel is shown.
  bool PanelVisible(WizardPanel panel) const { return panels_[static_cast<int>(panel)]; }
  // Whether the back button is shown.
  bool BackVisible() const { return backVisible_; }
  // Whether the forward button takes clicks.
  bool ForwardEnabled() const { return forwardEnabled_; }
  // The forward button's caption.
  const std::string& ForwardCaption() const { return forwardCaption_; }
  // Whether the accept option is the selected one.
  bool AcceptSelected() const { return acceptSelected_; }
  // The copy progress gauge, 0 to 100.
  int Gauge() const { return gauge_; }

 private:
  WizardOutcome Install();
  void Show(WizardPanel panel, bool visible) { panels_[static_cast<int>(panel)] = visible; }

  std::string installerFile_;
  int step_ = 0;
  std::array<bool, 4> panels_ = {true, false, false, false};
  bool backVisible_ = false;
  bool forwardEnabled_ = true;
  std::string forwardCaption_ = kForwardCaption;
  bool acceptSelected_ = false;
  int gauge_ = 0;
};

}  // namespace qrvn::installer
