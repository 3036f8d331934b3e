// The installer's window, laid out at fixed pixel positions.
#include "installer/wizard_form.h"

#include <FL/Enumerations.H>
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Progress.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>
#include <FL/fl_ask.H>

#include "installer/pictures.h"

namespace qrvn::installer {
namespace {

constexpr int kWidth = 496;
constexpr int kHeight = 361;
constexpr int kPanelHeight = 312;
constexpr int kTextSize = 11;
constexpr int kTitleSize = 16;
constexpr Fl_Font kFace = FL_HELVETICA;
constexpr Fl_Font kBoldFace = FL_HELVETICA_BOLD;

constexpr const char* kAgreement =
    "ЛИЦЕНЗИОННОЕ СОГЛАШЕНИЕ\n"
    "\n"
    "1. Настоящее соглашение заключается между вами и правообладателем программы "
    "Vocarda CTI (далее — Программа).\n"
    "2. Вы вправе установить Программу на компьютеры, на которых установлена программа "
    "Vocarda, и использовать её для наблюдения за вызовами своей телефонной станции.\n"
    "3. Запрещается продавать, сдавать в аренду или передавать Программу третьим лицам "
    "без письменного согласия правообладателя.\n"
    "4. Программа предоставляется «как есть». Правообладатель не отвечает за убытки, "
    "возникшие в результате использования или невозможности использования Программы.\n"
    "5. Устанавливая Программу, вы подтверждаете, что прочли и принимаете условия "
    "настоящего соглашения. Если вы не согласны с ними, откажитесь от установки.\n";

// Widgets made with new belong to the group being built, which deletes them with itself; the
// analyzer cannot see that hand-over.
// NOLINTBEGIN(clang-analyzer-cplusplus.NewDeleteLeaks)
Fl_Box* Label(int x, int y, int w, const char* text, bool bold = false, int size = kTextSize) {
  auto* box = new Fl_Box(x, y, w, size + 4);
  box->copy_label(text);
  box->labelfont(bold ? kBoldFace : kFace);
  box->labelsize(size);
  box->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
  box->box(FL_NO_BOX);
  return box;
}

Fl_Group* Panel(Fl_Color color) {
  auto* panel = new Fl_Group(0, 0, kWidth, kPanelHeight);
  panel->box(FL_FLAT_BOX);
  panel->color(color);
  return panel;
}

// The white strip with a title and two lines along the top of the inner pages.
void Header(const char* title, const char* line1, const char* line2) {
  auto* strip = new Fl_Box(0, 0, kWidth, 58);
  strip->box(FL_FLAT_BOX);
  strip->color(FL_WHITE);
  new WizardPicture(kWidth - 154, 0, 154, 57, WizardPicture::Kind::Header);
  Label(16, 8, 320, title, true);
  if (line1 != nullptr) Label(28, 24, 320, line1);
  if (line2 != nullptr) Label(28, 38, 320, line2);
  auto* rule = new Fl_Box(0, 58, kWidth, 2);
  rule->box(FL_THIN_DOWN_BOX);
}

}  // namespace

void UseWizardFonts() {
  // The leading character is the toolkit's style mark: ' ' plain, 'B' bold.
  Fl::set_font(FL_HELVETICA, " DejaVu Sans Condensed");
  Fl::set_font(FL_HELVETICA_BOLD, "BDejaVu Sans Condensed");
  Fl::background(240, 240, 240);
  fl_message_font(FL_HELVETICA, kTextSize + 1);
  // Boxes open at their default place instead of under the mouse, clear of the wizard's page.
  fl_message_hotspot(0);
  // The toolkit's own message boxes speak the wizard's language.
  fl_close = "Закрыть";
  fl_cancel = "Отмена";
  fl_yes = "Да";
  fl_no = "Нет";
}

platform::MessageBoxResult ShowToolkitMessageBox(const platform::MessageBoxRequest& request) {
  using platform::MessageBoxButtons;
  using platform::MessageBoxResult;
  fl_message_title(request.caption.c_str());
  const char* text = request.text.c_str();
  // The toolkit places its first button at the right; it is also what Escape answers.
  switch (request.buttons) {
    case MessageBoxButtons::Ok:
      // (X11 defines None as a macro, so the plain kinds are told by what they are not.)
      if (request.icon == platform::MessageBoxIcon::Warning ||
          request.icon == platform::MessageBoxIcon::Error) {
        fl_alert("%s", text);
      } else {
        fl_message("%s", text);
      }
      return MessageBoxResult::Ok;
    case MessageBoxButtons::OkCancel:
      return fl_choice("%s", "Отмена", "OK", nullptr, text) == 1 ? MessageBoxResult::Ok
                                                                 : MessageBoxResult::Cancel;
    case MessageBoxButtons::YesNo:
      return fl_choice("%s", "Нет", "Да", nullptr, text) == 1 ? MessageBoxResult::Yes
                                                              : MessageBoxResult::No;
    case MessageBoxButtons::YesNoCancel: {
      int pressed = fl_choice("%s", "Отмена", "Нет", "Да", text);
      return pressed == 2   ? MessageBoxResult::Yes
             : pressed == 1 ? MessageBoxResult::No
                            : MessageBoxResult::Cancel;
    }
    case MessageBoxButtons::RetryCancel:
      return fl_choice("%s", "Отмена", "Повтор", nullptr, text) == 1 ? MessageBoxResult::Retry
                                                                     : MessageBoxResult::Cancel;
    case MessageBoxButtons::AbortRetryIgnore: {
      int pressed = fl_choice("%s", "Прервать", "Повтор", "Пропустить", text);
      return pressed == 2   ? MessageBoxResult::Ignore
             : pressed == 1 ? MessageBoxResult::Retry
                            : MessageBoxResult::Abort;
    }
  }
  return platform::DefaultMessageBoxButton(request.buttons);
}

WizardForm::WizardForm(InstallerWizard& wizard)
    : wizard_(wizard), agreementText_(std::make_unique<Fl_Text_Buffer>()) {
  window_ = std::make_unique<Fl_Double_Window>(kWidth, kHeight, kMessageCaption);
  window_->labelfont(kFace);
  window_->labelsize(kTextSize);

  // Welcome.
  panels_[0] = Panel(FL_WHITE);
  new WizardPicture(0, 0, 162, kPanelHeight, WizardPicture::Kind::Side);
  Label(176, 16, 310, "Вас приветствует мастер ", true, kTitleSize);
  Label(176, 38, 310, "установки Vocarda CTI", true, kTitleSize);
  Label(176, 80, 310, "Эта программа установит Vocarda CTI на ваш");
  Label(176, 95, 310, "компьютер.");
  Label(176, 125, 310, "Нажмите кнопку \"Далее\", чтобы продолжить ");
  Label(176, 140, 310, "установку программы.");
  panels_[0]->end();

  // Agreement.
  panels_[1] = Panel(FL_BACKGROUND_COLOR);
  Header("Лицензионное соглашение", "Прочтите условия лицензионного соглашения",
         "перед установкой Vocarda CTI");
  auto* memo = new Fl_Text_Display(23, 89, 453, 130);
  agreementText_->text(kAgreement);
  memo->buffer(agreementText_.get());
  memo->textfont(kFace);
  memo->textsize(kTextSize);
  memo->wrap_mode(Fl_Text_Display::WRAP_AT_BOUNDS, 0);
  memo->box(FL_DOWN_BOX);
  Label(23, 226, 465,
        "Если вы принимаете условия соглашения, выберите первый вариант из предложенных");
  Label(23, 240, 465,
        "ниже. Это необходимо для установки программы. Нажмите на кнопку \"Далее\", чтобы");
  Label(23, 254, 465, "продолжить установку программы.");
  accept_ = new Fl_Round_Button(23, 274, 453, 17, "Я принимаю условия Лицензионного соглашения");
  decline_ =
      new Fl_Round_Button(23, 292, 453, 17, "Я не принимаю условия Лицензионного соглашения");
  for (Fl_Round_Button* option : {accept_, decline_}) {
    option->type(FL_RADIO_BUTTON);
    option->labelfont(kFace);
    option->labelsize(kTextSize);
  }
  accept_->callback(OnAccept, this);
  decline_->callback(OnDecline, this);
  panels_[1]->end();

  // Copying.
  panels_[2] = Panel(FL_BACKGROUND_COLOR);
  Header("Подождите... Идёт копирование файлов", nullptr, nullptr);
  gauge_ = new Fl_Progress(64, 167, 367, 26);
  gauge_->minimum(0);
  gauge_->maximum(100);
  gauge_->selection_color(fl_rgb_color(6, 176, 37));
  gauge_->color(fl_rgb_color(230, 230, 230));
  panels_[2]->end();

  // Finish.
  panels_[3] = Panel(FL_WHITE);
  new WizardPicture(0, 0, 162, kPanelHeight, WizardPicture::Kind::Side);
  Label(176, 16, 310, "Завершение мастера установки", true, kTitleSize);
  Label(176, 38, 310, "Vocarda CTI", true, kTitleSize);
  Label(176, 80, 310, "Установка Vocarda CTI выполнена");
  Label(176, 110, 310, "Нажмите кнопку \"Готово\" для выхода из программы");
  Label(176, 125, 310, "установки");
  panels_[3]->end();

  auto* rule = new Fl_Box(0, kPanelHeight, kWidth, 2);
  rule->box(FL_THIN_DOWN_BOX);
  back_ = new Fl_Button(242, 324, 75, 25, "< Назад");
  forward_ = new Fl_Button(323, 324, 75, 25);
  cancel_ = new Fl_Button(411, 324, 75, 25, "Отмена");
  for (Fl_Button* button : {back_, forward_, cancel_}) {
    button->labelfont(kFace);
    button->labelsize(kTextSize);
  }
  back_->callback(OnBack, this);
  forward_->callback(OnForward, this);
  cancel_->callback(OnCancel, this);
  window_->end();
  window_->size_range(kWidth, kHeight, kWidth, kHeight);
  Apply();
}

// NOLINTEND(clang-analyzer-cplusplus.NewDeleteLeaks)

WizardForm::~WizardForm() = default;

void WizardForm::Show() {
  window_->position((Fl::w() - kWidth) / 2, (Fl::h() - kHeight) / 2);
  window_->show();
}

void WizardForm::Apply() {
  for (int i = 0; i < 4; ++i) {
    if (wizard_.PanelVisible(static_cast<WizardPanel>(i))) {
      panels_[i]->show();
    } else {
      panels_[i]->hide();
    }
  }
  if (wizard_.BackVisible()) {
    back_->show();
  } else {
    back_->hide();
  }
  if (wizard_.ForwardEnabled()) {
    forward_->activate();
  } else {
    forward_->deactivate();
  }
  forward_->copy_label(wizard_.ForwardCaption().c_str());
  accept_->value(wizard_.AcceptSelected() ? 1 : 0);
  decline_->value(wizard_.AcceptSelected() ? 0 : 1);
  gauge_->value(static_cast<float>(wizard_.Gauge()));
  window_->redraw();
}

void WizardForm::Handle(const WizardOutcome& outcome) {
  Apply();
  if (outcome.result == WizardResult::Close) {
    window_->hide();
  } else if (outcome.result == WizardResult::Failed) {
    // The error stops the installation where it is; the window stays for Cancel.
    Fl::flush();
    fl_message_title(kMessageCaption);
    fl_alert("%s", outcome.error.c_str());
  }
}

void WizardForm::OnForward(Fl_Widget*, void* form) {
  auto* self = static_cast<WizardForm*>(form);
  self->Handle(self->wizard_.Forward());
}

void WizardForm::OnBack(Fl_Widget*, void* form) {
  auto* self = static_cast<WizardForm*>(form);
  self->wizard_.Back();
  self->Apply();
}

void WizardForm::OnCancel(Fl_Widget*, void* form) {
  static_cast<WizardForm*>(form)->window_->hide();
}

void WizardForm::OnAccept(Fl_Widget*, void* form) {
  auto* self = static_cast<WizardForm*>(form);
  self->wizard_.Accept();
  self->Apply();
}

void WizardForm::OnDecline(Fl_Widget*, void* form) {
  auto* self = static_cast<WizardForm*>(form);
  self->wizard_.Decline();
  self->Apply();
}

}  // namespace qrvn::installer
