#include "sim/modem/modem_args.h"

#include <QCommandLineParser>

#include "sim/modem/arg_values.h"

namespace quell::sim {
namespace {

QString Q(const char* text) {
  return QString::fromLatin1(text);
}

template <class T>
struct Choice {
  const char* name;
  T value;
};

template <class T, size_t N>
std::optional<T> ParseChoice(const QString& text, const Choice<T> (&choices)[N]) {
  for (const Choice<T>& c : choices)
    if (text == Q(c.name)) return c.value;
  return std::nullopt;
}

constexpr Choice<ModemOptions::DialOutcome> kOutcomes[] = {
    {"answer", ModemOptions::DialOutcome::Answer},
    {"busy", ModemOptions::DialOutcome::Busy},
    {"noanswer", ModemOptions::DialOutcome::NoAnswer}};

}  // namespace

std::optional<ModemArgs> ParseModemArgs(const QStringList& args, std::string* error) {
  const char* valued[] = {"family",  "ring",         "ring-delay", "ring-interval", "ring-count",
                          "talk",    "dial-outcome", "dial-delay", "remote-talk",   "signal",
                          "service", "sms",          "script",     "link",          "com"};
  const char* flags[] = {"no-echo", "quiet", "help"};
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  for (const char* name : valued) parser.addOption(QCommandLineOption(Q(name), Q(""), Q("value")));
  for (const char* name : flags) parser.addOption(QCommandLineOption(Q(name)));
  parser.addOption(QCommandLineOption(Q("h")));
  auto fail = [&](const QString& reason) {
    *error = reason.toStdString();
    return std::nullopt;
  };
  if (!parser.parse(QStringList{Q("modem")} + args)) return fail(parser.errorText());

  ModemArgs out;
  if (parser.isSet(Q("help")) || parser.isSet(Q("h"))) {
    out.help = true;
    return out;
  }
  const QStringList positional = parser.positionalArguments();
  if (positional.size() != 1) return fail(Q("give one PORT: a device path or \"pty\""));
  out.port = positional.front().toStdString();

  // Numbers: each option with its bounds and where it goes.
  uint32_t ringDelay = 1000, ringCount = uint32_t(out.options.ringCount), com = 0;
  ModemOptions& o = out.options;
  const NumberOption numbers[] = {{"ring-delay", 0, kMaxArgMs, &ringDelay},
                                  {"ring-interval", 1, kMaxArgMs, &o.ringIntervalMs},
                                  {"ring-count", 1, 1000, &ringCount},
                                  {"talk", 0, kMaxArgMs, &o.talkMs},
                                  {"dial-delay", 0, kMaxArgMs, &o.dialDelayMs},
                                  {"remote-talk", 0, kMaxArgMs, &o.remoteTalkMs},
                                  {"com", 1, 256, &com}};
  if (!ReadNumbers(parser, numbers, error)) return std::nullopt;
  o.ringCount = int(ringCount);
  out.com = int(com);

  if (parser.isSet(Q("family"))) {
    std::optional<CallFamily> family = ParseFamily(parser.value(Q("family")));
    if (!family) return fail(Q("--family wants caret, ecav or wind"));
    o.family = *family;
  }
  if (parser.isSet(Q("dial-outcome"))) {
    auto outcome = ParseChoice(parser.value(Q("dial-outcome")), kOutcomes);
    if (!outcome) return fail(Q("--dial-outcome wants answer, busy or noanswer"));
    o.dialOutcome = *outcome;
  }
  o.echo = !parser.isSet(Q("no-echo"));
  out.quiet = parser.isSet(Q("quiet"));
  out.script = parser.value(Q("script")).toStdString();
  out.link = parser.value(Q("link")).toStdString();

  // Start-up actions, parsed as script actions so both take the same values.
  struct Action {
    const char* option;
    uint32_t atMs;
  };
  const Action actions[] = {{"signal", 0}, {"service", 0}, {"sms", 0}, {"ring", ringDelay}};
  for (const Action& a : actions) {
    for (const QString& value : parser.values(Q(a.option))) {
      std::string reason;
      std::optional<ModemStep> step =
          ParseModemAction(std::string(a.option) + " " + value.toStdString(), &reason);
      if (!step)
        return fail(QStringLiteral("--%1: %2").arg(Q(a.option), QString::fromStdString(reason)));
      step->atMs = a.atMs;
      out.steps.push_back(*step);
    }
  }
  if (parser.isSet(Q("signal"))) o.signal = out.steps.front().value;
  return out;
}

const char* ModemHelp() {
  return R"(Usage: quell-sim modem PORT [options]

Plays a GSM modem on a serial line: it answers the gateway's AT commands,
rings with caller ID, answers and dials calls, reports signal and service,
and keeps received text messages for AT+CMGL/AT+CMGR.

PORT is a serial device (/dev/ttyUSB0) or "pty": a pseudo-terminal is made
and its path printed ("COM port device: /dev/pts/7"); point the station's
ComPorts.ini at it.

Times in the start-up actions and the script count from the gateway's first
command (its line coming up), so nothing is lost while no one has the port.

Options:
  --family caret|ecav|wind   how call progress is reported (default caret:
                             ^ORIG/^CONN/^CEND; ecav: *ECAV; wind: +WIND)
                             e.g. --family ecav
  --no-echo                  start with echo off (ATE1 turns it on)
                             e.g. --no-echo
  --ring NUMBER              an incoming call once the gateway's line is up;
                             "" withholds the number
                             e.g. --ring +79001112233
  --ring-delay MS            wait this long after the line is up before
                             ringing (default 1000)
                             e.g. --ring +79001112233 --ring-delay 5000
  --ring-interval MS         time between rings (default 3000)
                             e.g. --ring-interval 1000
  --ring-count N             rings before the caller gives up (default 10)
                             e.g. --ring-count 3
  --talk MS                  the caller hangs up this long after the answer
                             (default: stays until ATH)
                             e.g. --talk 4000
  --dial-outcome answer|busy|noanswer
                             what a dialled number does (default answer)
                             e.g. --dial-outcome busy
  --dial-delay MS            time until the dialled number's outcome
                             (default 2000)
                             e.g. --dial-delay 500
  --remote-talk MS           an answered dialled call is ended by the far end
                             this long after the answer (default: never)
                             e.g. --remote-talk 10000
  --signal N                 signal level 0..31 or 99, reported at the start
                             and answered to AT+CSQ (default 20)
                             e.g. --signal 25
  --service N                service status 0..4 reported at the start
                             e.g. --service 2
  --sms "SENDER BODY"        a message arrives at the start (may be repeated)
                             e.g. --sms "+79001112233 ARM 1"
  --script FILE              timed actions, one per line "<ms> <action> [args]":
                             ring [NUMBER] | hangup | signal N | service N |
                             sms SENDER BODY...; "#" starts a comment line
                             e.g. --script calls.txt with "0 ring +7900111"
                             and "15000 sms +7900111 DISARM"
  --link PATH                also make the symbolic link PATH -> the device
                             (replaced if present, removed on exit)
                             e.g. --link /tmp/modem1
  --com N                    also print "COM<N>=<device>" for ComPorts.ini
                             e.g. --com 8
  --quiet                    do not log the exchanged lines to stderr
  -h, --help                 this text

Without --quiet every line is logged to stderr with a time stamp: "<< " from
the gateway, ">> " to it, control bytes escaped (\r, \n, \xNN).

Example:
  quell-sim modem pty --com 8 --ring +79001112233 --talk 4000
      rings once the gateway's line is up; the call is answered when the
      station client asks; the caller hangs up 4 s after the answer
)";
}

}  // namespace quell::sim
