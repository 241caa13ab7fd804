#pragma once
// The trace lines for an error that escaped an event handler: the error
// text, and for a timer also "TTimer" and the timer's name.
#include <QObject>
#include <string>
#include <vector>

namespace quell {

std::vector<std::string> EscapedErrorLines(const std::string& what, const QObject* receiver);

}  // namespace quell
