#pragma once
// The Wardex client's requests: calls to place on caller-identification
// lines, answers and hang-ups of ringing calls, and data-call requests.
// Each request is one received chunk; fields are separated by ";". A reply
// is the request itself, ";" and a status token ending in "|". Main thread.
#include <functional>
#include <string>

#include "core/clock.h"
#include "core/trace_view.h"
#include "lines/line_list.h"

namespace quell {

class ClientRequests {
 public:
  using Reply = std::function<void(const std::string& text)>;

  ClientRequests(LineList& lines, TraceView& trace, const Clock& clock);

  // Handles request r; replies go through reply.
  void Handle(const std::string& r, const Reply& reply);

  // A number the modem may dial: digits, "+", "*", "#" and "," only, so a
  // request can neither add its own commands nor dial nothing.
  static bool DialableTarget(const std::string& target);

 private:
  bool DataCallRequest(const std::string& r, const Reply& reply);
  bool DialRequest(const std::string& r, const Reply& reply, int mode, const char* absent);
  bool MonitorRequest(const std::string& r, const Reply& reply);
  void CallControl(const std::string& r);
  void Dial(TLineGSM& line, const std::string& target);

  LineList& lines_;
  TraceView& trace_;
  const Clock& clock_;
};

}  // namespace quell
