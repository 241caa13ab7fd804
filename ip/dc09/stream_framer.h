#pragma once
// Cuts DC-09 frames out of a TCP byte stream. A frame starts at an LF; once
// the 10 bytes after it have come, its CRC form tells where its CR is
// searched from (after the opening quote: a raw CRC byte may be a CR), and
// the frame ends at that CR. Bytes before an LF are dropped; a frame may
// come in pieces and several may come at once. An unfinished frame that
// grows past the limit is discarded and reported as an overflow.
#include <string>
#include <string_view>
#include <vector>

namespace quell {

class Dc09StreamFramer {
 public:
  static constexpr size_t kMaxFrame = 1024;

  struct Piece {
    bool overflow = false;  // an unfinished frame too long, now discarded
    std::string frame;      // LF ... CR
  };

  // The frames (and overflows) completed by these bytes, in order.
  std::vector<Piece> Feed(std::string_view bytes);

 private:
  std::string buffer_;  // from an LF on, no frame's end yet
};

}  // namespace quell
