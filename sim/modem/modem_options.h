#pragma once
// How a simulated GSM modem behaves: its call-report family and the timing
// of the calls it plays.
#include <cstdint>
#include <functional>
#include <string>

namespace quell::sim {

// How call progress is reported on the serial link.
enum class CallFamily { Caret, Ecav, Wind };

struct ModemOptions {
  CallFamily family = CallFamily::Caret;
  bool echo = true;                // ATE0/ATE1 (or E0/E1 inside a basic string) change it
  uint32_t ringIntervalMs = 3000;  // RING + CLIP repeat while an incoming call rings
  int ringCount = 10;              // rings before the caller gives up
  uint32_t talkMs = 0;             // answered incoming call: caller hangs up after this; 0 = never
  enum class DialOutcome { Answer, Busy, NoAnswer } dialOutcome = DialOutcome::Answer;
  uint32_t dialDelayMs = 2000;  // ATD...; -> outcome after this long
  uint32_t remoteTalkMs = 0;    // answered dialled call: far end hangs up after this; 0 = never
  int signal = 20;              // what AT+CSQ answers until ReportSignal()
  bool autoAnswerData = false;  // answer data calls at the first ring even with S0=0
  // Service-centre time stamp of a received message ("yy/MM/dd,hh:mm:ss+zz");
  // empty gives a fixed stamp, so tests see stable listings.
  std::function<std::string()> smsStamp;
};

}  // namespace quell::sim
