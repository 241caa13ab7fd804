#include "console/backlog_watch.h"

namespace quell {

void BacklogWatch::Tick(size_t waiting, bool answering) {
  const uint32_t now = clock_.TickCount();
  if (waiting > known_) {
    runs_.push_back({now, waiting - known_});
    if (runs_.size() > kMaxRuns) {
      runs_[runs_.size() - 2].count += runs_.back().count;
      runs_.pop_back();
    }
  } else {
    size_t gone = known_ - waiting;
    while (gone > 0 && !runs_.empty()) {
      const size_t take = std::min(gone, runs_.front().count);
      runs_.front().count -= take;
      gone -= take;
      if (runs_.front().count == 0) runs_.pop_front();
    }
  }
  const bool wasWaiting = known_ > 0;
  known_ = waiting;
  if (waiting == 0) {
    runs_.clear();
    if (wasWaiting) journal_.InsertTop("Events store: no event waits for the console any more");
    return;
  }
  if (!wasWaiting) {
    lastReport_ = now;
    journal_.InsertTop(Line(waiting, answering, false));
    return;
  }
  if (TicksSince(now, lastReport_) < kReportMs) return;
  lastReport_ = now;
  journal_.InsertTop(Line(waiting, answering, true));
}

std::string BacklogWatch::Line(size_t waiting, bool answering, bool withAge) const {
  std::string text = "Events store: " + std::to_string(waiting) +
                     (waiting == 1 ? " event waits" : " events wait") + " for the console";
  if (withAge && !runs_.empty())
    text += ", the oldest for " + Age(TicksSince(clock_.TickCount(), runs_.front().since));
  text += answering ? " (it answers: one goes out a second)" : " (it does not answer)";
  return text;
}

std::string BacklogWatch::Age(uint32_t ms) {
  const uint32_t s = ms / 1000;
  if (s < 60) return std::to_string(s) + " s";
  if (s < 3600) return std::to_string(s / 60) + " min";
  return std::to_string(s / 3600) + " h " + std::to_string(s / 60 % 60) + " min";
}

}  // namespace quell
