#pragma once
// Serial port numbers and the devices behind them. A line names its port
// "COM<n>"; the device opened for it is, in order of precedence:
//   1. a virtual port registered for n (the console's virtual pair),
//   2. the mapping "COM<n>=<device path>" in "ComPorts.ini" of the working
//      directory,
//   3. /dev/ttyS<n-1>.
// Port 0 (never configured) and negative numbers have no device.
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quell {

class TraceView;

class PortNames {
 public:
  static constexpr const char* kFileName = "ComPorts.ini";

  // Reads "ComPorts.ini" from workDir; false (and no mappings) when the
  // file cannot be read.
  bool Load(const std::string& workDir);
  // Takes the mappings from file text: one "COM<n>=<path>" per line, CR LF
  // or LF ends, blanks around name and path ignored, other lines skipped;
  // the first mapping of a number wins.
  void Parse(std::string_view text);

  // The device to open for port n, or nothing when there is none.
  std::optional<std::string> DevicePath(int portNumber) const;

  // Virtual ports win over the file and the default.
  void SetVirtual(int portNumber, std::string devicePath);
  void RemoveVirtual(int portNumber);

  // Port numbers mapped by the file, ascending, with their paths.
  std::map<int, std::string> Mapped() const;

 private:
  mutable std::mutex lock_;  // the console port may register from any thread
  std::map<int, std::string> mapped_;
  std::map<int, std::string> virtual_;
};

// Port number in "COM<n>" (case-insensitive, n >= 1), or nothing.
std::optional<int> ComNumber(std::string_view name);

// "COM<n>" for each serial device of the machine that has hardware behind
// it: /sys/class/tty/ttyS<k> whose "type" attribute is not 0 gives COM<k+1>.
// sysTtyDir is a parameter so tests can hand in a fake tree. Each device
// found is written to trace (as its /dev path) when trace is given.
std::vector<std::string> RealSerialPorts(TraceView* trace,
                                         const std::string& sysTtyDir = "/sys/class/tty");

// The port choice list of the settings dialogs: the names mapped by
// "ComPorts.ini" and the real serial devices, without repeats, sorted as
// text ignoring case (so COM10 comes before COM2). Mapped entries are
// written to trace as "COM<n>=<path>".
std::vector<std::string> PortChoiceList(const PortNames& names, TraceView* trace,
                                        const std::string& sysTtyDir = "/sys/class/tty");

}  // namespace quell
