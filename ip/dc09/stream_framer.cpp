#include "ip/dc09/stream_framer.h"

namespace quell {

std::vector<Dc09StreamFramer::Piece> Dc09StreamFramer::Feed(std::string_view bytes) {
  std::vector<Piece> pieces;
  while (!bytes.empty()) {
    if (!inFrame_) {
      const size_t lf = bytes.find('\n');
      if (lf == std::string_view::npos) break;
      bytes.remove_prefix(lf);
      inFrame_ = true;
    }
    const size_t cr = bytes.find('\r');
    // The frame's bytes before its CR, so far.
    const size_t open = pending_.size() + (cr == std::string_view::npos ? bytes.size() : cr);
    if (open > kMaxFrame) {
      // Too long for a frame: discarded; the next LF starts the next one.
      // pending_ never holds more than kMaxFrame bytes, so this moves on.
      bytes.remove_prefix(kMaxFrame + 1 - pending_.size());
      pieces.push_back({true, {}});
      pending_.clear();
      inFrame_ = false;
      continue;
    }
    if (cr == std::string_view::npos) {
      pending_.append(bytes);
      break;
    }
    pending_.append(bytes.substr(0, cr + 1));
    bytes.remove_prefix(cr + 1);
    pieces.push_back({false, std::move(pending_)});
    pending_.clear();
    inFrame_ = false;
  }
  return pieces;
}

}  // namespace quell
