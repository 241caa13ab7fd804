#pragma once
// The diagnostic pane. Any thread may append; once it holds more than 50
// lines its content is handed to the flusher (the daily trace file) and the
// view is emptied.
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace quell {

class TraceView {
 public:
  static constexpr size_t kFlushAbove = 50;

  void Append(std::string line);
  // Hands whatever the view holds (also 50 lines or fewer) to the flusher and
  // empties it: the gateway's last lines reach the file when it stops.
  void FlushAll();
  std::vector<std::string> Lines() const;
  size_t Size() const;

  // Receives the lines of one flush; called with the view's lock held, so
  // flushes from several threads never interleave.
  void SetFlusher(std::function<void(const std::vector<std::string>&)> flusher);
  // Called after every append (any thread), outside the lock.
  using Observer = std::function<void(const std::string&)>;
  void SetObserver(Observer observer);

 private:
  mutable std::mutex lock_;
  std::vector<std::string> lines_;
  std::function<void(const std::vector<std::string>&)> flusher_;
  std::shared_ptr<const Observer> observer_;
};

}  // namespace quell
