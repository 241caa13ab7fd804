#include "sim/dc09/dc09_args.h"

#include "core/dc09/aes_cbc.h"
#include "core/hex.h"
#include "sim/role_options.h"

namespace quell::sim {
namespace {

bool IsHex(const QString& text) {
  for (QChar c : text)
    if (!c.isDigit() && !(c >= QLatin1Char('A') && c <= QLatin1Char('F'))) return false;
  return true;
}

// An upper-case hex field of minLen..maxLen digits, after an optional
// prefix letter (so "L0" and "0" both give line 0).
bool ReadHex(const RoleOptions& o, const char* name, QChar prefix, qsizetype minLen,
             qsizetype maxLen, std::string* target, std::string* error) {
  std::optional<QString> text = o.Value(name);
  if (!text) return true;
  QString value = text->toUpper();
  if (!prefix.isNull() && value.startsWith(prefix)) value.remove(0, 1);
  if (value.size() < minLen || value.size() > maxLen || !IsHex(value)) {
    *error = QStringLiteral("--%1 wants %2 to %3 hex digits, not \"%4\"")
                 .arg(QString::fromLatin1(name))
                 .arg(minLen)
                 .arg(maxLen)
                 .arg(*text)
                 .toStdString();
    return false;
  }
  *target = value.toStdString();
  return true;
}

// --key: 32, 48 or 64 hex digits, or 16, 24 or 32 characters (quotes, as
// DC09.ini writes a text key, are dropped).
bool ReadKey(const RoleOptions& o, std::string* key, std::string* error) {
  std::optional<QString> text = o.Value("key");
  if (!text) return true;
  std::string k = text->toStdString();
  if (k.size() >= 2 && k.front() == '"' && k.back() == '"') {
    k = k.substr(1, k.size() - 2);
  } else if (auto bytes = FromHex(k); bytes && AesKeyLengthOk(bytes->size())) {
    k = *bytes;
  }
  if (!AesKeyLengthOk(k.size())) {
    *error = "--key wants 32, 48 or 64 hex digits or a text of 16, 24 or 32 characters, not \"" +
             text->toStdString() + "\"";
    return false;
  }
  *key = k;
  return true;
}

// --account: 1 to 16 letters or digits, kept in upper case.
bool ReadAccount(const RoleOptions& o, std::string* account, std::string* error) {
  std::optional<QString> text = o.Value("account");
  if (!text) return true;
  const QString value = text->toUpper();
  bool ok = !value.isEmpty() && value.size() <= 16;
  for (QChar c : value) ok = ok && c.unicode() < 128 && c.isLetterOrNumber();
  if (!ok) {
    *error = "--account wants 1 to 16 letters or digits, not \"" + text->toStdString() + "\"";
    return false;
  }
  *account = value.toStdString();
  return true;
}

}  // namespace

std::optional<Dc09Args> ParseDc09Args(const QStringList& args, std::string* error) {
  RoleOptions o({"account", "event", "group", "zone", "line", "receiver", "count", "rate", "window",
                 "timeout", "token", "sia", "key", "crc", "sia-data", "pad", "repeat-seq"},
                {"req", "quiet", "tcp", "nul", "no-line", "no-account"});
  if (!o.Parse(args, error)) return std::nullopt;
  Dc09Args out;
  if (o.Help()) {
    out.help = true;
    return out;
  }
  if (!ReadTarget(o, out.target, error)) return std::nullopt;
  Dc09Message& m = out.message;
  if (!ReadAccount(o, &m.account, error) ||
      !ReadHex(o, "line", QLatin1Char('L'), 0, 6, &m.line, error) ||
      !ReadHex(o, "receiver", QLatin1Char('R'), 1, 6, &m.receiver, error) ||
      !ReadHex(o, "event", QChar(), 4, 4, &m.event, error) ||
      !o.Number("group", 0, 99, &m.group, error) || !o.Number("zone", 0, 999, &m.zone, error) ||
      !o.Number("count", 1, 10'000'000, &out.count, error) ||
      !o.Number("window", 1, 4096, &out.window, error) ||
      !o.Number("timeout", 1, 600'000, &out.timeoutMs, error) ||
      !o.Number("repeat-seq", 1, 100, &m.repeats, error))
    return std::nullopt;
  if (std::optional<QString> crc = o.Value("crc")) {
    const QString c = crc->toLower();
    if (c == QLatin1String("hex"))
      m.crc = Dc09CrcForm::Hex;
    else if (c == QLatin1String("raw"))
      m.crc = Dc09CrcForm::Raw;
    else if (c == QLatin1String("hex-cr"))
      m.crc = Dc09CrcForm::HexCr;
    else if (c == QLatin1String("raw-cr"))
      m.crc = Dc09CrcForm::RawCr;
    else {
      *error = "--crc wants hex, raw, hex-cr or raw-cr, not \"" + crc->toStdString() + "\"";
      return std::nullopt;
    }
  }
  if (std::optional<QString> pad = o.Value("pad")) {
    if (*pad != QLatin1String("random") && *pad != QLatin1String("zero")) {
      *error = "--pad wants random or zero, not \"" + pad->toStdString() + "\"";
      return std::nullopt;
    }
    m.randomPad = *pad == QLatin1String("random");
  }
  m.nul = o.IsSet("nul");
  m.hasLine = !o.IsSet("no-line");
  m.hasAccount = !o.IsSet("no-account");
  if (o.IsSet("no-line") && o.Value("line")) {
    *error = "--no-line and --line exclude each other";
    return std::nullopt;
  }
  if (!ReadKey(o, &m.key, error)) return std::nullopt;
  if (std::optional<QString> token = o.Value("token")) {
    m.token = token->toUpper().toStdString();
    if (m.token != "ADM-CID" && m.token != "SIA-DCS" && m.token != "NULL") {
      *error = "--token wants ADM-CID, SIA-DCS or NULL, not \"" + token->toStdString() + "\"";
      return std::nullopt;
    }
  }
  if (std::optional<QString> sia = o.Value("sia")) {
    m.sia = sia->toUpper().toStdString();
    if (m.sia.size() != 2 || m.sia[0] < 'A' || m.sia[0] > 'Z' || m.sia[1] < 'A' || m.sia[1] > 'Z') {
      *error =
          "--sia wants a two-letter SIA event code such as BA, not \"" + sia->toStdString() + "\"";
      return std::nullopt;
    }
    if (!o.Value("token")) m.token = "SIA-DCS";
  }
  if (std::optional<QString> data = o.Value("sia-data")) {
    m.siaData = data->toStdString();
    if (m.siaData.empty() || m.siaData.find_first_of("]\r\n") != std::string::npos) {
      *error =
          "--sia-data wants the data up to ']', without ']', CR or LF, e.g. \"#1234|NBA1/ri2\"";
      return std::nullopt;
    }
    if (o.Value("token") && m.token != "SIA-DCS") {
      *error = "--sia-data goes with the SIA-DCS token";
      return std::nullopt;
    }
    m.token = "SIA-DCS";
  }
  if (!QStringLiteral("136").contains(QChar::fromLatin1(m.event[0]))) {
    *error = "--event wants a qualifier 1, 3 or 6 and a three-digit code, e.g. 1130";
    return std::nullopt;
  }
  if (std::optional<QString> rate = o.Value("rate")) {
    bool ok = false;
    out.rate = rate->toDouble(&ok);
    if (!ok || !(out.rate > 0) || out.rate > 100'000) {
      *error = "--rate wants messages a second, more than 0 and at most 100000, not \"" +
               rate->toStdString() + "\"";
      return std::nullopt;
    }
  }
  if (o.Value("window") && o.Value("rate")) {
    *error = "--window and --rate exclude each other: the rate paces the messages by itself";
    return std::nullopt;
  }
  out.probe = o.IsSet("req");
  out.tcp = o.IsSet("tcp");
  if (out.probe && out.tcp) {
    *error = "--req and --tcp exclude each other: the probe is a datagram";
    return std::nullopt;
  }
  out.quiet = o.IsSet("quiet");
  return out;
}

const char* Dc09Help() {
  return R"(Usage: quell-sim dc09 [HOST:]PORT [options]

Plays an IP communicator sending SIA DC-09 messages ("ADM-CID", "SIA-DCS"
or "NULL") over UDP, one datagram each, or over one TCP connection, and
checks the gateway's replies: an ACK must carry a good CRC and length and
echo the message's header; with a key the reply must be a "*ACK" whose
block decrypts to the receiver's time. The length is checked on the
standard receiver's replies; the fixed "0012" of the ACK without DC09.ini
passes. Default target 127.0.0.1:8005.

A message body looks like
  "ADM-CID"0001L0#1234[#1234|1130 01 015]_12:00:00,01-01-2020
framed as LF, CRC-16 (4 hex digits), length ("0" + 3 hex digits), body, CR.
The timestamp is the current UTC time; sequence numbers run 0001..9999.

Options:
  --token NAME         ADM-CID (default), SIA-DCS or NULL (a link test)
                       e.g. --token NULL
  --sia CODE           SIA-DCS event code, two letters (default BA); sets
                       --token SIA-DCS; group and zone come from --group
                       and --zone ("Nri1/BA15")
                       e.g. --sia FA
  --key KEY            encrypt with AES: 32, 48 or 64 hex digits, or 16, 24
                       or 32 characters in quotes as DC09.ini writes them
                       e.g. --key 000102030405060708090A0B0C0D0E0F
                       e.g. --key '"AAAAAAAAAAAAAAAA"'
  --crc FORM           how the CRC is written: hex (4 hex digits, default),
                       raw (2 raw bytes, high byte first), hex-cr or raw-cr
                       (CRC and length over the body and its closing CR);
                       the reply must come back in the same form
                       e.g. --crc raw
  --nul                a NUL byte after the closing CR, as some modules send
  --pad random         encrypted: random pad characters instead of '0'
  --repeat-seq N       send each message N times with the same sequence, as a
                       panel whose ACK was lost; repeats are made anew (new
                       pad and time stamp); every repeat's ACK counts
                       e.g. --count 5 --repeat-seq 3
  --tcp                send over one TCP connection to PORT (the gateway's
                       DC09.ini TcpPort) instead of datagrams
                       e.g. 127.0.0.1:9009 --tcp
  --account ACCOUNT    account, 1 to 16 letters or digits (default 1234)
                       e.g. --account 5678
  --no-account         leave the account out of the header (the data keeps
                       "#account|"): the receiver serves the data's account
  --sia-data TEXT      SIA-DCS: the data up to ']' exactly as given, instead
                       of "#account|Nri<group>/<code><zone>"; sets --token
                       SIA-DCS
                       e.g. --sia-data '#1234|Nti10:01:00/da08-18-24/ri2/BA5/BR6'
                       e.g. --sia-data '36214|NRP'
  --event QXYZ         Contact ID qualifier (1 new, 3 restore, 6 status) and
                       event code (default 1130: new burglary)
                       e.g. --event 3130
  --group N            group (partition) 0..99 (default 01)
                       e.g. --group 2
  --zone N             zone 0..999 (default 015)
                       e.g. --zone 7
  --line HEX           line number after "L", 0 to 6 hex digits (default 0)
                       e.g. --line 2
                       e.g. --line ''     ("L" with no digits)
  --no-line            leave the "L" field out of the header
  --receiver HEX       receiver number after "R"; left out by default
                       e.g. --receiver 12
  --count N            messages to send (default 1)
                       e.g. --count 100
  --rate PER_SECOND    send at this rate whatever the replies (default: the
                       next message once the previous one was answered or
                       timed out)
                       e.g. --rate 50
  --window N           keep up to N messages waiting for their replies, the
                       next sent as soon as one is settled (default 1); for
                       measuring how many the gateway answers a second
                       e.g. --count 200000 --window 64 --quiet
  --timeout MS         how long a reply may take (default 2000)
                       e.g. --timeout 500
  --req                send the probe "REQ" instead of messages; its answer
                       is two datagrams, the second a single CR
                       e.g. --req --count 3
  --quiet              no line per message, only the summary
  -h, --help           this text

One line per message ("#0001 ACK 0.4 ms", "#0002 DUH 0.3 ms"), then the counts, the reply
times (p50, p90, p99, p99.9, max) and the messages a second from the first
send to the last reply. Exit status 0 when every message got a good
ACK, 1 otherwise, 2 for bad options. Ctrl-C stops early with the summary.

Each wrap of the sequence past 9999 moves the zone on by one, so a long run
holds no two messages a receiver could take for copies of each other.

Examples:
  quell-sim dc09 127.0.0.1:8005 --count 10 --event 1602 --zone 0
      ten periodic test reports, each sent once the previous one is answered
  quell-sim dc09 --account 123F --sia BA --zone 501 \
      --key 000102030405060708090A0B0C0D0E0F
      an encrypted SIA-DCS burglary in zone 501
)";
}

}  // namespace quell::sim
