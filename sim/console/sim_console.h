#pragma once
// The station's console software on the receiver output line, as pure
// logic: bytes from the gateway go into Feed(), which returns what the
// console answers (an ACK per line, unless it is keeping silent). Lines are
// told apart as link tests and events, and expected event lines can be
// ticked off. Time comes from the injected millisecond clock.
//
// Keeping silent: with silentForMs alone the console is silent for that
// long from its start; with silentAfter N it answers N lines, then is
// silent from the N-th line's arrival, for silentForMs or, without it, for
// good. A line arriving exactly when the silence ends is answered.
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/console/console_framer.h"

namespace quell::sim {

struct ConsoleOptions {
  ConsoleFormat format = ConsoleFormat::ContactId;
  std::optional<uint32_t> silentAfter;  // lines answered before keeping silent
  std::optional<uint32_t> silentForMs;  // how long the silence lasts
};

struct ConsoleLine {
  std::string text;  // without framing
  bool linkTest = false;
  bool answered = false;
  int64_t atMs = 0;  // since the console started
};

// The receiver's link test: "1011           @    " (Contact ID) or
// "00 OKAY @" (Ademco); trailing blanks do not matter.
bool IsLinkTest(ConsoleFormat format, std::string_view text);

class SimConsole {
 public:
  static constexpr char kAck = 0x06;
  static constexpr size_t kMaxKept = 100000;  // Lines() keeps the newest

  SimConsole(ConsoleOptions options, std::function<int64_t()> nowMs);

  // Bytes from the gateway; returns the bytes to send back.
  std::string Feed(std::string_view bytes);

  // Called for every line as it is taken.
  void SetLineHandler(std::function<void(const ConsoleLine&)> handler) {
    onLine_ = std::move(handler);
  }

  // An event line that must arrive (once per call).
  void Expect(std::string text);
  bool AllExpectedArrived() const { return missing_.empty(); }
  const std::vector<std::string>& Missing() const { return missing_; }

  const std::deque<ConsoleLine>& Lines() const { return lines_; }
  std::vector<std::string> Events() const;  // texts of the kept event lines
  uint64_t LinkTests() const { return linkTests_; }
  uint64_t EventCount() const { return events_; }
  uint64_t Answered() const { return answered_; }
  uint64_t Unanswered() const { return linkTests_ + events_ - answered_; }
  // One line of counts, plus the expectations when there are any.
  std::string Summary() const;

 private:
  bool Answers(int64_t atMs) const;
  void Take(std::string text, int64_t atMs, std::string& reply);

  const ConsoleOptions options_;
  const std::function<int64_t()> nowMs_;
  const int64_t startMs_;
  ConsoleFramer framer_;
  std::deque<ConsoleLine> lines_;
  std::optional<int64_t> silenceFrom_;  // since start
  uint64_t seen_ = 0, linkTests_ = 0, events_ = 0, answered_ = 0;
  size_t expected_ = 0;
  std::vector<std::string> missing_;
  std::function<void(const ConsoleLine&)> onLine_;
};

}  // namespace quell::sim
