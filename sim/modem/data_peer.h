#pragma once
// The far end of the simulated modem's data calls (a device behind another
// modem). The modem owns it and tells it what happens on the call; it talks
// back through the modem's SendData() and RemoteHangup().
#include <string>
#include <string_view>

namespace quell::sim {

// What a data call dialled by the gateway comes to.
enum class DataDialOutcome { Answer, Busy, NoAnswer, NoCarrier, NoDialtone, Error };

// Who ended a data call.
enum class DataCallEnd {
  Gateway,  // ATH after an escape to command mode
  FarEnd,   // the far end hung up (or the caller gave up ringing)
};

class DataPeer {
 public:
  virtual ~DataPeer() = default;

  // The gateway dialled number; decides how the call goes.
  virtual DataDialOutcome Dialled(const std::string& number) = 0;
  // The call is connected and the modem in data mode.
  virtual void Connected(bool gatewayDialled) = 0;
  // Bytes the gateway sent in data mode (a guarded escape never shows here).
  virtual void Received(std::string_view bytes) = 0;
  // The gateway escaped to command mode with the guard time; the call is up.
  virtual void Escaped() = 0;
  virtual void Ended(DataCallEnd end) = 0;
};

}  // namespace quell::sim
