#pragma once
// The operator's commands on the line list, without their widgets: the
// window collects the choices and calls these on the engine. Each command
// that changes a stored field rewrites the line list file. Main thread.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "lines/line_list.h"
#include "lines/serial_settings.h"

namespace quell {

class Engine;

// A name as stored: trimmed of blanks and control characters, ";" (the
// field separator of the line list file) replaced by "_".
std::string StorableLineName(std::string_view text);

// The line type choices, in the order the window lists them, and the type
// each one stores.
struct LineTypeChoice {
  std::string displayName;
  std::string storedType;
};
const std::vector<LineTypeChoice>& LineTypeChoices();
// The choice text for a stored type; "NONE" for a type not in the table.
std::string LineTypeDisplayName(const std::string& storedType);

// The five mode names for Mode 0..4; empty for any other mode.
std::string LineModeName(int mode);

// "Добавить линию": a GSM line with the defaults, appended, not started.
// An empty name is refused with an error box. True when a line was added.
bool AddLine(Engine& engine, std::string_view name);

// "Удалить линию" after the operator's OK: the port closed, the worker ended,
// the line gone and the list saved. Returns the index to select next (-1 for
// an empty list); index itself when the operator cancelled.
int RemoveLine(Engine& engine, size_t index);

// Moves the line one place; the file is written by the next saved change.
// Returns the line's index afterwards.
size_t MoveLineUp(Engine& engine, size_t index);
size_t MoveLineDown(Engine& engine, size_t index);

// Caption and LineName together; an empty name is refused (false).
bool RenameLine(Engine& engine, size_t index, std::string_view text);

// The type at choice position; -1 (no choice) changes nothing (false). A
// type outside the "GSM" family has no modem type.
bool SetLineType(Engine& engine, size_t index, int position);

// The serial port choices of the line settings, applied item by item (see
// ApplySerialChoice): a text that is not a number stops there with the
// conversion error in the trace, earlier items keep their new values and
// nothing is saved. True when all items were applied and the list saved.
using LineSerialChoice = SerialChoice;
bool ApplyLineSerialChoice(Engine& engine, size_t index, const LineSerialChoice& choice);

bool SetModemType(Engine& engine, size_t index, const std::string& modemType);
// Mode 0..4 at choice position; -1 changes nothing (false).
bool SetLineMode(Engine& engine, size_t index, int position);
// The Contact ID code (at most four characters) into all four key codes.
bool SetContactIdCode(Engine& engine, size_t index, std::string_view code);

// The signal strength bar of the property panel.
struct SignalBar {
  bool visible = false;  // hidden while the level is unknown (99)
  int level = 0;
  std::array<int, 3> rgb{};
};
SignalBar SignalBarFor(int level);

// What the property panel shows for a line. Texts are Windows-1251.
struct LineViewData {
  std::string title;  // "Настройки " + caption
  std::string typeName;
  std::string serialSettings;
  std::string name;
  std::string contactIdCode;
  std::string modeName;  // empty: leave the choice as it was
  std::string modemType;
  std::vector<std::string> exchange;  // "Обмен данными": the eleven messages, then RxEvent
  bool modeControlsEnabled = false;  // mode and code apply to "GSM XCALL" only
  SignalBar signal;
};
LineViewData MakeLineView(const LineEntry& entry);

}  // namespace quell
