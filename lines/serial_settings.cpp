#include "lines/serial_settings.h"

#include <limits>

#include "core/text.h"

namespace quell {

namespace {

// Converts item into target when it fits target's type.
template <typename T>
bool StoreNumber(const std::string& item, T& target) {
  const std::optional<int> value = ToInt(item);
  if (!value) return false;
  if (*value < 0 && !std::numeric_limits<T>::is_signed) return false;
  if (int64_t(*value) > int64_t(std::numeric_limits<T>::max())) return false;
  target = T(*value);
  return true;
}

}  // namespace

std::string FormatSerialSettings(const TLineGSM& line) {
  const TPortConfig& c = line.PortConfig;
  return "COM" + std::to_string(line.PortNumber) + "," + std::to_string(c.BaudRate) + "," +
         std::to_string(c.ByteSize) + "," + std::to_string(c.StopBits) + "," +
         (c.fParity ? "1" : "0") + "," + std::to_string(c.Parity);
}

bool ParseSerialSettings(TLineGSM& line, std::string_view text) {
  TPortConfig& c = line.PortConfig;
  for (int i = 1; i <= 6; ++i) {
    std::string item = FieldAt(text, i, ",");
    if (i == 1) item = FieldAt(item, 2, "COM");
    if (IsFalse(item)) continue;
    bool stored = false;
    switch (i) {
      case 1:
        stored = StoreNumber(item, line.PortNumber);
        break;
      case 2:
        stored = StoreNumber(item, c.BaudRate);
        break;
      case 3:
        stored = StoreNumber(item, c.ByteSize);
        break;
      case 4:
        stored = StoreNumber(item, c.StopBits);
        break;
      case 5: {
        int flag = 0;
        stored = StoreNumber(item, flag);
        if (stored) c.fParity = flag != 0;
        break;
      }
      case 6:
        stored = StoreNumber(item, c.Parity);
        break;
    }
    if (!stored) return false;
  }
  return true;
}

std::optional<std::string> ApplySerialChoice(TLineGSM& line, const SerialChoice& choice) {
  TPortConfig& config = line.PortConfig;
  const std::optional<int> baud = ToInt(choice.baudRate);
  if (!baud) return choice.baudRate;
  config.BaudRate = uint32_t(*baud);
  const std::string portText = FieldAt(choice.port, 2, "COM");
  const std::optional<int> port = ToInt(portText);
  if (!port) return portText;
  line.PortNumber = *port;
  const std::optional<int> bits = ToInt(choice.dataBits);
  if (!bits) return choice.dataBits;
  config.ByteSize = uint8_t(*bits);
  if (choice.stopBitsIndex >= 0) config.StopBits = uint8_t(choice.stopBitsIndex);
  if (choice.parityIndex >= 0) config.Parity = uint8_t(choice.parityIndex);
  if (choice.parityIndex == 0) config.fParity = false;
  return std::nullopt;
}

}  // namespace quell
