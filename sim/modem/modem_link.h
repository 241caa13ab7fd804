#pragma once
// A SimModem on a real serial link: a pseudo-terminal it creates (the
// gateway opens the slave as its port) or a serial device. Bytes read are
// fed to the modem; a timer runs the modem's timed events and writes its
// output back. The gateway may open and close the slave as often as it
// likes; output while it is closed is dropped (see SerialEndpoint).
#include <QObject>
#include <QTimer>
#include <functional>
#include <string>
#include <string_view>

#include "sim/link_file.h"
#include "sim/modem/sim_modem.h"
#include "sim/serial_endpoint.h"

namespace quell::sim {

class ModemLink : public QObject {
 public:
  static constexpr int kPollMs = 20;

  // nowMs empty: a steady millisecond clock.
  explicit ModemLink(ModemOptions options, std::function<uint32_t()> nowMs = {},
                     QObject* parent = nullptr);

  bool OpenPty(std::string* error);
  bool OpenDevice(const std::string& path, std::string* error);
  // The path the gateway opens: the pty slave or the device.
  const std::string& DevicePath() const { return endpoint_.DevicePath(); }
  // A symbolic link linkPath -> DevicePath(), removed with this object.
  bool CreateLink(const std::string& linkPath, std::string* error);

  const SimModem& Modem() const { return modem_; }
  // Runs f(modem) and sends what it made the modem say (or drops it while no
  // peer is there). Use this to trigger actions from outside the link.
  template <class F>
  void With(F f) {
    f(modem_);
    FlushOutput();
  }

  // Sees every chunk: fromGateway for bytes read, else bytes written.
  void SetTrafficObserver(std::function<void(bool fromGateway, std::string_view bytes)> observer) {
    traffic_ = std::move(observer);
  }
  // Runs once, after the gateway's first command line was handled.
  void SetLineUpHandler(std::function<void()> handler) { lineUp_ = std::move(handler); }
  void SetFailureHandler(SerialEndpoint::FailureHandler handler) {
    endpoint_.SetFailureHandler(std::move(handler));
  }

 private:
  void Received(std::string_view bytes);
  void Tick();
  void FlushOutput();

  SimModem modem_;
  SerialEndpoint endpoint_;
  LinkFile link_;
  QTimer timer_;
  std::function<void(bool, std::string_view)> traffic_;
  std::function<void()> lineUp_;
  bool up_ = false;
};

}  // namespace quell::sim
