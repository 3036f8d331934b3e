// SetUp: checks for Vocarda, then runs the wizard that installs the CTI monitor program.
#include <FL/Fl.H>
#include <FL/fl_ask.H>

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "installer/wizard.h"
#include "installer/wizard_form.h"
#include "platform/files.h"
#include "platform/message_box.h"

int main() {
  using namespace qrvn::installer;
  const char* display = std::getenv("DISPLAY");
  bool haveDisplay = display != nullptr && *display != '\0';
  if (haveDisplay) {
    UseWizardFonts();
    qrvn::platform::SetMessageBoxHandler(ShowToolkitMessageBox);
  }
  std::string folder;
  if (!FindVocarda(folder)) {
    qrvn::platform::ShowMessageBox(kVocardaMissingAtStart, kMessageCaption,
                                   qrvn::platform::MessageBoxButtons::Ok,
                                   qrvn::platform::MessageBoxIcon::Warning);
    return 1;
  }
  if (!haveDisplay) {
    std::fputs("SetUp: the wizard needs a graphical display, and DISPLAY is not set\n", stderr);
    return 1;
  }
  try {
    // The payload travels in this program's own file, whatever it is called and wherever
    // it is started from.
    InstallerWizard wizard(qrvn::platform::RunningExecutablePath());
    WizardForm form(wizard);
    form.Show();
    Fl::run();
  } catch (const std::exception& error) {
    fl_message_title(kMessageCaption);
    fl_alert("%s", error.what());
  }
  return 0;
}
