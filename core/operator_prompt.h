#pragma once
// Message boxes as the engine sees them. The window answers with real boxes;
// headless runs and tests answer through their own implementations.
#include <string>

namespace quell {

enum class PromptButtons { Ok, OkCancel, YesNo };
enum class PromptIcon { None, Information, Question, Warning, Stop };
enum class PromptAnswer { Ok, Cancel, Yes, No };

class OperatorPrompt {
 public:
  virtual ~OperatorPrompt() = default;
  // text and caption are Windows-1251.
  virtual PromptAnswer Ask(const std::string& text, const std::string& caption,
                           PromptButtons buttons, PromptIcon icon) = 0;
};

// Answers every question with OK or Yes and writes it to standard output.
class HeadlessPrompt final : public OperatorPrompt {
 public:
  PromptAnswer Ask(const std::string& text, const std::string& caption, PromptButtons buttons,
                   PromptIcon icon) override;
};

}  // namespace quell
