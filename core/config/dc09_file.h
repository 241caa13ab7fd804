#pragma once
// "\DC09.ini": switches the standard DC-09 receiver on and lists the DC-09
// accounts it serves, each with the console account the console sees and
// an optional AES key.
//   [Receiver]
//   TcpPort=0          ; DC-09 over TCP on this port as well (0: none)
//   AnyAccount=0       ; 1: plain frames from accounts not listed too
//   CheckPlainTime=0   ; 1: plain frames' time stamps get the window too
//   UnmappedSia=750    ; Contact ID code of SIA codes in no table, or DUH
//   [Accounts]
//   AAAA=AAAA
//   123F=123F,000102030405060708090A0B0C0D0E0F
//   BEEF=BEEF,"AAAAAAAAAAAAAAAA"
// A line that does not read is skipped with a journal text naming it.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quell {

inline constexpr std::string_view kDc09FileName = "\\DC09.ini";

struct Dc09Account {
  std::string account;  // DC-09 account, 1-16 letters or digits, upper case (matching ignores case)
  std::string console;  // 4 hex characters, upper case
  std::string key;      // 16, 24 or 32 key bytes; empty: plain frames only
};

struct Dc09Config {
  int tcpPort = 0;
  bool anyAccount = false;
  bool checkPlainTime = false;
  // The Contact ID code an SIA code without a row is forwarded as; nullopt:
  // such an event is answered DUH.
  std::optional<std::string> unmappedSia = std::string(kDefaultUnmappedSia);
  std::vector<Dc09Account> accounts;

  static constexpr std::string_view kDefaultUnmappedSia = "750";

  // The row of a DC-09 account, whatever its case; null when not listed.
  const Dc09Account* Find(std::string_view account) const;
};

struct Dc09File {
  Dc09Config config;
  std::vector<std::string> problems;  // one journal text per skipped line
};

// portsInUse: the gateway's other listening ports; TcpPort may not be one.
Dc09File ParseDc09File(const std::vector<std::string>& lines, const std::vector<int>& portsInUse);

// nullopt when the file is absent (the standard receiver stays off).
std::optional<Dc09File> ReadDc09File(const std::string& workDir,
                                     const std::vector<int>& portsInUse);

}  // namespace quell
