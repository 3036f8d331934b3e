// Message boxes: one process-wide handler, headless by default.
#include "platform/message_box.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace qrvn::platform {
namespace {

std::mutex& HandlerMutex() {
  static std::mutex mutex;
  return mutex;
}

// The installed handler; empty means headless.
MessageBoxHandler& Handler() {
  static MessageBoxHandler handler;
  return handler;
}

MessageBoxResult Headless(const MessageBoxRequest& request) {
  std::string line = "MessageBox: " + request.caption + ": " + request.text + "\n";
  // One write so that lines of boxes shown by several threads never interleave.
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  return DefaultMessageBoxButton(request.buttons);
}

}  // namespace

MessageBoxResult DefaultMessageBoxButton(MessageBoxButtons buttons) {
  switch (buttons) {
    case MessageBoxButtons::Ok:
    case MessageBoxButtons::OkCancel:
      return MessageBoxResult::Ok;
    case MessageBoxButtons::YesNo:
    case MessageBoxButtons::YesNoCancel:
      return MessageBoxResult::No;
    case MessageBoxButtons::RetryCancel:
      return MessageBoxResult::Retry;
    case MessageBoxButtons::AbortRetryIgnore:
      return MessageBoxResult::Abort;
  }
  return MessageBoxResult::Ok;
}

MessageBoxResult ShowMessageBox(const std::string& text, const std::string& caption,
                                MessageBoxButtons buttons, MessageBoxIcon icon) {
  MessageBoxRequest request{text, caption, buttons, icon};
  // Call a copy outside the lock: a box may stay up for long, and a handler may show
  // another box or replace itself.
  MessageBoxHandler handler;
  {
    std::lock_guard<std::mutex> lock(HandlerMutex());
    handler = Handler();
  }
  if (!handler) return Headless(request);
  return handler(request);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard<std::mutex> lock(HandlerMutex());
  MessageBoxHandler old = std::move(Handler());
  Handler() = std::move(handler);
  return old;
}

}  // namespace qrvn::platform
