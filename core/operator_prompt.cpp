#include "core/operator_prompt.h"

#include <cstdio>

#include "core/cp1251.h"

namespace quell {

PromptAnswer HeadlessPrompt::Ask(const std::string& text, const std::string& caption,
                                 PromptButtons buttons, PromptIcon) {
  std::printf("[%s] %s\n", Cp1251ToUtf8(caption).c_str(), Cp1251ToUtf8(text).c_str());
  std::fflush(stdout);
  return buttons == PromptButtons::YesNo ? PromptAnswer::Yes : PromptAnswer::Ok;
}

}  // namespace quell
