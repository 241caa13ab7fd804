#pragma once

namespace quell {

// Plays "Alarm1.wav" from the working directory without blocking the caller.
class AlarmSound {
 public:
  virtual ~AlarmSound() = default;
  virtual void Play() = 0;
};

}  // namespace quell
