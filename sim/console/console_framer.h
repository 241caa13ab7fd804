#pragma once
// Cuts the gateway's receiver output into lines, as a console reading its
// serial port does. Contact ID ("Sugard MLR2"): text ended by DC4, where
// extra DC4s make empty lines that are skipped. Ademco: LF, text, CR;
// bytes outside such a frame are ignored and an LF starts a frame afresh.
// A line longer than kMaxLine is noise and is dropped whole.
#include <string>
#include <string_view>
#include <vector>

namespace quell::sim {

enum class ConsoleFormat { ContactId, Ademco };

inline constexpr char kDC4 = 0x14;

class ConsoleFramer {
 public:
  static constexpr size_t kMaxLine = 256;

  explicit ConsoleFramer(ConsoleFormat format) : format_(format) {}

  // The lines completed by these bytes, without their framing.
  std::vector<std::string> Add(std::string_view bytes);

 private:
  void Byte(char c, std::vector<std::string>& lines);
  void Append(char c);

  const ConsoleFormat format_;
  std::string partial_;
  bool inFrame_ = false;   // Ademco: after the LF
  bool overlong_ = false;  // dropping bytes up to the line's end
};

}  // namespace quell::sim
