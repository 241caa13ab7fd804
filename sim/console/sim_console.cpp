#include "sim/console/sim_console.h"

#include <algorithm>

namespace quell::sim {
namespace {

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

bool IsLinkTest(ConsoleFormat format, std::string_view text) {
  const std::string_view test =
      format == ConsoleFormat::ContactId ? "1011           @" : "00 OKAY @";
  return TrimRight(text) == test;
}

SimConsole::SimConsole(ConsoleOptions options, std::function<int64_t()> nowMs)
    : options_(options), nowMs_(std::move(nowMs)), startMs_(nowMs_()), framer_(options.format) {
  const bool fromStart = !options_.silentAfter || *options_.silentAfter == 0;
  if ((options_.silentAfter || options_.silentForMs) && fromStart) silenceFrom_ = 0;
}

void SimConsole::Expect(std::string text) {
  ++expected_;
  missing_.push_back(std::move(text));
}

std::string SimConsole::Feed(std::string_view bytes) {
  std::string reply;
  const std::vector<std::string> texts = framer_.Add(bytes);
  if (texts.empty()) return reply;
  const int64_t atMs = nowMs_() - startMs_;
  for (const std::string& text : texts) Take(text, atMs, reply);
  return reply;
}

void SimConsole::Take(std::string text, int64_t atMs, std::string& reply) {
  const bool linkTest = IsLinkTest(options_.format, text);
  ConsoleLine line{std::move(text), linkTest, Answers(atMs), atMs};
  ++seen_;
  if (options_.silentAfter && seen_ == *options_.silentAfter) silenceFrom_ = atMs;
  if (line.answered) {
    reply += kAck;
    ++answered_;
  }
  if (line.linkTest) {
    ++linkTests_;
  } else {
    ++events_;
    auto it = std::find(missing_.begin(), missing_.end(), line.text);
    if (it != missing_.end()) missing_.erase(it);
  }
  if (onLine_) onLine_(line);
  lines_.push_back(std::move(line));
  if (lines_.size() > kMaxKept) lines_.pop_front();
}

bool SimConsole::Answers(int64_t atMs) const {
  if (!silenceFrom_) return true;
  if (!options_.silentForMs) return false;
  return atMs >= *silenceFrom_ + int64_t(*options_.silentForMs);
}

std::vector<std::string> SimConsole::Events() const {
  std::vector<std::string> texts;
  for (const ConsoleLine& line : lines_)
    if (!line.linkTest) texts.push_back(line.text);
  return texts;
}

std::string SimConsole::Summary() const {
  std::string text = "lines " + std::to_string(linkTests_ + events_) + ": link tests " +
                     std::to_string(linkTests_) + ", events " + std::to_string(events_) +
                     ", answered " + std::to_string(answered_) + ", not answered " +
                     std::to_string(Unanswered());
  if (expected_ == 0) return text;
  text += "\nexpected " + std::to_string(expected_) + ", arrived " +
          std::to_string(expected_ - missing_.size());
  for (const std::string& m : missing_) text += "\nmissing: " + m;
  return text;
}

}  // namespace quell::sim
