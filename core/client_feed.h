#pragma once
// What other parts of the engine may ask of the station client ports: how
// many clients each port has, and a send to its first connection.
#include <functional>
#include <string>

#include "core/notice.h"

namespace quell {

class ClientFeed {
 public:
  virtual ~ClientFeed() = default;
  virtual int WardexClientCount() const = 0;
  // True when a connection took the text; false when none was left to take
  // it (no client, or the only ones were let go for not reading).
  virtual bool SendToFirstWardex(NoticeOrigin origin, const std::string& text) = 0;
  virtual int Console2ClientCount() const = 0;
  virtual void SendToFirstConsole2(const std::string& text) = 0;
  // As SendToFirstConsole2, then tells (main thread, possibly at once)
  // whether every byte left the connection's buffer: false when there was
  // no client, or it went or was let go before.
  virtual void SendToFirstConsole2Tracked(const std::string& text,
                                          std::function<void(bool sent)> sent) {
    const bool any = Console2ClientCount() > 0;
    SendToFirstConsole2(text);
    sent(any);
  }
};

}  // namespace quell
