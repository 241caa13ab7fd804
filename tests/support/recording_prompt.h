#pragma once
// Answers message boxes with a fixed answer and remembers what was asked.
#include <string>
#include <vector>

#include "core/operator_prompt.h"

namespace quell::test {

class RecordingPrompt final : public OperatorPrompt {
 public:
  struct Question {
    std::string text, caption;
    PromptButtons buttons;
    PromptIcon icon;
  };
  PromptAnswer Ask(const std::string& text, const std::string& caption, PromptButtons buttons,
                   PromptIcon icon) override {
    asked.push_back({text, caption, buttons, icon});
    return answer;
  }
  PromptAnswer answer = PromptAnswer::Ok;
  std::vector<Question> asked;
};

}  // namespace quell::test
