#include "sim/console/console_args.h"

#include "sim/role_options.h"

namespace quell::sim {
namespace {

constexpr uint32_t kMaxMs = 0x7fffffff;

}  // namespace

std::optional<ConsoleArgs> ParseConsoleArgs(const QStringList& args, std::string* error) {
  RoleOptions o({"format", "silent-after", "silent-for", "expect", "duration", "link", "com"}, {});
  if (!o.Parse(args, error)) return std::nullopt;
  ConsoleArgs out;
  if (o.Help()) {
    out.help = true;
    return out;
  }
  const QStringList positional = o.Positional();
  if (positional.size() != 1) {
    *error = "give one PORT: a device path or \"pty\"";
    return std::nullopt;
  }
  out.port = positional.front().toStdString();
  if (std::optional<QString> format = o.Value("format")) {
    if (*format == QStringLiteral("cid")) {
      out.options.format = ConsoleFormat::ContactId;
    } else if (*format == QStringLiteral("ademco")) {
      out.options.format = ConsoleFormat::Ademco;
    } else {
      *error = "--format wants cid or ademco";
      return std::nullopt;
    }
  }
  uint32_t silentAfter = 0, silentFor = 0, com = 0;
  if (!o.Number("silent-after", 0, kMaxMs, &silentAfter, error) ||
      !o.Number("silent-for", 1, kMaxMs, &silentFor, error) ||
      !o.Number("duration", 1, kMaxMs, &out.durationMs, error) ||
      !o.Number("com", 1, 256, &com, error))
    return std::nullopt;
  if (o.IsSet("silent-after")) out.options.silentAfter = silentAfter;
  if (o.IsSet("silent-for")) out.options.silentForMs = silentFor;
  out.com = int(com);
  for (const QString& text : o.Values("expect")) out.expect.push_back(text.toStdString());
  out.link = o.Value("link").value_or(QString()).toStdString();
  return out;
}

const char* ConsoleHelp() {
  return R"(Usage: quell-sim console PORT [options]

Plays the station's console software on the gateway's receiver output: it
reads the event lines and link tests, prints each with a time stamp
("event 5011 181234E13001015", "link test") and answers each line with ACK
(0x06), unless told to keep silent.

PORT is a serial device (/dev/ttyUSB1) or "pty": a pseudo-terminal is made
and its path printed ("COM port device: /dev/pts/7"); point the gateway's
console port at it through ComPorts.ini.

Options:
  --format cid|ademco  what the gateway sends (default cid):
                       cid: "Sugard MLR2" Contact ID lines ended by DC4
                       (0x14), link test "1011           @    ";
                       ademco: LF, line, CR, link test "00 OKAY @"
                       e.g. --format ademco
  --silent-after N     answer N lines, then keep silent (for good, or for
                       --silent-for from the N-th line)
                       e.g. --silent-after 3
  --silent-for MS      keep silent this long: from the start, or from the
                       N-th line of --silent-after; then answer again
                       e.g. --silent-for 30000
  --expect TEXT        an event line that must arrive (may be repeated);
                       the exit status is 0 only when all of them came, and
                       the console ends as soon as they have
                       e.g. --expect "5011 181234E13001015"
  --duration MS        end after this long (default: run until Ctrl-C)
                       e.g. --duration 60000
  --link PATH          also make the symbolic link PATH -> the device
                       (replaced if present, removed on exit)
                       e.g. --link /tmp/quell-console
  --com N              also print "COM<N>=<device>" for ComPorts.ini
                       e.g. --com 5
  -h, --help           this text

A summary of the lines and answers is printed on exit. Exit status 0 (with
--expect: when every expected line came), 1 otherwise, 2 for bad options.

Example:
  quell-sim console pty --com 5 --silent-for 20000 --expect "5011 181234E13001015" --duration 90000
      silent for the first 20 s, so the gateway must keep the event until the
      console answers; succeeds once the event arrives within 90 s
)";
}

}  // namespace quell::sim
