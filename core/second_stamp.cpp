#include "core/second_stamp.h"

namespace quell {

const std::string& SecondStamp::Text(const QDateTime& at) {
  const qint64 ms = at.toMSecsSinceEpoch();
  const qint64 second = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
  const int offset = at.offsetFromUtc();
  if (second != second_ || offset != offset_ || text_.empty()) {
    second_ = second;
    offset_ = offset;
    text_ = at.toString(format_).toStdString();
  }
  return text_;
}

}  // namespace quell
