#pragma once
// What other parts of the engine may ask of the station client ports: how
// many clients each port has, and a send to its first connection.
#include <string>

namespace quell {

class ClientFeed {
 public:
  virtual ~ClientFeed() = default;
  virtual int WardexClientCount() const = 0;
  virtual void SendToFirstWardex(const std::string& text) = 0;
  virtual int Console2ClientCount() const = 0;
  virtual void SendToFirstConsole2(const std::string& text) = 0;
};

}  // namespace quell
