#include "lines/line_loader.h"

#include <array>
#include <memory>

#include "core/config/file_names.h"
#include "core/config/sections.h"
#include "core/config/text_file.h"
#include "core/text.h"
#include "lines/serial_settings.h"

namespace quell {

namespace {

// Four blank-separated sub-fields of a record field.
std::array<std::string, 4> SplitFour(const std::string& field) {
  std::array<std::string, 4> parts;
  for (int i = 0; i < 4; ++i) parts[size_t(i)] = FieldAt(field, i + 1, " ");
  return parts;
}

std::string JoinFour(const std::array<std::string, 4>& parts) {
  return parts[0] + " " + parts[1] + " " + parts[2] + " " + parts[3];
}

// A text written into one field: a ";" would split the field and a line
// break would split the record, so the next start-up could not read them.
std::string StorableField(std::string text) {
  for (char& c : text) {
    if (c == ';')
      c = '_';
    else if (c == '\r' || c == '\n')
      c = ' ';
  }
  return text;
}

std::string ConversionError(const std::string& text) {
  return "'" + text + "' is not a valid integer value";
}

}  // namespace

LineListFile LineListFile::InWorkDir(const std::string& workDir) {
  return LineListFile(ConfigPath(workDir, kLineListFileName));
}

std::optional<std::string> ParseLineRecord(const std::string& record, TLineGSM& line,
                                           const LineLoadContext& context) {
  line.LineType = FieldAt(record, 2, ";");
  if (line.IsModemLine()) {
    line.ModemType = FieldAt(record, 7, ";");
    if (context.modemTypes) ApplyModemCommands(line, *context.modemTypes);
  } else {
    line.ModemType.clear();
  }

  const std::string modeText = FieldAt(record, 3, ";");
  const std::optional<int> mode = ToInt(modeText);
  if (!mode) return ConversionError(modeText);
  line.Mode = *mode;
  ParseSerialSettings(line, FieldAt(record, 4, ";"));

  line.LineName = FieldAt(record, 1, ";");
  line.KeyNames = SplitFour(FieldAt(record, 6, ";"));
  line.KeyCodes = SplitFour(FieldAt(record, 8, ";"));
  for (auto& code : line.KeyCodes)
    if (IsFalse(code)) code.clear();

  if (context.lineSet) {
    TraceView discarded;
    ApplyLineSettings(line, *context.lineSet, context.trace ? *context.trace : discarded);
  }
  return std::nullopt;
}

LineLoadResult LoadLineList(LineListFile& file, LineList& lines, const LineLoadContext& context) {
  if (!FileExists(file.Path()) && !WriteTextLines(file.Path(), {})) file.DisableSaving();

  lines.Clear();
  const auto records = ReadTextLines(file.Path());
  if (!records) {
    // Saving now would replace a file whose lines were never seen.
    file.DisableSaving();
    return {LineLoadStatus::Unavailable, {}};
  }

  for (const auto& record : *records) {
    if (Trim(record).size() <= 2) continue;
    auto line = std::make_unique<TLineGSM>(context.nowTick);
    line->NoticeQueue = context.noticeQueue;
    if (auto error = ParseLineRecord(record, *line, context))
      return {LineLoadStatus::BadRecord, std::move(*error)};
    line->Position = int32_t(lines.Size());
    std::string caption = line->LineName;
    TLineGSM& added = *lines.Add(std::move(caption), std::move(line)).Line;
    if (context.createWorker) context.createWorker(added);
  }
  return {LineLoadStatus::Loaded, {}};
}

std::string FormatLineRecord(const std::string& caption, const TLineGSM& line) {
  const std::string modemType = line.IsModemLine() ? line.ModemType : std::string();
  return StorableField(caption) + ";" + StorableField(line.LineType) + ";" +
         std::to_string(line.Mode) + ";" + FormatSerialSettings(line) + ";" +
         (line.Started ? "ONLINE;" : "OFFLINE;") + StorableField(JoinFour(line.KeyNames)) + ";" +
         StorableField(modemType) + ";" + StorableField(JoinFour(line.KeyCodes)) + ";";
}

bool SaveLineList(const LineListFile& file, const LineList& lines) {
  if (!file.SavingEnabled()) return true;
  std::vector<std::string> records;
  records.reserve(lines.Size());
  for (size_t i = 0; i < lines.Size(); ++i) {
    const LineEntry& entry = lines.At(i);
    if (entry.Line) records.push_back(FormatLineRecord(entry.Caption, *entry.Line));
  }
  return WriteTextLines(file.Path(), records);
}

void ApplyLineSettings(TLineGSM& line, const std::vector<std::string>& lineSet, TraceView& trace) {
  TL_SET& s = line.Settings;
  ApplyLineSetSection(lineSet, LineSettingsSectionName(line.LineType, line.Mode),
                      {&s.EvChar, &s.RxEvent, &s.Priority, &s.Timer}, trace);
}

void ApplyModemCommands(TLineGSM& line, const std::vector<std::string>& modemTypes) {
  TATCMD& c = line.Commands;
  ApplyModemTypeSection(
      modemTypes, line.ModemType,
      {&c.Answer, &c.Hangup, &c.Dial, &c.OnBusy, &c.InitStr, &c.InitStr1, &c.InitStr2});
}

void ApplyConsolePortFile(TLineGSM& consoleLine, const ConsolePortFile& file) {
  if (!file.exists) return;
  ParseSerialSettings(consoleLine, file.serialText);
  consoleLine.Settings = TL_SET{20, 0, 1, 750};
  consoleLine.PortOpen = file.online;
}

}  // namespace quell
