#pragma once
// A role's command line: long options ("--count 5", "-count 5"), flags,
// "-h"/"--help" and positional words, with whole-number values checked
// against their bounds. Errors read "--count wants a whole number from 1
// to 100, not "x"".
#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>

#include "sim/host_port.h"

namespace quell::sim {

class RoleOptions {
 public:
  RoleOptions(std::initializer_list<const char*> valued, std::initializer_list<const char*> flags);

  // args excludes the program and role words.
  bool Parse(const QStringList& args, std::string* error);

  bool Help() const;
  bool IsSet(const char* name) const { return parser_.isSet(QString::fromLatin1(name)); }
  std::optional<QString> Value(const char* name) const;
  QStringList Values(const char* name) const { return parser_.values(QString::fromLatin1(name)); }
  QStringList Positional() const { return parser_.positionalArguments(); }

  // Leaves *target alone when the option is absent; false with the reason
  // when its value is not a whole number in [min, max].
  bool Number(const char* name, uint32_t min, uint32_t max, uint32_t* target,
              std::string* error) const;

 private:
  QCommandLineParser parser_;
};

// The optional positional "[HOST:]PORT" into target (which holds the
// defaults); false with the reason when there are more words or it is bad.
bool ReadTarget(const RoleOptions& o, HostPort& target, std::string* error);

}  // namespace quell::sim
