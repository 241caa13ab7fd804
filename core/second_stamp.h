#pragma once
// A date-time text to the second, formatted once per second: entries in a
// burst share their stamp, and Qt's formatting is the costly part of a
// journal line.
#include <QDateTime>
#include <QString>
#include <string>

namespace quell {

class SecondStamp {
 public:
  explicit SecondStamp(QString format) : format_(std::move(format)) {}
  // at.toString(format) as UTF-8; format must show nothing finer than seconds.
  const std::string& Text(const QDateTime& at);

 private:
  const QString format_;
  qint64 second_ = INT64_MIN;
  int offset_ = 0;
  std::string text_;
};

}  // namespace quell
