#include "sim/role_options.h"

namespace quell::sim {

RoleOptions::RoleOptions(std::initializer_list<const char*> valued,
                         std::initializer_list<const char*> flags) {
  parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  for (const char* name : valued)
    parser_.addOption(
        QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("v")));
  for (const char* name : flags) parser_.addOption(QCommandLineOption(QString::fromLatin1(name)));
  parser_.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
}

bool RoleOptions::Parse(const QStringList& args, std::string* error) {
  if (parser_.parse(QStringList{QStringLiteral("role")} + args)) return true;
  *error = parser_.errorText().toStdString();
  return false;
}

bool RoleOptions::Help() const {
  return parser_.isSet(QStringLiteral("help"));
}

std::optional<QString> RoleOptions::Value(const char* name) const {
  const QString option = QString::fromLatin1(name);
  if (!parser_.isSet(option)) return std::nullopt;
  return parser_.value(option);
}

bool RoleOptions::Number(const char* name, uint32_t min, uint32_t max, uint32_t* target,
                         std::string* error) const {
  const std::optional<QString> text = Value(name);
  if (!text) return true;
  bool ok = false;
  const qulonglong value = text->toULongLong(&ok);
  if (!ok || value < min || value > max) {
    *error = QStringLiteral("--%1 wants a whole number from %2 to %3, not \"%4\"")
                 .arg(QString::fromLatin1(name))
                 .arg(min)
                 .arg(max)
                 .arg(*text)
                 .toStdString();
    return false;
  }
  *target = uint32_t(value);
  return true;
}

bool ReadTarget(const RoleOptions& o, HostPort& target, std::string* error) {
  const QStringList positional = o.Positional();
  if (positional.size() > 1) {
    *error = "give at most one [HOST:]PORT";
    return false;
  }
  if (positional.isEmpty()) return true;
  auto parsed = ParseHostPort(positional.front().toStdString(), target.host, error);
  if (!parsed) return false;
  target = *parsed;
  return true;
}

}  // namespace quell::sim
