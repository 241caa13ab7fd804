#pragma once
// The device end of a serial link the simulator plays on: the master of a
// pseudo-terminal it creates (the peer opens the slave path) or a real
// serial device opened raw. Bytes read go to the receiver; Send() writes.
//
// A pty master reads EIO while no one has the slave open. The read notifier
// is then switched off (it would fire without end) and Service(), which the
// owner calls on a timer, switches it back on once a peer has opened the
// slave. Output sent while no peer is there is dropped, as bytes sent down
// an unplugged cable are lost, so a peer never reads stale replies.
#include <QSocketNotifier>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "lines/pty_pair.h"

namespace quell::sim {

class SerialEndpoint {
 public:
  static constexpr size_t kMaxPending = 65536;  // unwritten output kept at most

  using Receiver = std::function<void(std::string_view bytes)>;
  using FailureHandler = std::function<void(const std::string& reason)>;

  SerialEndpoint() = default;
  ~SerialEndpoint();
  SerialEndpoint(const SerialEndpoint&) = delete;
  SerialEndpoint& operator=(const SerialEndpoint&) = delete;

  void SetReceiver(Receiver receiver) { receiver_ = std::move(receiver); }
  // Called once when a real device fails (unplugged, I/O error).
  void SetFailureHandler(FailureHandler handler) { onFailure_ = std::move(handler); }

  // Creates a pseudo-terminal; DevicePath() is its slave.
  bool OpenPty(std::string* error);
  // Opens a serial device raw at 9600 8N1, exclusively, without flow control.
  bool OpenDevice(const std::string& path, std::string* error);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& DevicePath() const { return path_; }

  // True while a peer can hear: always for a device, while the slave is
  // open for a pty.
  bool PeerPresent() const;
  // Writes bytes (what cannot go at once waits); false when dropped.
  bool Send(std::string_view bytes);
  // Notices a peer that has come, writes waiting output.
  void Service();

 private:
  void Watch();
  void OnReadable();
  void PeerGone();
  void Fail(const std::string& reason);
  void Flush();

  PtyPair pty_;
  int fd_ = -1;  // the pty master (owned by pty_) or the device
  bool isPty_ = false;
  bool peer_ = false;
  std::string path_;
  std::string pending_;
  std::unique_ptr<QSocketNotifier> notifier_;
  Receiver receiver_;
  FailureHandler onFailure_;
};

}  // namespace quell::sim
