// The operator's line commands over a started engine: what each one changes
// in the list and what reaches the line list file.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <functional>

#include "core/config/text_file.h"
#include "core/cp1251.h"
#include "core/text.h"
#include "engine/engine.h"
#include "engine/line_commands.h"
#include "lines/line_port.h"
#include "lines/serial_settings.h"
#include "lines/worker.h"
#include "tests/support/fake_clock.h"
#include "tests/support/pty_pair.h"
#include "tests/support/recording_prompt.h"

namespace quell {
namespace {

class QuietSound final : public AlarmSound {
 public:
  void Play() override {}
};

std::string Record(const std::string& name, const std::string& type = "GSM",
                   const std::string& serial = "COM1,9600,7,1,1,2") {
  return name + ";" + type + ";0;" + serial + ";OFFLINE;KEY_01 KEY_02 KEY_03 KEY_04;SIM800;   ;";
}

class LineCommandsTest : public ::testing::Test {
 protected:
  // Starts the engine with these records in the line list file.
  void Start(const std::vector<std::string>& records, const std::string& comPorts = {}) {
    ASSERT_TRUE(WriteTextLines(Path("ConnectionType.ini"), records));
    if (!comPorts.empty()) {
      ASSERT_TRUE(WriteTextLines(Path("ComPorts.ini"), {comPorts}));
    }
    Launch();
  }
  // A new engine over the files as they are now, as at a program start.
  void Launch() {
    engine_.reset();
    const EngineOptions options{dir_.path().toStdString(), PortSettings::AnyFree()};
    engine_ = std::make_unique<Engine>(clock_, prompt_, sound_, options);
    std::string error;
    ASSERT_TRUE(engine_->Start(&error)) << error;
  }
  std::string Path(const char* name) const {
    return dir_.filePath(QString::fromLatin1(name)).toStdString();
  }
  std::vector<std::string> Saved() const {
    return ReadTextLines(Path("ConnectionType.ini")).value_or(std::vector<std::string>{});
  }
  std::vector<std::string> Captions() {
    std::vector<std::string> captions;
    for (size_t i = 0; i < engine_->lines().Size(); ++i)
      captions.push_back(engine_->lines().At(i).Caption);
    return captions;
  }
  TLineGSM& Line(size_t i) { return *engine_->lines().At(i).Line; }

  QTemporaryDir dir_;
  test::FakeClock clock_;
  test::RecordingPrompt prompt_;
  QuietSound sound_;
  std::unique_ptr<Engine> engine_;
};

TEST_F(LineCommandsTest, AddLine) {
  struct Case {
    const char* typed;
    const char* stored;  // nullptr: refused
  } cases[] = {
      {"  North\t\r\n", "North"},
      {"a;b;c", "a_b_c"},
      {" \t\x01 ", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    Start({Record("L1")});
    prompt_.asked.clear();
    EXPECT_EQ(AddLine(*engine_, c.typed), c.stored != nullptr);
    if (!c.stored) {
      EXPECT_EQ(engine_->lines().Size(), 1u);
      ASSERT_EQ(prompt_.asked.size(), 1u);
      EXPECT_EQ(prompt_.asked[0].text, W("Имя линии введено неверно"));
      EXPECT_EQ(prompt_.asked[0].caption, W(" ОШИБКА при создании новой линии "));
      EXPECT_EQ(prompt_.asked[0].icon, PromptIcon::Stop);
      continue;
    }
    ASSERT_EQ(engine_->lines().Size(), 2u);
    const LineEntry& entry = engine_->lines().At(1);
    EXPECT_EQ(entry.Caption, c.stored);
    EXPECT_EQ(entry.Line->LineName, c.stored);
    EXPECT_EQ(entry.Line->NoticeQueue, &engine_->noticeQueue());
    ASSERT_NE(entry.Line->Worker, nullptr);
    EXPECT_TRUE(entry.Line->Worker->IsSuspended());
    EXPECT_FALSE(entry.Line->Started);
    EXPECT_EQ(Saved(), (std::vector<std::string>{
                           Record("L1"), std::string(c.stored) +
                                             ";GSM;0;COM0,19200,8,0,0,0;OFFLINE;KEY_01 KEY_02 "
                                             "KEY_03 KEY_04;UNKNOWN;   ;"}));
  }
}

TEST_F(LineCommandsTest, RemoveLineAsksAndSelectsANeighbour) {
  struct Case {
    size_t count, removed;
    int next;
    PromptAnswer answer;
  } cases[] = {{3, 0, 0, PromptAnswer::Ok},
               {3, 1, 1, PromptAnswer::Ok},
               {3, 2, 1, PromptAnswer::Ok},
               {1, 0, -1, PromptAnswer::Ok},
               {2, 1, 1, PromptAnswer::Cancel}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.count) + " remove " + std::to_string(c.removed));
    std::vector<std::string> records, remaining;
    for (size_t i = 0; i < c.count; ++i) {
      records.push_back(Record("L" + std::to_string(i)));
      if (i != c.removed || c.answer != PromptAnswer::Ok) remaining.push_back(records.back());
    }
    Start(records);
    prompt_.asked.clear();
    prompt_.answer = c.answer;
    EXPECT_EQ(RemoveLine(*engine_, c.removed), c.next);
    ASSERT_EQ(prompt_.asked.size(), 1u);
    EXPECT_EQ(prompt_.asked[0].text, W(" Отключить  линию L") + std::to_string(c.removed) + " ?");
    EXPECT_EQ(prompt_.asked[0].caption, W(" Удаление  линии "));
    EXPECT_EQ(Saved(), remaining);
  }
}

TEST_F(LineCommandsTest, RemovingALineWhoseWorkerWaitsOnItsPortDoesNotHang) {
  test::PtyMaster device;
  ASSERT_TRUE(device.Ok()) << device.Error();
  Start({Record("P", "MLR", "COM7,19200,8,0,0,0")}, "COM7=" + device.SlavePath());
  TLineGSM& line = Line(0);
  ASSERT_TRUE(OpenLinePort(line, engine_->portNames(), clock_));
  line.Settings.RxEvent = 1;  // waits for input on the port
  line.Worker->Resume();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RemoveLine(*engine_, 0), -1);
  const auto took = std::chrono::steady_clock::now() - start;
  // Closing the port cuts the wait short instead of letting it run out.
  EXPECT_LT(took, std::chrono::milliseconds(TMyTimer::kSerialWaitBoundMs));
  EXPECT_EQ(engine_->lines().Size(), 0u);
  EXPECT_TRUE(Saved().empty());
}

TEST_F(LineCommandsTest, MoveLineChangesOnlyTheOrderInMemory) {
  struct Case {
    bool up;
    size_t from, to;
    std::vector<std::string> order;
  } cases[] = {
      {true, 0, 0, {"A", "B", "C"}},  {false, 2, 2, {"A", "B", "C"}}, {true, 1, 0, {"B", "A", "C"}},
      {false, 0, 1, {"B", "A", "C"}}, {false, 1, 2, {"A", "C", "B"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.from) + (c.up ? " up" : " down"));
    Start({Record("A"), Record("B"), Record("C")});
    const auto before = Saved();
    const size_t to = c.up ? MoveLineUp(*engine_, c.from) : MoveLineDown(*engine_, c.from);
    EXPECT_EQ(to, c.to);
    EXPECT_EQ(Captions(), c.order);
    EXPECT_EQ(Line(to).Position, int(to));
    EXPECT_EQ(Saved(), before);
  }
}

TEST_F(LineCommandsTest, RenameChangesCaptionAndLineNameTogether) {
  struct Case {
    const char* typed;
    const char* name;
    bool renamed;
  } cases[] = {{"  East ", "East", true}, {"x;y", "x_y", true}, {" \t ", "L1", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    Start({Record("L1")});
    EXPECT_EQ(RenameLine(*engine_, 0, c.typed), c.renamed);
    EXPECT_EQ(engine_->lines().At(0).Caption, c.name);
    EXPECT_EQ(Line(0).LineName, c.name);
    EXPECT_EQ(FieldAt(Saved().at(0), 1, ";"), c.name);
  }
}

TEST_F(LineCommandsTest, LineTypeChoice) {
  struct Case {
    int position;
    const char* type;
    const char* modemType;
    const char* shown;
  } cases[] = {
      {0, "GSM XCALL", "SIM800", "GSM XCALL"}, {1, "GSM Selva", "SIM800", "GSM Selva universal "},
      {2, "MLR", "", "Sugard MLR2"},           {3, "VORTI", "", "Ademco685"},
      {-1, "GSM", "SIM800", "NONE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.position);
    Start({Record("L1")});
    EXPECT_EQ(SetLineType(*engine_, 0, c.position), c.position >= 0);
    EXPECT_EQ(Line(0).LineType, c.type);
    EXPECT_EQ(Line(0).ModemType, c.modemType);
    EXPECT_EQ(FieldAt(Saved().at(0), 2, ";"), c.type);
    EXPECT_EQ(LineTypeDisplayName(Line(0).LineType), c.shown);
  }
}

TEST_F(LineCommandsTest, SerialChoiceStopsAtTheFirstTextThatIsNotANumber) {
  // The line starts at COM1, 9600 baud, 7 bits, stop code 1, parity on, code 2.
  struct Case {
    LineSerialChoice choice;
    const char* settings;  // after the command
    const char* traced;    // nullptr: applied and saved
  } cases[] = {
      {{"COM3", "x", "8", 2, 0}, "COM1,9600,7,1,1,2", "x"},
      {{"COM3", "19200", "8", 2, 0}, "COM3,19200,8,2,0,0", nullptr},
      {{"COMz", "19200", "8", 2, 0}, "COM1,19200,7,1,1,2", "z"},
      {{"3", "19200", "8", 2, 0}, "COM1,19200,7,1,1,2", "FALSE"},
      {{"COM3", "19200", "", 2, 0}, "COM3,19200,7,1,1,2", ""},
      {{"COM3", "19200", "8", 0, -1}, "COM3,19200,8,0,1,2", nullptr},
      {{"COM3", "19200", "8", 0, 1}, "COM3,19200,8,0,1,1", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings);
    Start({Record("L1")});
    const auto before = Saved();
    EXPECT_EQ(ApplyLineSerialChoice(*engine_, 0, c.choice), c.traced == nullptr);
    EXPECT_EQ(FormatSerialSettings(Line(0)), c.settings);
    if (c.traced) {
      EXPECT_EQ(engine_->trace().Lines().back(),
                std::string("Exception: '") + c.traced + "' is not a valid integer value");
      EXPECT_EQ(Saved(), before);
    } else {
      EXPECT_EQ(FieldAt(Saved().at(0), 4, ";"), c.settings);
    }
  }
}

TEST_F(LineCommandsTest, FieldCommandsWriteTheirRecordField) {
  struct Case {
    const char* what;
    std::function<bool(Engine&)> command;
    int field;
    const char* stored;
    bool done = true;
  } cases[] = {
      {"code", [](Engine& e) { return SetContactIdCode(e, 0, "E130"); }, 8, "E130 E130 E130 E130"},
      {"long code", [](Engine& e) { return SetContactIdCode(e, 0, "E1309"); }, 8,
       "E130 E130 E130 E130"},
      {"mode", [](Engine& e) { return SetLineMode(e, 0, 4); }, 3, "4"},
      {"modem", [](Engine& e) { return SetModemType(e, 0, "M35"); }, 7, "M35"},
      {"no mode", [](Engine& e) { return SetLineMode(e, 0, -1); }, 3, "0", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Start({Record("L1")});
    EXPECT_EQ(c.command(*engine_), c.done);
    EXPECT_EQ(FieldAt(Saved().at(0), c.field, ";"), c.stored);
  }
}

TEST_F(LineCommandsTest, EverySavedChangeIsThereAfterARestart) {
  Start({Record("L1"), Record("L2")});
  ASSERT_TRUE(AddLine(*engine_, "L3"));
  ASSERT_TRUE(RenameLine(*engine_, 0, "North"));
  ASSERT_TRUE(SetLineType(*engine_, 1, 0));  // "GSM XCALL"
  ASSERT_TRUE(ApplyLineSerialChoice(*engine_, 1, {"COM5", "38400", "7", 2, 2}));
  ASSERT_TRUE(SetModemType(*engine_, 1, "M35"));
  ASSERT_TRUE(SetLineMode(*engine_, 1, 2));
  ASSERT_TRUE(SetContactIdCode(*engine_, 1, "E130"));
  auto views = [this] {
    std::vector<std::string> shown;
    for (size_t i = 0; i < engine_->lines().Size(); ++i) {
      const LineViewData v = MakeLineView(engine_->lines().At(i));
      shown.push_back(v.title + "|" + v.typeName + "|" + v.serialSettings + "|" + v.name + "|" +
                      v.contactIdCode + "|" + v.modeName + "|" + v.modemType);
    }
    return shown;
  };
  const std::vector<std::string> before = views();
  Launch();
  EXPECT_EQ(views(), before);
  EXPECT_EQ(before.at(1),
            W("Настройки L2|GSM XCALL|COM5,38400,7,2,1,2|L2|E130|") + LineModeName(2) + "|M35");
}

TEST(SignalBar, ColourByLevel) {
  const std::array<int, 3> red{255, 0, 0}, yellow{255, 255, 0}, green{0, 255, 0},
      sky{166, 202, 240};
  const std::pair<int, std::array<int, 3>> cases[] = {
      {0, red}, {4, red}, {5, yellow}, {13, yellow}, {14, green}, {22, green}, {23, sky}, {31, sky},
  };
  for (const auto& [level, rgb] : cases) {
    SCOPED_TRACE(level);
    const SignalBar bar = SignalBarFor(level);
    EXPECT_TRUE(bar.visible);
    EXPECT_EQ(bar.level, level);
    EXPECT_EQ(bar.rgb, rgb);
  }
  EXPECT_FALSE(SignalBarFor(99).visible);
}

TEST_F(LineCommandsTest, ViewDataOfALine) {
  Start({Record("X", "GSM XCALL"), Record("Y", "MLR")});
  SetLineMode(*engine_, 0, 1);
  SetContactIdCode(*engine_, 0, "E130");
  const LineViewData x = MakeLineView(engine_->lines().At(0));
  EXPECT_EQ(x.title, W("Настройки X"));
  EXPECT_EQ(x.typeName, "GSM XCALL");
  EXPECT_EQ(x.contactIdCode, "E130");
  EXPECT_EQ(x.modeName, W("Тревога/Контроль"));
  EXPECT_TRUE(x.modeControlsEnabled);
  ASSERT_EQ(x.exchange.size(), 12u);
  EXPECT_EQ(x.exchange[11], std::to_string(Line(0).Settings.RxEvent));
  EXPECT_FALSE(x.signal.visible);

  Line(1).Mode = 7;
  const LineViewData y = MakeLineView(engine_->lines().At(1));
  EXPECT_EQ(y.typeName, "Sugard MLR2");
  EXPECT_EQ(y.modeName, "");
  EXPECT_FALSE(y.modeControlsEnabled);
}

}  // namespace
}  // namespace quell
