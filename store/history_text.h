#pragma once
// The stored events as people read them: the quell-events options, and one
// line of text or CSV per event (UTF-8, control bytes as \xNN).
#include <optional>
#include <string>
#include <vector>

#include "core/event_log.h"
#include "store/event_db.h"

namespace quell {

enum class HistoryFormat { Text, Csv };

struct HistoryOptions {
  bool help = false;  // --help or -h: print the usage and exit
  std::string workDir = ".";
  EventQuery query;
  HistoryFormat format = HistoryFormat::Text;
  std::string node;  // a shared history: only this gateway's rows
};

// Parses the command line (without the program name); nullopt with error
// set on a bad option or value.
std::optional<HistoryOptions> ParseHistoryOptions(const std::vector<std::string>& args,
                                                  std::string* error);

// Local time "YYYY-MM-DD[ HH:MM[:SS]]" to UTC milliseconds. With endOfSpan
// the last millisecond of the day, minute or second given (for --until).
std::optional<int64_t> ParseLocalTime(const std::string& text, bool endOfSpan);

// Windows-1251 bytes as UTF-8, bytes below 0x20 and 0x7F as \xNN.
std::string ReadableText(const std::string& bytes);

// The event line of a row: its console entry, else its notice, else the raw bytes.
std::string EventLineOf(const EventRow& row);
// Where the row's entry went: "delivered", "pending", "dropped", "not for console", "-".
const char* FateText(EventFate fate);

// One event a line. In text the console entry is shown without its
// terminators (DC4, CR, LF at its end); CSV keeps them as \x14, \x0D.
std::string HistoryLine(const EventRow& row, HistoryFormat format);
std::string HistoryCsvHeader();
// The column names above the text lines.
std::string HistoryTextHeader();
// What --help prints.
std::string HistoryUsage();

}  // namespace quell
