#pragma once
// A serial device opened for a line (placeholder until the POSIX layer lands).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quell {

class SerialPort {
 public:
  virtual ~SerialPort() = default;
  // Writes all bytes; returns the count written.
  virtual int Write(std::string_view bytes) = 0;
};

}  // namespace quell
