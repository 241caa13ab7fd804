// A caller-identification call from ring to console event: the engine with
// its worker threads, a modem played by the simulator on a pseudo-terminal,
// a station client on the Wardex client port and the console on a second
// pseudo-terminal. The clock is the test's; the timers are driven by hand.
#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

#include "console/console_output.h"
#include "core/wire.h"
#include "engine/engine.h"
#include "ip/client_ports.h"
#include "ip/ip_receivers.h"
#include "ip/relay_listener.h"
#include "lines/call_state.h"
#include "sim/modem/modem_link.h"
#include "store/event_db.h"
#include "store/history_text.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fakes.h"
#include "tests/support/loopback.h"
#include "tests/support/pty_pair.h"
#include "tests/support/work_files.h"

namespace quell {
namespace {

using test::WaitFor;

class CallerIdRoadTest : public ::testing::Test {
 protected:
  void File(const char* name, const std::string& bytes) {
    ASSERT_TRUE(test::WriteWorkFile(dir_, name, bytes));
  }
  // Drains notices until the client has received text.
  bool ClientGets(const std::string& text) {
    return WaitFor([&] {
      engine_->NoticeDrainTick();
      return client_.received.find(text) != std::string::npos;
    });
  }

  // The engine with one caller-ID line on the modem and the console on a
  // pseudo-terminal; the line is up when this returns.
  void StartWithModem(sim::ModemLink& modem) {
    std::string error;
    ASSERT_TRUE(modem.OpenPty(&error)) << error;
    ASSERT_TRUE(console_.Ok());
    File("ComPorts.ini",
         "COM5=" + console_.SlavePath() + "\r\nCOM8=" + modem.DevicePath() + "\r\n");
    File("paramv", "_;RP;_;COM5,9600,8,0,0,0;ONLINE;ContactID;_;\r\n");
    File("ConnectionType.ini",
         "ALARM1;GSM XCALL;0;COM8,9600,8,0,0,0;ONLINE;KEY01 KEY02 KEY03 KEY04;M1;;\r\n");
    File("LineSet.ini", "[GSM XCALL_0]\r\nRX_EVENT=2\r\nTIMER=50\r\n");
    EngineOptions engineOptions;
    engineOptions.workDir = dir_.path().toStdString();
    engineOptions.ports = {0, 0, 0, 0, 0, 0, 0, 0, false};
    engine_ = std::make_unique<Engine>(clock_, prompt_, sound_, engineOptions);
    engine_->clientPorts().SetSendObserver(test::CheckClientSend);
    ASSERT_TRUE(engine_->Start(&error)) << error;
    engine_->SupervisionTick();  // opens the line and the console port
    engine_->SupervisionTick();  // starts the worker: the modem is initialised
    ASSERT_TRUE(WaitFor([&] { return engine_->lines().At(0).Line->Alive.load(); }));
  }

  QTemporaryDir dir_;
  test::PtyMaster console_;
  test::FakeClock clock_;
  HeadlessPrompt prompt_;
  test::CountingSound sound_;
  std::unique_ptr<Engine> engine_;
  test::TestClient client_;
};

TEST_F(CallerIdRoadTest, AnsweredCallBecomesAKeyEventOnTheConsole) {
  sim::ModemOptions options;
  options.talkMs = 4000;
  sim::ModemLink modem(options, [this] { return clock_.TickCount(); });
  StartWithModem(modem);
  ASSERT_TRUE(client_.Connect(engine_->clientPorts().WardexPort()));
  ASSERT_TRUE(WaitFor([&] { return engine_->clientPorts().WardexClientCount() == 1; }));
  TLineGSM& line = *engine_->lines().At(0).Line;
  EXPECT_EQ(modem.Modem().Commands().front(), "ATV1Q0E1");

  modem.With([](sim::SimModem& m) { m.IncomingCall("+79001112233"); });
  ASSERT_TRUE(ClientGets("ALARM1;+79001112233;GSM XCALL;0;CRING;"));

  client_.Send("ALARM1;ATA;57");
  ASSERT_TRUE(WaitFor([&] { return CallStateOf(line) == kActive; }));
  EXPECT_EQ(modem.Modem().Commands().back(), "ATA");

  clock_.Advance(4000);  // the caller hangs up 4 s after the answer
  ASSERT_TRUE(ClientGets("ALARM1;+79001112233;XCALL_KEY02;57;CID|;"));
  const std::string event = "5011 180057R13000001" + std::string(1, kDC4);
  EXPECT_EQ(engine_->consoleQueue().Snapshot(), std::vector<std::string>{event});

  // The console answers the link test; the event goes out on the next tick.
  for (int tick = 1; tick <= 21; ++tick) engine_->ConsoleOutputTick();
  const std::string heartbeat = std::string("1011           @    ") + kDC4;
  ASSERT_EQ(console_.Receive(heartbeat.size()), heartbeat);
  console_.Send(std::string(1, kACK));
  ASSERT_TRUE(WaitFor([&] { return engine_->consoleLine().Alive.load(); }));
  engine_->ConsoleOutputTick();
  EXPECT_EQ(console_.Receive(event.size() + 1), event + kDC4);
  engine_->Close();

  // The call's result and its key are stored, both delivered.
  engine_.reset();
  EventDb db;
  ASSERT_TRUE(db.OpenReadOnly(dir_.filePath(QStringLiteral("Events.db")).toStdString(), nullptr));
  std::vector<std::string> rows;
  db.Read(
      {},
      [&](const EventRow& r) {
        rows.push_back(r.road + " " + FateText(r.console) + " " + FateText(r.notice));
        return true;
      },
      nullptr);
  EXPECT_EQ(rows, (std::vector<std::string>{"xcall - delivered", "key delivered -"}));
}

TEST_F(CallerIdRoadTest, WithoutClientSoftwareTheObjectTableAnswersTheCall) {
  File("objects.txt", "Shop7\t+79001112233\tR2\r\n");
  sim::ModemLink modem({}, [this] { return clock_.TickCount(); });
  StartWithModem(modem);
  ASSERT_TRUE(engine_->loopbackClient());
  ASSERT_TRUE(WaitFor([&] { return engine_->clientPorts().WardexClientCount() == 1; }));
  modem.With([](sim::SimModem& m) { m.IncomingCall("+79001112233"); });
  ASSERT_TRUE(WaitFor([&] {
    engine_->NoticeDrainTick();
    return modem.Modem().Commands().back() == "ATA";
  }));
  ASSERT_TRUE(WaitFor([&] { return engine_->lines().At(0).Line->ConsoleRef == "Shop7"; }));
  engine_->Close();
}

// "CRING" in anything but the line's own ring notice puts nothing on the
// line: a relayed text on 8042 used to make the loopback client answer and
// hang up the line it named.
TEST_F(CallerIdRoadTest, CringFromAnywhereElseLeavesTheLineAlone) {
  File("objects.txt", "Shop7\t+79001112233\tR2\r\n");
  sim::ModemLink modem({}, [this] { return clock_.TickCount(); });
  StartWithModem(modem);
  ASSERT_TRUE(WaitFor([&] { return engine_->clientPorts().FirstWardexIsOwn(); }));
  const std::string ring = "ALARM1;+79001112233;GSM XCALL;0;CRING;";

  test::TestClient relay, module;
  ASSERT_TRUE(relay.Connect(engine_->relayListener().Port()));
  relay.Send(ring + "VORTI");
  ASSERT_TRUE(WaitFor([&] { return engine_->noticeQueue().Size() == 1; }));
  NoticeList& notices = engine_->noticeQueue();
  notices.Append(NoticeOrigin::SerialReceiver, "ALARM1;+79001112233 CRING;MLR;MLR_EVENT|");
  notices.Append(NoticeOrigin::SerialReceiver, "ALARM1;+79001112233 CRING\r;VORTI;VORTI_EVENT|");
  notices.Append(NoticeOrigin::ShortMessage, "ALARM1;5099 181234ECRING015;GSM;MLR_EVENT|");
  // An IP event whose code and group spell the word.
  ASSERT_TRUE(module.Connect(engine_->ipReceivers().Port(IpListener::P8097)));
  ASSERT_TRUE(module.WaitReceived(24));
  module.Send("\"ADM-CID\"0001R0001L0001[#001234|1CRI NG 015]");
  ASSERT_TRUE(module.WaitReceived(24 + 4));
  for (int tick = 0; tick < 6; ++tick) engine_->NoticeDrainTick();
  EXPECT_TRUE(notices.Empty());

  // A real ring is answered: its request follows any the texts above
  // could have caused on the same connection, so the first answer or
  // hang-up the modem sees must be this one.
  modem.With([](sim::SimModem& m) { m.IncomingCall("+79001112233"); });
  ASSERT_TRUE(WaitFor([&] {
    engine_->NoticeDrainTick();
    const auto& sent = modem.Modem().Commands();
    return std::find(sent.begin(), sent.end(), "ATA") != sent.end();
  }));
  const auto& sent = modem.Modem().Commands();
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "ATA"), 1);
  EXPECT_EQ(std::find(sent.begin(), sent.end(), "ATH"), sent.end());
  engine_->Close();
}

}  // namespace
}  // namespace quell
