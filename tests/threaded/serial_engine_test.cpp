// The engine with serial lines and the console port on pseudo-terminals:
// real worker threads, the main timers driven by the test.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

#include "console/console_output.h"
#include "console/console_port.h"
#include "core/cp1251.h"
#include "core/wire.h"
#include "engine/engine.h"
#include "ip/client_ports.h"
#include "ip/ip_receivers.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fakes.h"
#include "tests/support/loopback.h"
#include "tests/support/pty_pair.h"
#include "tests/support/work_files.h"

namespace quell {
namespace {

using test::WaitFor;

const std::string kAdmCid = "\"ADM-CID\"0001R0001L0001[#001234|1130 01 015]";
const std::string kEventLine = "5011 181234E13001015";
const std::string kHeartbeat = std::string("1011           @    ") + kDC4;

class SerialEngineTest : public ::testing::Test {
 protected:
  void File(const char* name, const std::string& bytes) {
    ASSERT_TRUE(test::WriteWorkFile(dir_, name, bytes));
  }
  void Start() {
    EngineOptions options;
    options.workDir = dir_.path().toStdString();
    options.ports = {0, 0, 0, 0, 0, 0, 0, 0, false};
    engine_ = std::make_unique<Engine>(clock_, prompt_, sound_, options);
    engine_->clientPorts().SetSendObserver(test::CheckClientSend);
    std::string error;
    ASSERT_TRUE(engine_->Start(&error)) << error;
  }
  // Runs console output ticks until the console has seen the link test,
  // answers it, and checks the link comes up.
  void BringConsoleLinkUp(test::PtyMaster& console) {
    for (int tick = 1; tick <= 20; ++tick) engine_->ConsoleOutputTick();
    EXPECT_EQ(console.Receive(1, 50), "");
    engine_->ConsoleOutputTick();
    ASSERT_EQ(console.Receive(kHeartbeat.size()), kHeartbeat);
    console.Send(std::string(1, kACK));
    ASSERT_TRUE(WaitFor([&] { return engine_->consoleLine().Alive.load(); }));
    engine_->ConsoleOutputTick();
    ASSERT_TRUE(engine_->consoleOutput().LinkUp());
  }
  void SendAdmCid() {
    test::TestClient module;
    ASSERT_TRUE(module.Connect(engine_->ipReceivers().Port(IpListener::P8097)));
    module.Send(kAdmCid);
    ASSERT_TRUE(module.WaitReceived(24 + 4));
  }

  QTemporaryDir dir_;
  test::FakeClock clock_;
  HeadlessPrompt prompt_;
  test::CountingSound sound_;
  std::unique_ptr<Engine> engine_;
};

TEST_F(SerialEngineTest, RealConsolePortGetsLinkTestAndThenEventsDirectly) {
  test::PtyMaster console;
  ASSERT_TRUE(console.Ok());
  File("ComPorts.ini", "COM5=" + console.SlavePath() + "\r\n");
  File("paramv", "_;RP;_;COM5,9600,8,0,0,0;ONLINE;ContactID;_;\r\n");
  Start();
  engine_->SupervisionTick();  // start-up: switches the console port on
  ASSERT_TRUE(engine_->consoleLine().PortOpen);
  ASSERT_TRUE(engine_->consolePort().IsOn());
  BringConsoleLinkUp(console);
  SendAdmCid();
  EXPECT_EQ(console.Receive(21), kEventLine + kDC4);
  engine_->Close();
}

TEST_F(SerialEngineTest, VirtualConsolePortIsReachedThroughItsLink) {
  File("paramv", "_;VP;_;COM5,9600,8,0,0,0;ONLINE;ContactID;_;\r\n");
  Start();
  engine_->SupervisionTick();
  const std::string link = dir_.path().toStdString() + "/vcom/COM5";
  ASSERT_EQ(engine_->consolePort().VirtualLinkPath(), link);
  ASSERT_TRUE(engine_->consoleLine().PortOpen);

  // The console software's side of the pair.
  int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  tcsetattr(fd, TCSANOW, &tio);
  auto receive = [&](size_t count) {
    std::string out;
    char buffer[64];
    while (out.size() < count && WaitFor([&] {
             pollfd p{fd, POLLIN, 0};
             return ::poll(&p, 1, 0) > 0;
           })) {
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n <= 0) break;
      out.append(buffer, size_t(n));
    }
    return out;
  };
  for (int tick = 1; tick <= 21; ++tick) engine_->ConsoleOutputTick();
  ASSERT_EQ(receive(kHeartbeat.size()), kHeartbeat);
  ASSERT_EQ(::write(fd, "\x06", 1), 1);
  ASSERT_TRUE(WaitFor([&] { return engine_->consoleLine().Alive.load(); }));
  engine_->ConsoleOutputTick();
  SendAdmCid();
  EXPECT_EQ(receive(21), kEventLine + kDC4);
  ::close(fd);

  engine_->Close();
  EXPECT_FALSE(QFile::exists(QString::fromStdString(link)));
}

TEST_F(SerialEngineTest, MlrLineRelaysToTheConsoleAndIsSupervised) {
  test::PtyMaster console, mlr;
  ASSERT_TRUE(console.Ok());
  ASSERT_TRUE(mlr.Ok());
  File("ComPorts.ini", "COM5=" + console.SlavePath() + "\r\nCOM7=" + mlr.SlavePath() + "\r\n");
  File("paramv", "_;RP;_;COM5,9600,8,0,0,0;ONLINE;ContactID;_;\r\n");
  File("ConnectionType.ini", "M1;MLR;0;COM7,9600,8,0,0,0;ONLINE;;;\r\n");
  File("LineSet.ini", "[MLR]\r\nRX_EVENT=0\r\nTIMER=50\r\n");
  Start();
  engine_->SupervisionTick();  // opens the lines
  engine_->SupervisionTick();  // resumes their workers
  TLineGSM& line = *engine_->lines().At(0).Line;
  ASSERT_TRUE(line.PortOpen);

  mlr.Send("5011 180042E13000003" + std::string(1, kDC4));
  ASSERT_EQ(mlr.Receive(1), std::string(1, kACK));
  ASSERT_TRUE(WaitFor([&] { return engine_->consoleQueue().Size() == 1; }));
  engine_->SupervisionTick();
  EXPECT_EQ(engine_->lines().At(0).IconIndex, 4);

  BringConsoleLinkUp(console);  // the tick that brings it up delivers the entry
  EXPECT_EQ(console.Receive(22), "5011 180042E13000003" + std::string(2, kDC4));

  // Silence beyond the limit: one "&OFF" with the alarm, then "&ON" on data.
  clock_.Advance(90001);
  ASSERT_TRUE(WaitFor([&] { return !line.Alive.load(); }));
  engine_->SupervisionTick();
  engine_->SupervisionTick();
  mlr.Send("1011           @    " + std::string(1, kDC4));
  ASSERT_TRUE(WaitFor([&] { return line.Alive.load(); }));
  engine_->SupervisionTick();
  EXPECT_EQ(engine_->noticeQueue().Snapshot(),
            (std::vector<std::string>{"QUELL_LINE_STATUS&M1&ON", "QUELL_LINE_STATUS&M1&OFF",
                                      "QUELL_LINE_STATUS&M1&ON"}));
  EXPECT_EQ(sound_.plays, 1);
  engine_->Close();
}

TEST_F(SerialEngineTest, LineThatCannotOpenStaysClosedUntilStartedAgain) {
  test::PtyMaster device;
  ASSERT_TRUE(device.Ok());
  File("ComPorts.ini", "COM9=/dev/nonexistent-quell\r\n");
  File("ConnectionType.ini", "V1;VORTI;0;COM9,9600,8,0,0,0;ONLINE;;;\r\n");
  Start();
  engine_->SupervisionTick();
  TLineGSM& line = *engine_->lines().At(0).Line;
  EXPECT_TRUE(line.Started);
  EXPECT_FALSE(line.PortOpen);
  EXPECT_NE(line.Messages.Entry(1).find("\\\\.\\COM9:   INVALID_HANDLE_VALUE  "),
            std::string::npos);
  engine_->SupervisionTick();
  EXPECT_EQ(engine_->lines().At(0).IconIndex, 5);

  engine_->portNames().Parse("COM9=" + device.SlavePath() + "\n");
  engine_->StartLineCommand(0);  // the headless prompt answers OK
  EXPECT_TRUE(line.PortOpen);
  engine_->SupervisionTick();
  EXPECT_EQ(engine_->lines().At(0).IconIndex, 26);
  engine_->StopLineCommand(0);
  EXPECT_FALSE(line.PortOpen);
  EXPECT_FALSE(line.Started);
  engine_->SupervisionTick();
  EXPECT_EQ(engine_->lines().At(0).IconIndex, 5);
  EXPECT_TRUE(engine_->noticeQueue().Empty());
}

}  // namespace
}  // namespace quell
