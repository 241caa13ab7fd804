#pragma once
// The line list file "\ConnectionType.ini": one record per line, in display
// order, "name;type;mode;serial settings;ONLINE|OFFLINE;key names;modem
// type;key codes;". Also applies the "\LineSet.ini" and "\ModemType.ini"
// sections to a line while it is loaded. Main thread.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/config/console_port_file.h"
#include "core/shared_list.h"
#include "core/trace_view.h"
#include "lines/line.h"
#include "lines/line_list.h"

namespace quell {

// Where the line list is saved, and whether saving is still allowed this run.
class LineListFile {
 public:
  explicit LineListFile(std::string path) : path_(std::move(path)) {}
  static LineListFile InWorkDir(const std::string& workDir);

  const std::string& Path() const { return path_; }
  bool SavingEnabled() const { return savingEnabled_; }
  void DisableSaving() { savingEnabled_ = false; }

 private:
  std::string path_;
  bool savingEnabled_ = true;
};

struct LineLoadContext {
  NoticeList* noticeQueue = nullptr;                     // every line's NoticeQueue
  const std::vector<std::string>* lineSet = nullptr;     // "\LineSet.ini", null when not read
  const std::vector<std::string>* modemTypes = nullptr;  // "\ModemType.ini", null when not read
  TraceView* trace = nullptr;                            // section headers and RxEvent values
  uint32_t nowTick = 0;                                  // PollTick of the new lines
  // Creates the line's worker, suspended, and stores it in line.Worker.
  std::function<void(TLineGSM&)> createWorker;
};

enum class LineLoadStatus {
  Loaded,       // every record read; the supervision timer may start
  Unavailable,  // the file could neither be read nor created: no lines
  BadRecord,    // a record's mode is not a number: start-up must end
};

struct LineLoadResult {
  LineLoadStatus status = LineLoadStatus::Loaded;
  std::string error;  // the conversion error text for BadRecord
};

// Empties lines and fills it from the file, creating the file empty when it is
// missing. Records of two characters or less (after trimming) are skipped.
LineLoadResult LoadLineList(LineListFile& file, LineList& lines, const LineLoadContext& context);

// Rewrites the file from lines in display order; does nothing (true) while
// saving is disabled. False when the file could not be written.
bool SaveLineList(const LineListFile& file, const LineList& lines);

// One record of the file for a line shown under caption.
std::string FormatLineRecord(const std::string& caption, const TLineGSM& line);

// Fills line from a record (everything except NoticeQueue, Position and the
// worker). Returns the conversion error text when field 3 is not a number;
// the line is then only partly filled.
std::optional<std::string> ParseLineRecord(const std::string& record, TLineGSM& line,
                                           const LineLoadContext& context);

// The line type's section of "\LineSet.ini" into line.Settings, traced.
void ApplyLineSettings(TLineGSM& line, const std::vector<std::string>& lineSet, TraceView& trace);
// The modem type's section of "\ModemType.ini" into line.Commands.
void ApplyModemCommands(TLineGSM& line, const std::vector<std::string>& modemTypes);

// The console port line as "\paramv" sets it at start-up: serial settings,
// the console settings block, and PortOpen for "ONLINE". Nothing when the
// file was missing.
void ApplyConsolePortFile(TLineGSM& consoleLine, const ConsolePortFile& file);

}  // namespace quell
