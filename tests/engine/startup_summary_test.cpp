// The start-up summary for a person at the terminal: what listens, what each
// line opened, the console port, and the hint to the simulator.
#include "engine/startup_summary.h"

#include <gtest/gtest.h>
#include <QTcpServer>
#include <QTemporaryDir>

#include "core/cp1251.h"
#include "engine/engine.h"
#include "ip/client_ports.h"
#include "ip/dc09_receiver.h"
#include "ip/ip_receivers.h"
#include "tests/support/fake_clock.h"
#include "tests/support/pty_pair.h"
#include "tests/support/work_files.h"

namespace quell {
namespace {

class QuietSound final : public AlarmSound {
 public:
  void Play() override {}
};

void WriteFile(const QTemporaryDir& dir, const char* name, const std::string& bytes) {
  ASSERT_TRUE(test::WriteWorkFile(dir, name, bytes));
}

TEST(StartupSummaryTest, NamesListenersLinesConsoleAndTheNextStep) {
  QTemporaryDir dir;
  test::PtyMaster modem;
  ASSERT_TRUE(modem.Ok()) << modem.Error();
  // One line on a device that answers, one on a device that does not exist.
  WriteFile(dir, "ComPorts.ini",
            "COM8=" + modem.SlavePath() + "\r\nCOM7=" + dir.path().toStdString() +
                "/gone\r\nCOM5=/dev/null\r\n");
  WriteFile(dir, "ConnectionType.ini",
            W("Приёмник;MLR;0;COM7,9600,8,0,0,0;ONLINE;;;;\r\n") +
                "GSM line 1;GSM XCALL;0;COM8,9600,8,0,0,0;ONLINE;KEY01 KEY02 KEY03 KEY04;M1;;\r\n");
  WriteFile(dir, "paramv", "_;RP;_;COM5,9600,8,0,0,0;OFFLINE;ContactID;_;\r\n");
  WriteFile(dir, "param0", "03:20:00\r\n1\r\n0\r\n1\r\n");

  // A module port already taken by someone else: listed as not listening,
  // while its three neighbours share one "modules" group.
  QTcpServer squatter;
  ASSERT_TRUE(squatter.listen(QHostAddress::Any, 0));
  PortSettings ports = PortSettings::AnyFree();
  ports.ip8096 = squatter.serverPort();

  test::FakeClock clock;
  HeadlessPrompt prompt;
  QuietSound sound;
  Engine engine(clock, prompt, sound, EngineOptions{dir.path().toStdString(), ports});
  std::string error;
  ASSERT_TRUE(engine.Start(&error)) << error;
  engine.SupervisionTick();  // the first tick opens the lines

  const std::string text = StartupSummary(engine);
  const auto has = [&](const std::string& part) {
    EXPECT_NE(text.find(part), std::string::npos) << "missing: " << part << "\nin:\n" << text;
  };
  has("working directory: " + dir.path().toStdString() + "\n");
  has(std::to_string(engine.clientPorts().WardexPort()) + " client, ");
  has(std::to_string(engine.ipReceivers().Port(IpListener::P8095)) + " " +
      std::to_string(engine.ipReceivers().Port(IpListener::P8097)) + " " +
      std::to_string(engine.ipReceivers().Port(IpListener::P8098)) + " modules, ");
  has(std::to_string(engine.dc09Receiver().Port()) + "/udp DC-09\n");
  has("NOT listening (port in use? see the trace): " + std::to_string(squatter.serverPort()) +
      " modules\n");
  // Line names travel in Windows-1251 and are shown in UTF-8.
  has("line \"Приёмник\" (MLR) on COM7 (" + dir.path().toStdString() +
      "/gone): could not open, tried again every 5 s\n");
  has("line \"GSM line 1\" (GSM XCALL) on COM8 (" + modem.SlavePath() + "): open\n");
  has("console port: COM5 (/dev/null): off by paramv (OFFLINE);");
  has("store offline on (param0)\n");
  has("quell-sim");
  EXPECT_EQ(text.back(), '\n');
  engine.Close();
}

TEST(StartupSummaryTest, SaysWhenNoLineIsConfigured) {
  QTemporaryDir dir;
  test::FakeClock clock;
  HeadlessPrompt prompt;
  QuietSound sound;
  Engine engine(clock, prompt, sound,
                EngineOptions{dir.path().toStdString(), PortSettings::AnyFree()});
  std::string error;
  ASSERT_TRUE(engine.Start(&error)) << error;
  const std::string text = StartupSummary(engine);
  EXPECT_NE(text.find("lines: none configured (ConnectionType.ini)\n"), std::string::npos) << text;
  EXPECT_NE(text.find("console port: not configured (paramv)\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("NOT listening"), std::string::npos) << text;
}

}  // namespace
}  // namespace quell
