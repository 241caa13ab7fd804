#include "core/notice_field.h"

namespace quell {

std::string NoticeField(std::string_view text, bool keepFinalCr) {
  std::string field(text);
  const size_t end =
      keepFinalCr && !field.empty() && field.back() == '\r' ? field.size() - 1 : field.size();
  for (size_t i = 0; i < end; ++i)
    if (SplitsFields(field[i])) field[i] = '_';
  return field;
}

}  // namespace quell
