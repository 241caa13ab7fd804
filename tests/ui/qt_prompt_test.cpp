#include "ui/qt_prompt.h"

#include <gmock/gmock.h>
#include <thread>

namespace quell {
namespace {

// A worker cannot wait for the operator: questions asked off the GUI thread
// get the cautious answer at once instead of blocking or opening a box.
TEST(QtPromptTest, QuestionsFromWorkerThreadsAreDeclinedWithoutBlocking) {
  QtPrompt prompt;
  PromptAnswer yesNo = PromptAnswer::Yes;
  PromptAnswer okCancel = PromptAnswer::Ok;
  std::thread worker([&] {
    yesNo = prompt.Ask("?", "t", PromptButtons::YesNo, PromptIcon::Question);
    okCancel = prompt.Ask("?", "t", PromptButtons::OkCancel, PromptIcon::Stop);
  });
  worker.join();
  EXPECT_EQ(yesNo, PromptAnswer::No);
  EXPECT_EQ(okCancel, PromptAnswer::Cancel);
}

}  // namespace
}  // namespace quell
