// Message boxes: the headless answer and installed answerers.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "platform/message_box.h"

namespace qrvn::platform {
namespace {

// Restores the headless behaviour whatever a test installed.
class MessageBoxTest : public ::testing::Test {
 protected:
  void TearDown() override { SetMessageBoxHandler(nullptr); }
};

TEST_F(MessageBoxTest, HeadlessWritesOneLineAndAnswersTheDefault) {
  ::testing::internal::CaptureStderr();
  MessageBoxResult result = ShowMessageBox("Cannot open COM1.", "Qrvn Setup",
                                           MessageBoxButtons::YesNoCancel, MessageBoxIcon::Error);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "MessageBox: Qrvn Setup: Cannot open COM1.\n");
  EXPECT_EQ(result, MessageBoxResult::No);
}

TEST_F(MessageBoxTest, DefaultButtonIsNoForYesNoKindsElseTheFirst) {
  const std::pair<MessageBoxButtons, MessageBoxResult> cases[] = {
      {MessageBoxButtons::Ok, MessageBoxResult::Ok},
      {MessageBoxButtons::OkCancel, MessageBoxResult::Ok},
      {MessageBoxButtons::YesNo, MessageBoxResult::No},
      {MessageBoxButtons::YesNoCancel, MessageBoxResult::No},
      {MessageBoxButtons::RetryCancel, MessageBoxResult::Retry},
      {MessageBoxButtons::AbortRetryIgnore, MessageBoxResult::Abort},
  };
  for (const auto& [buttons, expected] : cases) {
    EXPECT_EQ(DefaultMessageBoxButton(buttons), expected) << static_cast<int>(buttons);
  }
  EXPECT_EQ(static_cast<int>(MessageBoxResult::Yes), 6);  // IDYES, compared as a number
}

TEST_F(MessageBoxTest, InstalledHandlerAnswersUntilReplaced) {
  std::vector<MessageBoxRequest> seen;
  MessageBoxHandler previous = SetMessageBoxHandler([&seen](const MessageBoxRequest& request) {
    seen.push_back(request);
    return MessageBoxResult::Yes;
  });
  EXPECT_FALSE(previous);  // headless before
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ShowMessageBox("Remove the line?", "Lines", MessageBoxButtons::YesNo,
                           MessageBoxIcon::Question),
            MessageBoxResult::Yes);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "Remove the line?");
  EXPECT_EQ(seen[0].caption, "Lines");
  EXPECT_EQ(seen[0].buttons, MessageBoxButtons::YesNo);
  EXPECT_EQ(seen[0].icon, MessageBoxIcon::Question);

  MessageBoxHandler mine = SetMessageBoxHandler(nullptr);
  ASSERT_TRUE(mine);
  EXPECT_EQ(mine(seen[0]), MessageBoxResult::Yes);  // the handler it replaced is handed back
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ShowMessageBox("t", "c", MessageBoxButtons::OkCancel), MessageBoxResult::Ok);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "MessageBox: c: t\n");
}

TEST_F(MessageBoxTest, HandlersMaySwapWhileOtherThreadsShowBoxes) {
  std::atomic<int> answered{0};
  auto counting = [&answered](const MessageBoxRequest&) {
    answered.fetch_add(1);
    return MessageBoxResult::Cancel;
  };
  SetMessageBoxHandler(counting);
  std::vector<std::thread> showers;
  std::atomic<int> cancels{0};
  for (int t = 0; t < 3; ++t) {
    showers.emplace_back([&cancels] {
      for (int i = 0; i < 200; ++i) {
        if (ShowMessageBox("x", "y", MessageBoxButtons::OkCancel) == MessageBoxResult::Cancel) {
          cancels.fetch_add(1);
        }
      }
    });
  }
  for (int i = 0; i < 200; ++i) SetMessageBoxHandler(counting);
  for (auto& shower : showers) shower.join();
  EXPECT_EQ(cancels.load(), 600);
  EXPECT_EQ(answered.load(), 600);
}

}  // namespace
}  // namespace qrvn::platform
