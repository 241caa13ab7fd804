#include "sim/modem/arg_values.h"

namespace quell::sim {

std::optional<uint32_t> ParseCount(const QString& text, uint32_t min, uint32_t max) {
  bool ok = false;
  qulonglong value = text.toULongLong(&ok);
  if (!ok || value < min || value > max) return std::nullopt;
  return uint32_t(value);
}

bool ReadNumbers(const QCommandLineParser& parser, std::span<const NumberOption> options,
                 std::string* error) {
  for (const NumberOption& n : options) {
    const QString name = QString::fromLatin1(n.name);
    if (!parser.isSet(name)) continue;
    const QString text = parser.value(name);
    std::optional<uint32_t> value = ParseCount(text, n.min, n.max);
    if (!value) {
      *error = QStringLiteral("--%1 wants a whole number from %2 to %3, not \"%4\"")
                   .arg(name)
                   .arg(n.min)
                   .arg(n.max)
                   .arg(text)
                   .toStdString();
      return false;
    }
    *n.target = *value;
  }
  return true;
}

std::optional<CallFamily> ParseFamily(const QString& text) {
  if (text == QLatin1String("caret")) return CallFamily::Caret;
  if (text == QLatin1String("ecav")) return CallFamily::Ecav;
  if (text == QLatin1String("wind")) return CallFamily::Wind;
  return std::nullopt;
}

}  // namespace quell::sim
