#pragma once
// The log of bytes exchanged on a simulated line, one text line per line
// sent: "<< " for bytes from the gateway, ">> " for bytes to it, with
// control bytes escaped so CR and LF show where they are.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quell::sim {

// bytes with \r, \n, \t, \\ and \xNN for the other control and non-ASCII bytes.
std::string EscapeBytes(std::string_view bytes);

// Cuts a byte stream into lines: a line ends at LF, at a CR not followed by
// LF, or at a CR that ends a chunk; a run of bare CR/LF joins the line after
// it. A partial line waits for the next chunk, up to kMaxLine bytes.
class LineCutter {
 public:
  static constexpr size_t kMaxLine = 512;
  std::vector<std::string> Add(std::string_view bytes);

 private:
  std::string partial_;
};

class ExchangeLog {
 public:
  using Sink = std::function<void(const std::string& line)>;
  explicit ExchangeLog(Sink sink) : sink_(std::move(sink)) {}

  void FromGateway(std::string_view bytes) { Write("<< ", from_.Add(bytes)); }
  void ToGateway(std::string_view bytes) { Write(">> ", to_.Add(bytes)); }

 private:
  void Write(const char* prefix, const std::vector<std::string>& lines);

  Sink sink_;
  LineCutter from_, to_;
};

}  // namespace quell::sim
