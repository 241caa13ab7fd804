#include "sim/panel/panel_args.h"

#include <QCommandLineParser>
#include <algorithm>

#include "sim/modem/arg_values.h"
#include "sim/panel/panel_frames.h"

namespace quell::sim {
namespace {

constexpr size_t kMaxCodes = 9;
constexpr size_t kMaxPayload = 64;
constexpr size_t kMaxNumber = 32;

QString Q(const char* text) {
  return QString::fromLatin1(text);
}

// Printable ASCII without blanks and without the frame start "~".
bool IsFrameText(const QString& text) {
  return std::all_of(text.begin(), text.end(), [](QChar c) {
    return c.unicode() > 0x20 && c.unicode() < 0x7F && c != QLatin1Char('~');
  });
}

std::optional<DataDialOutcome> ParseOutcome(const QString& text) {
  static constexpr std::pair<const char*, DataDialOutcome> kOutcomes[] = {
      {"answer", DataDialOutcome::Answer},         {"busy", DataDialOutcome::Busy},
      {"noanswer", DataDialOutcome::NoAnswer},     {"nocarrier", DataDialOutcome::NoCarrier},
      {"nodialtone", DataDialOutcome::NoDialtone}, {"error", DataDialOutcome::Error}};
  for (const auto& [name, outcome] : kOutcomes)
    if (text == Q(name)) return outcome;
  return std::nullopt;
}

// Frame fields: fixed-size frame text ("" when any size up to max will do).
std::optional<std::string> FrameField(const QString& text, size_t size, size_t max = 0) {
  const bool sized = size > 0 ? size_t(text.size()) == size : size_t(text.size()) <= max;
  if (!sized || !IsFrameText(text)) return std::nullopt;
  return text.toStdString();
}

}  // namespace

std::optional<PanelArgs> ParsePanelArgs(QStringList args, std::string* error) {
  const char* valued[] = {"family",     "ring-interval", "ring-count", "dial-outcome",
                          "dial-delay", "drop-after",    "call-in",    "call-in-delay",
                          "account",    "codes",         "extension",  "payload",
                          "frame-gap",  "reply-timeout", "link",       "com"};
  const char* flags[] = {"no-echo", "quiet", "auto-answer", "h", "help"};
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  for (const char* name : valued) parser.addOption(QCommandLineOption(Q(name), Q(""), Q("value")));
  for (const char* name : flags) parser.addOption(QCommandLineOption(Q(name)));
  // "--h" is the frames' H; "-h" keeps its usual meaning.
  std::replace(args.begin(), args.end(), Q("-h"), Q("--help"));
  auto fail = [&](const QString& reason) {
    *error = reason.toStdString();
    return std::nullopt;
  };
  if (!parser.parse(QStringList{Q("panel")} + args)) return fail(parser.errorText());

  PanelArgs out;
  if (parser.isSet(Q("help"))) {
    out.help = true;
    return out;
  }
  const QStringList positional = parser.positionalArguments();
  if (positional.size() != 1) return fail(Q("give one PORT: a device path or \"pty\""));
  out.port = positional.front().toStdString();

  ModemOptions& m = out.modem;
  PanelOptions& p = out.panel;
  uint32_t ringCount = uint32_t(m.ringCount), dropAfter = 0, com = 0;
  const NumberOption numbers[] = {{"ring-interval", 1, kMaxArgMs, &m.ringIntervalMs},
                                  {"ring-count", 1, 1000, &ringCount},
                                  {"dial-delay", 0, kMaxArgMs, &m.dialDelayMs},
                                  {"drop-after", 0, 1000, &dropAfter},
                                  {"call-in-delay", 0, kMaxArgMs, &out.callInDelayMs},
                                  {"frame-gap", 0, kMaxArgMs, &p.frameGapMs},
                                  {"reply-timeout", 1, kMaxArgMs, &p.replyTimeoutMs},
                                  {"com", 1, 256, &com}};
  if (!ReadNumbers(parser, numbers, error)) return std::nullopt;
  m.ringCount = int(ringCount);
  p.dropAfter = int(dropAfter);
  out.com = int(com);

  if (parser.isSet(Q("family"))) {
    std::optional<CallFamily> family = ParseFamily(parser.value(Q("family")));
    if (!family) return fail(Q("--family wants caret, ecav or wind"));
    m.family = *family;
  }
  if (parser.isSet(Q("dial-outcome"))) {
    std::optional<DataDialOutcome> outcome = ParseOutcome(parser.value(Q("dial-outcome")));
    if (!outcome)
      return fail(Q("--dial-outcome wants answer, busy, noanswer, nocarrier, nodialtone or error"));
    p.dialOutcome = *outcome;
  }
  if (parser.isSet(Q("account"))) {
    auto account = FrameField(parser.value(Q("account")), kAccountSize);
    if (!account) return fail(Q("--account wants 4 characters (printable, no blank, no \"~\")"));
    p.account = *account;
  }
  if (parser.isSet(Q("codes"))) {
    const QStringList codes = parser.value(Q("codes")).split(QLatin1Char(','));
    p.codes.clear();
    for (const QString& code : codes) {
      auto field = FrameField(code, kCodeSize);
      if (!field || size_t(codes.size()) > kMaxCodes)
        return fail(Q("--codes wants 1 to 9 codes of 2 characters, comma-separated"));
      p.codes.push_back(*field);
    }
  }
  if (parser.isSet(Q("extension"))) {
    auto extension = FrameField(parser.value(Q("extension")), kExtensionSize);
    if (!extension) return fail(Q("--extension wants 6 characters"));
    p.extension = *extension;
  }
  if (parser.isSet(Q("payload"))) {
    auto payload = FrameField(parser.value(Q("payload")), 0, kMaxPayload);
    if (!payload)
      return fail(Q("--payload wants up to 64 printable characters, no blank or \"~\""));
    p.payload = *payload;
  }
  if (parser.isSet(Q("call-in"))) {
    const QString number = parser.value(Q("call-in"));
    if (size_t(number.size()) > kMaxNumber || !IsFrameText(number))
      return fail(Q("--call-in wants a number of up to 32 characters"));
    out.callIn = number.toStdString();
  }
  p.h = parser.isSet(Q("h"));
  m.autoAnswerData = parser.isSet(Q("auto-answer"));
  m.echo = !parser.isSet(Q("no-echo"));
  out.quiet = parser.isSet(Q("quiet"));
  out.link = parser.value(Q("link")).toStdString();
  return out;
}

const char* PanelHelp() {
  return R"(Usage: quell-sim panel PORT [options]

Plays a GSM modem with a GSM alarm panel on the far end of its data calls.
The modem answers AT commands as the modem role does; a data call (ATD
without ";", or the panel calling in) connects with "CONNECT 9600", and
the panel then sends its frames, one line each, waiting for the gateway's
reply to each: "~" ["H"] account code [extension after code 75] [payload].
It checks every reply's account and checksum (CRC-8/MAXIM, two hex digits)
and reports on stdout what it got and how the gateway ended the call: after
the closing frame the gateway should escape with "+++" between a second of
silence on either side, then send ATH.

PORT is a serial device (/dev/ttyUSB0) or "pty": a pseudo-terminal is made
and its path printed ("COM port device: /dev/pts/7").

Options:
  --account XXXX             the panel's account, 4 characters (default 1234)
                             e.g. --account 0042
  --codes C1,C2,...          the frames' codes, 2 characters each, 1 to 9; the
                             last frame closes the call (default 10,20,30)
                             e.g. --codes 10,75,30
  --extension XXXXXX         6 characters sent after code 75 (default 000000)
  --payload TEXT             sent after every frame's code (default none)
  --h                        frames (and so replies) carry the "H": "~H1234..."
  --frame-gap MS             wait before each frame, after the connection or
                             the previous reply (default 200)
  --reply-timeout MS         the panel hangs up when no reply comes this long
                             (after the closing frame: no end of call) (default
                             10000)
  --drop-after N             the panel hangs up after N replies (default never)
                             e.g. --drop-after 1
  --dial-outcome answer|busy|noanswer|nocarrier|nodialtone|error
                             what the gateway's ATD<number> comes to (default
                             answer: CONNECT 9600)
  --dial-delay MS            time until that outcome (default 2000)
  --call-in NUMBER           the panel calls the gateway once its line is up
                             e.g. --call-in +79001112233
  --call-in-delay MS         wait this long after the line is up (default 1000)
  --auto-answer              answer the panel's call at the first ring even
                             when the gateway left S0=0 (S0=n answers at ring n)
  --ring-interval MS         time between rings (default 3000)
  --ring-count N             rings before the panel gives up (default 10)
  --family caret|ecav|wind   call report family (default caret; data calls
                             report only ^CEND, for caret)
  --no-echo                  start with echo off
  --link PATH                also make the symbolic link PATH -> the device
  --com N                    also print "COM<N>=<device>" for ComPorts.ini
  --quiet                    do not log the exchanged bytes to stderr
  -h, --help                 this text

Examples:
  quell-sim panel pty --com 9
      the gateway dials the panel; three frames, codes 10, 20, 30
  quell-sim panel pty --com 9 --call-in +79001112233 --auto-answer --h
      the panel calls the gateway, frames start "~H"
)";
}

}  // namespace quell::sim
