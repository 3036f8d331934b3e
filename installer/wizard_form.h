// The installer's window: four stacked pages and the back, forward and cancel buttons,
// showing the state of an InstallerWizard after every click.
#pragma once

#include <memory>

#include <FL/Fl_Double_Window.H>

#include "installer/wizard.h"
#include "platform/message_box.h"

class Fl_Button;
class Fl_Group;
class Fl_Progress;
class Fl_Round_Button;
class Fl_Text_Buffer;
class Fl_Widget;

namespace qrvn::installer {

// Makes the toolkit draw every text with a face that holds Cyrillic letters.
void UseWizardFonts();
// Shows a message box with the toolkit (the handler the program installs when it has a display).
platform::MessageBoxResult ShowToolkitMessageBox(const platform::MessageBoxRequest& request);

class WizardForm {
 public:
  // Builds the window (not yet shown) for wizard, which must outlive the form.
  explicit WizardForm(InstallerWizard& wizard);
  ~WizardForm();
  WizardForm(const WizardForm&) = delete;
  WizardForm& operator=(const WizardForm&) = delete;

  // Shows the window centred on the screen.
  void Show();

 private:
  static void OnForward(Fl_Widget*, void* form);
  static void OnBack(Fl_Widget*, void* form);
  static void OnCancel(Fl_Widget*, void* form);
  static void OnAccept(Fl_Widget*, void* form);
  static void OnDecline(Fl_Widget*, void* form);
  void Apply();
  void Handle(const WizardOutcome& outcome);

  InstallerWizard& wizard_;
  std::unique_ptr<Fl_Text_Buffer> agreementText_;
  std::unique_ptr<Fl_Double_Window> window_;
  Fl_Group* panels_[4] = {};
  Fl_Button* back_ = nullptr;
  Fl_Button* forward_ = nullptr;
  Fl_Button* cancel_ = nullptr;
  Fl_Round_Button* accept_ = nullptr;
  Fl_Round_Button* decline_ = nullptr;
  Fl_Progress* gauge_ = nullptr;
};

}  // namespace qrvn::installer
