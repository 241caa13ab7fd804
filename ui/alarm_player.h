#pragma once
// Plays "Alarm1.wav" from the working directory through the system's
// "aplay" in a detached process. Never blocks and never reports: a missing
// file or player means silence.
#include <string>

#include "core/alarm_sound.h"

namespace quell {

class AlarmPlayer final : public AlarmSound {
 public:
  explicit AlarmPlayer(std::string workDir);
  void Play() override;  // any thread

 private:
  std::string workDir_;
};

}  // namespace quell
