#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "core/config/client_port_file.h"
#include "core/config/console_port_file.h"
#include "core/config/ip_module_file.h"
#include "core/config/table_files.h"
#include "core/config/text_file.h"
#include "core/cp1251.h"

namespace quell {
namespace {

using Lines = std::vector<std::string>;

class StartupFiles : public ::testing::Test {
 protected:
  void Write(std::string_view name, const Lines& lines) {
    ASSERT_TRUE(WriteTextLines(ConfigPath(workDir, name), lines));
  }
  QTemporaryDir dir;
  std::string workDir = dir.path().toStdString();
};

TEST(IpModuleSettingsParse, PeriodAndSwitches) {
  const IpModuleSettings s = ParseIpModuleSettings({"01:02:03", "1", "1", "0"});
  EXPECT_EQ(s.silenceLimitSeconds, 3723);
  EXPECT_TRUE(s.storeOffline);
  EXPECT_TRUE(s.testSignal);
  EXPECT_FALSE(s.lossRestore);

  // A switch is on only for exactly "1"; missing lines keep their defaults.
  const IpModuleSettings partial = ParseIpModuleSettings({"00:10:00", " 1"});
  EXPECT_EQ(partial.silenceLimitSeconds, 600);
  EXPECT_FALSE(partial.storeOffline);
  EXPECT_FALSE(partial.testSignal);
  EXPECT_TRUE(partial.lossRestore);
}

TEST(IpModuleSettingsParse, UnreadablePeriodKeepsAllDefaults) {
  for (const char* period : {"24:00:00", "3:20", "aa:bb:cc", "", "01:60:00", "001:00:00"}) {
    const IpModuleSettings s = ParseIpModuleSettings({period, "1", "1", "0"});
    EXPECT_EQ(s.silenceLimitSeconds, 12000) << period;
    EXPECT_FALSE(s.storeOffline) << period;
    EXPECT_TRUE(s.lossRestore) << period;
  }
  EXPECT_EQ(ParseSilenceLimit("23:59:59"), 86399);
}

TEST_F(StartupFiles, IpModuleFileMissingGivesDefaults) {
  EXPECT_EQ(ReadIpModuleSettings(workDir).silenceLimitSeconds, 12000);
  Write("\\param0", {"00:00:30", "0", "1", "0"});
  const IpModuleSettings s = ReadIpModuleSettings(workDir);
  EXPECT_EQ(s.silenceLimitSeconds, 30);
  EXPECT_TRUE(s.testSignal);
}

TEST_F(StartupFiles, ConsolePortFileIsReadByContent) {
  const ConsolePortFile missing = ReadConsolePortFile(workDir);
  EXPECT_FALSE(missing.exists);
  EXPECT_EQ(missing.portKind, "");

  Write("\\paramv", {"_;VP;_;COM5,9600,8,0,0,0;ONLINE;Ademco685;01;"});
  const ConsolePortFile vp = ReadConsolePortFile(workDir);
  EXPECT_TRUE(vp.exists);
  EXPECT_TRUE(vp.online);
  EXPECT_EQ(vp.portKind, "VP");
  EXPECT_EQ(vp.protocol, OutputProtocol::Ademco685);
  EXPECT_EQ(vp.serialText, "COM5,9600,8,0,0,0");

  const ConsolePortFile rp = ParseConsolePortFile("_;RP;_;COM2,19200,8,0,0,0;OFFLINE;ContactID;_;");
  EXPECT_FALSE(rp.online);
  EXPECT_EQ(rp.portKind, "RP");
  EXPECT_EQ(rp.protocol, OutputProtocol::ContactId);

  Write("\\paramv", {});
  const ConsolePortFile empty = ReadConsolePortFile(workDir);
  EXPECT_TRUE(empty.exists);
  EXPECT_EQ(empty.portKind, "RP");
  EXPECT_EQ(empty.serialText, "FALSE");
}

TEST_F(StartupFiles, ClientPortFromTheFirstFourCharacters) {
  EXPECT_EQ(ReadClientPort(workDir), std::nullopt);
  Write("\\quellport", {"9000", "1234"});
  EXPECT_EQ(ReadClientPort(workDir), 9000);
  Write("\\quellport", {});
  EXPECT_EQ(ReadClientPort(workDir), std::nullopt);

  EXPECT_EQ(ParseClientPort("12345"), 1234);
  EXPECT_EQ(ParseClientPort("80abc"), std::nullopt);
  EXPECT_EQ(ParseClientPort("80"), 80);
  EXPECT_EQ(ParseClientPort("0000"), std::nullopt);
  EXPECT_EQ(ParseClientPort("-1"), std::nullopt);
}

TEST_F(StartupFiles, TablesAreEmptyWhenMissing) {
  EXPECT_TRUE(ReadObjectTable(workDir).empty());
  EXPECT_TRUE(ReadCodeTable(workDir).empty());
  EXPECT_TRUE(ReadPanelTable(workDir).empty());
  EXPECT_FALSE(TraceViewRequested(workDir));

  const std::string object = "1234\t" + W("Магазин") + "\t01";
  Write("\\objects.txt", {object, "5678\tx\t02"});
  Write("\\codes.txt", {"13\tE130"});
  Write("\\info.slv", {"event#a#b"});
  Write("\\paramtest", {});
  EXPECT_EQ(ReadObjectTable(workDir), (Lines{object, "5678\tx\t02"}));
  EXPECT_EQ(ReadCodeTable(workDir), Lines{"13\tE130"});
  EXPECT_EQ(ReadPanelTable(workDir), Lines{"event#a#b"});
  EXPECT_TRUE(TraceViewRequested(workDir));
}

}  // namespace
}  // namespace quell
