#include "engine/line_commands.h"

#include <mutex>
#include <optional>

#include "core/cp1251.h"
#include "core/text.h"
#include "engine/engine.h"
#include "lines/line_port.h"
#include "lines/serial_settings.h"
#include "lines/worker.h"

namespace quell {

namespace {

constexpr size_t kContactIdCodeLength = 4;

// The worker reads the line's fields between its waits: a running worker
// is paused while a command changes them, and resumed afterwards.
class WorkerPause {
 public:
  explicit WorkerPause(TLineGSM& line)
      : worker_(line.Worker && !line.Worker->IsSuspended() ? line.Worker.get() : nullptr) {
    if (worker_) worker_->Suspend();
  }
  ~WorkerPause() {
    if (worker_) worker_->Resume();
  }
  WorkerPause(const WorkerPause&) = delete;
  WorkerPause& operator=(const WorkerPause&) = delete;

 private:
  TMyTimer* worker_;
};

TLineGSM* LineAt(Engine& engine, size_t index) {
  LineList& lines = engine.lines();
  return index < lines.Size() ? lines.At(index).Line.get() : nullptr;
}

void TraceNotANumber(Engine& engine, const std::string& text) {
  engine.trace().Append("Exception: '" + text + "' is not a valid integer value");
}

}  // namespace

std::string StorableLineName(std::string_view text) {
  std::string name = Trim(text);
  for (char& c : name)
    if (c == ';') c = '_';
  return name;
}

const std::vector<LineTypeChoice>& LineTypeChoices() {
  static const std::vector<LineTypeChoice> kChoices = {
      {"GSM XCALL", "GSM XCALL"},
      {"GSM Selva universal ", "GSM Selva"},
      {"Sugard MLR2", "MLR"},
      {"Ademco685", "VORTI"},
  };
  return kChoices;
}

std::string LineTypeDisplayName(const std::string& storedType) {
  for (const auto& choice : LineTypeChoices())
    if (choice.storedType == storedType) return choice.displayName;
  return "NONE";
}

std::string LineModeName(int mode) {
  static const std::array<std::string, 5> kNames = {
      W("Тревога"), W("Тревога/Контроль"), W("Мониторинг/Тревога"), W("Постановка"), W("Снятие")};
  return mode >= 0 && mode < int(kNames.size()) ? kNames[size_t(mode)] : std::string();
}

bool AddLine(Engine& engine, std::string_view name) {
  const std::string stored = StorableLineName(name);
  if (stored.empty()) {
    engine.prompt().Ask(W("Имя линии введено неверно"), W(" ОШИБКА при создании новой линии "),
                        PromptButtons::Ok, PromptIcon::Stop);
    return false;
  }
  auto line = std::make_unique<TLineGSM>(engine.clock().TickCount());
  line->LineName = stored;
  line->NoticeQueue = &engine.noticeQueue();
  line->Position = int32_t(engine.lines().Size());
  TLineGSM& added = *engine.lines().Add(stored, std::move(line)).Line;
  engine.CreateLineWorker(added);
  engine.SaveLines();
  Q_EMIT engine.linesChanged();
  return true;
}

int RemoveLine(Engine& engine, size_t index) {
  TLineGSM* line = LineAt(engine, index);
  if (!line) return engine.lines().Size() ? int(engine.lines().Size()) - 1 : -1;
  if (engine.prompt().Ask(W(" Отключить  линию ") + line->LineName + " ?", W(" Удаление  линии "),
                          PromptButtons::OkCancel, PromptIcon::Stop) != PromptAnswer::Ok)
    return int(index);
  // Closing first interrupts a read the worker is blocked in; ending the
  // worker joins its thread before the line it works on goes.
  CloseLinePort(*line);
  line->PortOpen = false;
  line->Started = false;
  if (line->Worker) {
    line->Worker->Terminate();
    line->Worker.reset();
  }
  engine.lines().Remove(index);
  engine.SaveLines();
  Q_EMIT engine.linesChanged();
  const size_t size = engine.lines().Size();
  if (size == 0) return -1;
  return int(index < size ? index : size - 1);
}

namespace {

size_t MoveLine(Engine& engine, size_t from, size_t to) {
  LineList& lines = engine.lines();
  if (from >= lines.Size() || to >= lines.Size() || from == to) return from;
  lines.Move(from, to);
  if (TLineGSM* line = lines.At(to).Line.get()) line->Position = int32_t(to);
  Q_EMIT engine.linesChanged();
  return to;
}

}  // namespace

size_t MoveLineUp(Engine& engine, size_t index) {
  return index == 0 ? index : MoveLine(engine, index, index - 1);
}

size_t MoveLineDown(Engine& engine, size_t index) {
  return MoveLine(engine, index, index + 1);
}

bool RenameLine(Engine& engine, size_t index, std::string_view text) {
  TLineGSM* line = LineAt(engine, index);
  const std::string name = StorableLineName(text);
  if (!line || name.empty()) return false;
  {
    // Key translation finds the line by caption, notices carry LineName.
    WorkerPause pause(*line);
    line->LineName = name;
  }
  engine.lines().At(index).Caption = name;
  engine.SaveLines();
  Q_EMIT engine.linesChanged();
  return true;
}

bool SetLineType(Engine& engine, size_t index, int position) {
  TLineGSM* line = LineAt(engine, index);
  const auto& choices = LineTypeChoices();
  if (!line || position < 0 || position >= int(choices.size())) return false;
  {
    WorkerPause pause(*line);
    line->LineType = choices[size_t(position)].storedType;
    if (!Contains(line->LineType, "GSM")) line->ModemType.clear();
  }
  engine.SaveLines();
  return true;
}

bool ApplyLineSerialChoice(Engine& engine, size_t index, const LineSerialChoice& choice) {
  TLineGSM* line = LineAt(engine, index);
  if (!line) return false;
  {
    WorkerPause pause(*line);
    if (auto notANumber = ApplySerialChoice(*line, choice)) {
      TraceNotANumber(engine, *notANumber);
      return false;
    }
  }
  engine.SaveLines();
  return true;
}

bool SetModemType(Engine& engine, size_t index, const std::string& modemType) {
  TLineGSM* line = LineAt(engine, index);
  if (!line) return false;
  {
    WorkerPause pause(*line);
    line->ModemType = modemType;
  }
  engine.SaveLines();
  return true;
}

bool SetLineMode(Engine& engine, size_t index, int position) {
  TLineGSM* line = LineAt(engine, index);
  if (!line || LineModeName(position).empty()) return false;
  {
    WorkerPause pause(*line);
    line->Mode = position;
  }
  engine.SaveLines();
  return true;
}

bool SetContactIdCode(Engine& engine, size_t index, std::string_view code) {
  TLineGSM* line = LineAt(engine, index);
  if (!line) return false;
  const std::string cut(code.substr(0, kContactIdCodeLength));
  {
    WorkerPause pause(*line);
    line->KeyCodes.fill(cut);
  }
  engine.SaveLines();
  return true;
}

SignalBar SignalBarFor(int level) {
  SignalBar bar;
  if (level == 99) return bar;
  bar.visible = true;
  bar.level = level;
  if (level >= 23)
    bar.rgb = {166, 202, 240};
  else if (level >= 14)
    bar.rgb = {0, 255, 0};
  else if (level >= 5)
    bar.rgb = {255, 255, 0};
  else
    bar.rgb = {255, 0, 0};
  return bar;
}

LineViewData MakeLineView(const LineEntry& entry) {
  LineViewData view;
  view.title = W("Настройки ") + entry.Caption;
  if (!entry.Line) return view;
  const TLineGSM& line = *entry.Line;
  view.typeName = LineTypeDisplayName(line.LineType);
  view.serialSettings = FormatSerialSettings(line);
  view.name = line.LineName;
  view.contactIdCode = line.KeyCodes[0];
  view.modeName = LineModeName(line.Mode);
  view.modemType = line.ModemType;
  {
    std::lock_guard g(line.TextLock);
    view.exchange.assign(line.Messages.Texts.begin(), line.Messages.Texts.end());
  }
  view.exchange.push_back(std::to_string(line.Settings.RxEvent));
  view.modeControlsEnabled = line.LineType == "GSM XCALL";
  view.signal = SignalBarFor(line.SignalLevel);
  return view;
}

}  // namespace quell
