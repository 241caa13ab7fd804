#include "ip/dc09/stream_framer.h"

#include "ip/dc09/standard_frame.h"

namespace quell {

std::vector<Dc09StreamFramer::Piece> Dc09StreamFramer::Feed(std::string_view bytes) {
  std::vector<Piece> pieces;
  buffer_.append(bytes);
  size_t at = 0;  // what is before it is done with
  for (;;) {
    const size_t lf = buffer_.find('\n', at);
    if (lf == std::string::npos) {
      at = buffer_.size();
      break;
    }
    at = lf;
    const size_t have = buffer_.size() - lf;
    if (have < kDc09FormBytes) break;  // the form is not known yet
    const std::string_view frame = std::string_view(buffer_).substr(lf);
    const size_t cr = frame.find('\r', Dc09CrSearchStart(frame));
    // The frame's bytes before its CR, so far.
    const size_t open = cr == std::string_view::npos ? have : cr;
    if (open > kMaxFrame) {
      // Too long for a frame: discarded; the next LF starts the next one.
      pieces.push_back({true, {}});
      at = lf + kMaxFrame + 1;
      continue;
    }
    if (cr == std::string_view::npos) break;
    pieces.push_back({false, std::string(frame.substr(0, cr + 1))});
    at = lf + cr + 1;
  }
  buffer_.erase(0, at);
  return pieces;
}

}  // namespace quell
