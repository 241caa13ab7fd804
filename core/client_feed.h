#pragma once
// What other parts of the engine may ask of the station client ports: how
// many clients each port has, and a send to its first connection.
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
};

}  // namespace quell
