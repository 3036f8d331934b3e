// Message boxes: every message box of the system goes through ShowMessageBox.
// Without a GUI it writes "MessageBox: <caption>: <text>" to standard error and answers the
// default button; a GUI or a test installs its own handler.
#pragma once

#include <functional>
#include <string>

namespace qrvn::platform {

enum class MessageBoxButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class MessageBoxIcon { None, Information, Warning, Error, Question };
// Values as the Win32 IDOK... identifiers, so that callers may keep comparing numbers.
enum class MessageBoxResult { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

struct MessageBoxRequest {
  std::string text;     // UTF-8
  std::string caption;  // UTF-8
  MessageBoxButtons buttons = MessageBoxButtons::Ok;
  MessageBoxIcon icon = MessageBoxIcon::None;
};

using MessageBoxHandler = std::function<MessageBoxResult(const MessageBoxRequest&)>;

// Shows a message box and returns the button pressed.
MessageBoxResult ShowMessageBox(const std::string& text, const std::string& caption,
                                MessageBoxButtons buttons = MessageBoxButtons::Ok,
                                MessageBoxIcon icon = MessageBoxIcon::None);
// Installs the process-wide handler (a GUI, or a test's answerer); an empty one restores the
// headless behaviour. Returns the handler it replaced.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
// The button a headless box answers: No for the Yes/No kinds, otherwise the first button.
MessageBoxResult DefaultMessageBoxButton(MessageBoxButtons buttons);

}  // namespace qrvn::platform
