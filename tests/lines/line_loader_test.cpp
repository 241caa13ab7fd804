#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "core/config/text_file.h"
#include "core/cp1251.h"
#include "lines/line_loader.h"

namespace quell {
namespace {

using Lines = std::vector<std::string>;

const Lines kModemTypeFile{"[M1]", "ATA:ATA1", "INISTR:AT+CNMI=2,1", "[M2]", "ATA:ATA2"};
const Lines kLineSetFile{"[GSM XCALL_1]", "TIMER=500", "RX_EVENT=1", "[MLR]", "evCHAR=20"};
const std::string kXcallRecord =
    "GSM Line;GSM XCALL;1;COM3,9600,8,0,0,0;ONLINE;KEY_01 KEY_02 KEY_03 KEY_04;M1;E130 E131;";

class LineLoader : public ::testing::Test {
 protected:
  LineLoader() {
    context.noticeQueue = &notices;
    context.lineSet = &kLineSetFile;
    context.modemTypes = &kModemTypeFile;
    context.trace = &trace;
    context.nowTick = 777;
    context.createWorker = [this](TLineGSM& line) { workersFor.push_back(&line); };
  }
  std::string Path() const { return file.Path(); }
  void WriteRecords(const Lines& records) { ASSERT_TRUE(WriteTextLines(Path(), records)); }
  LineLoadResult Load() { return LoadLineList(file, lines, context); }
  TLineGSM& LineAt(size_t i) { return *lines.At(i).Line; }

  QTemporaryDir dir;
  LineListFile file = LineListFile::InWorkDir(dir.path().toStdString());
  LineList lines;
  NoticeList notices;
  TraceView trace;
  LineLoadContext context;
  std::vector<TLineGSM*> workersFor;
};

TEST_F(LineLoader, CallerIdRecordFillsEveryField) {
  WriteRecords({kXcallRecord});
  ASSERT_EQ(Load().status, LineLoadStatus::Loaded);
  ASSERT_EQ(lines.Size(), 1u);
  EXPECT_EQ(lines.At(0).Caption, "GSM Line");
  TLineGSM& line = LineAt(0);
  EXPECT_EQ(line.LineName, "GSM Line");
  EXPECT_EQ(line.LineType, "GSM XCALL");
  EXPECT_EQ(line.Mode, 1);
  EXPECT_EQ(line.PortNumber, 3);
  EXPECT_EQ(line.PortConfig.BaudRate, 9600u);
  EXPECT_EQ(line.ModemType, "M1");
  EXPECT_EQ(line.KeyNames, (std::array<std::string, 4>{"KEY_01", "KEY_02", "KEY_03", "KEY_04"}));
  EXPECT_EQ(line.KeyCodes, (std::array<std::string, 4>{"E130", "E131", "", ""}));
  EXPECT_EQ(line.Commands.Answer, "ATA1");
  EXPECT_EQ(line.Commands.InitStr, "AT+CNMI=2,1");
  EXPECT_EQ(line.Commands.Hangup, "ATH");
  EXPECT_EQ(line.Settings.Timer, 500);
  EXPECT_EQ(line.Settings.RxEvent, 1);
  EXPECT_EQ(line.Settings.EvChar, 13);
  EXPECT_FALSE(line.Started);  // field 5 is not read
  EXPECT_EQ(line.NoticeQueue, &notices);
  EXPECT_EQ(line.PollTick, 777u);
  EXPECT_EQ(trace.Lines(), (Lines{"[GSM XCALL_1]", "1"}));
}

TEST_F(LineLoader, ShortRecordsAndNonModemTypes) {
  WriteRecords({"MLR in;MLR;0;COM1;OFFLINE;;M1;", "Bare;VORTI;2;COM2,1200;"});
  ASSERT_EQ(Load().status, LineLoadStatus::Loaded);
  ASSERT_EQ(lines.Size(), 2u);
  TLineGSM& mlr = LineAt(0);
  EXPECT_EQ(mlr.ModemType, "");  // field 7 is ignored for a receiver line
  EXPECT_EQ(mlr.Commands.Answer, "ATA");
  EXPECT_EQ(mlr.Settings.EvChar, 20);
  EXPECT_EQ(mlr.KeyNames, (std::array<std::string, 4>{"FALSE", "FALSE", "FALSE", "FALSE"}));
  TLineGSM& bare = LineAt(1);
  EXPECT_EQ(bare.KeyNames[3], "FALSE");
  EXPECT_EQ(bare.KeyCodes, (std::array<std::string, 4>{}));
  EXPECT_EQ(bare.PortConfig.BaudRate, 1200u);
  EXPECT_EQ(bare.Position, 1);
  EXPECT_EQ(workersFor, (std::vector<TLineGSM*>{&mlr, &bare}));
}

TEST_F(LineLoader, BlankAndShortLinesAreSkippedAndDroppedOnSave) {
  const std::string name = W("Линия 2");
  WriteRecords({"", kXcallRecord, " ab ", "\t", name + ";MLR;0;COM4,19200,8,0,0,0;OFFLINE;;;;"});
  ASSERT_EQ(Load().status, LineLoadStatus::Loaded);
  ASSERT_EQ(lines.Size(), 2u);
  EXPECT_EQ(lines.At(1).Caption, name);
  EXPECT_EQ(LineAt(1).Position, 1);

  LineAt(0).Started = true;
  ASSERT_TRUE(SaveLineList(file, lines));
  EXPECT_EQ(ReadTextLines(Path()),
            (Lines{"GSM Line;GSM XCALL;1;COM3,9600,8,0,0,0;ONLINE;KEY_01 KEY_02 KEY_03 KEY_04;M1;"
                   "E130 E131  ;",
                   name + ";MLR;0;COM4,19200,8,0,0,0;OFFLINE;FALSE FALSE FALSE "
                          "FALSE;;   ;"}));

  // The saved file loads to the same lines.
  LineList again;
  ASSERT_EQ(LoadLineList(file, again, context).status, LineLoadStatus::Loaded);
  ASSERT_EQ(again.Size(), 2u);
  EXPECT_EQ(again.At(0).Line->KeyCodes, LineAt(0).KeyCodes);
  EXPECT_EQ(again.At(1).Line->KeyNames, LineAt(1).KeyNames);
  EXPECT_EQ(FormatLineRecord(again.At(1).Caption, *again.At(1).Line),
            FormatLineRecord(lines.At(1).Caption, LineAt(1)));
}

TEST_F(LineLoader, ModeThatIsNotANumberAbortsTheLoad) {
  WriteRecords({kXcallRecord, "Bad;MLR;x;COM1;"});
  const LineLoadResult bad = Load();
  EXPECT_EQ(bad.status, LineLoadStatus::BadRecord);
  EXPECT_EQ(bad.error, "'x' is not a valid integer value");
  EXPECT_EQ(lines.Size(), 1u);  // the faulty record never joins the list

  WriteRecords({"Two;MLR"});
  const LineLoadResult shortRecord = Load();
  EXPECT_EQ(shortRecord.status, LineLoadStatus::BadRecord);
  EXPECT_EQ(shortRecord.error, "'FALSE' is not a valid integer value");
  EXPECT_EQ(lines.Size(), 0u);
}

TEST_F(LineLoader, MissingFileIsCreatedEmpty) {
  ASSERT_FALSE(FileExists(Path()));
  const LineLoadResult result = Load();
  EXPECT_EQ(result.status, LineLoadStatus::Loaded);
  EXPECT_EQ(lines.Size(), 0u);
  EXPECT_TRUE(FileExists(Path()));
  EXPECT_TRUE(file.SavingEnabled());
}

TEST_F(LineLoader, FileThatCannotBeCreatedDisablesSaving) {
  LineListFile nowhere = LineListFile::InWorkDir(dir.path().toStdString() + "/missing/dir");
  EXPECT_EQ(LoadLineList(nowhere, lines, context).status, LineLoadStatus::Unavailable);
  EXPECT_FALSE(nowhere.SavingEnabled());
  lines.Add("New", std::make_unique<TLineGSM>());
  EXPECT_TRUE(SaveLineList(nowhere, lines));  // nothing to do while disabled
  EXPECT_FALSE(FileExists(nowhere.Path()));
}

TEST_F(LineLoader, ModemCommandsWithoutLineSettingsFile) {
  context.lineSet = nullptr;
  WriteRecords({kXcallRecord});
  ASSERT_EQ(Load().status, LineLoadStatus::Loaded);
  EXPECT_EQ(LineAt(0).Commands.Answer, "ATA1");
  EXPECT_EQ(LineAt(0).Settings.Timer, 1000);
  EXPECT_TRUE(trace.Lines().empty());
}

TEST_F(LineLoader, SeparatorsInTextsDoNotBreakTheSavedRecord) {
  auto line = std::make_unique<TLineGSM>();
  line->LineType = "MLR";
  lines.Add("North;East", std::move(line));
  ASSERT_TRUE(SaveLineList(file, lines));
  LineList again;
  ASSERT_EQ(LoadLineList(file, again, context).status, LineLoadStatus::Loaded);
  ASSERT_EQ(again.Size(), 1u);
  EXPECT_EQ(again.At(0).Caption, "North_East");
  EXPECT_EQ(again.At(0).Line->LineType, "MLR");
}

TEST(ConsolePortFileApply, SetsTheConsoleBlockOnlyWhenTheFileExists) {
  TLineGSM console;
  ApplyConsolePortFile(console, ConsolePortFile{});
  EXPECT_EQ(console.Settings.Timer, 1000);
  EXPECT_FALSE(console.PortOpen);

  ApplyConsolePortFile(console,
                       ParseConsolePortFile("_;VP;_;COM5,9600,8,0,0,0;ONLINE;Ademco685;01;"));
  EXPECT_EQ(console.PortNumber, 5);
  EXPECT_EQ(console.PortConfig.BaudRate, 9600u);
  EXPECT_EQ(console.Settings.EvChar, 20);
  EXPECT_EQ(console.Settings.RxEvent, 0);
  EXPECT_EQ(console.Settings.Priority, 1);
  EXPECT_EQ(console.Settings.Timer, 750);
  EXPECT_TRUE(console.PortOpen);
}

}  // namespace
}  // namespace quell
