#pragma once
// The worker thread of one line (placeholder until the thread lands).
namespace quell {

class TLineGSM;

class TMyTimer {
 public:
  virtual ~TMyTimer() = default;
};

}  // namespace quell
