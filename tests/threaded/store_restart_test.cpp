// The engine with its event store: events acknowledged while the console is
// silent are on disk, come back in order at the next start before anything
// new, reach the console, and are not delivered again after that.
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>

#include "console/console_output.h"
#include "core/wire.h"
#include "engine/engine.h"
#include "ip/dc09_receiver.h"
#include "ip/ip_receivers.h"
#include "store/event_db.h"
#include "store/event_store.h"
#include "tests/support/dc09_send.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fakes.h"
#include "tests/support/loopback.h"
#include "tests/support/pg_test_db.h"
#include "tests/support/pty_pair.h"
#include "tests/support/work_files.h"

namespace quell {
namespace {

using test::WaitFor;

const std::string kHeartbeat = std::string("1011           @    ") + kDC4;

std::string AdmCid(int zone) {
  char text[64];
  std::snprintf(text, sizeof text, "\"ADM-CID\"0001R0001L0001[#001234|1130 01 %03d]", zone);
  return text;
}
std::string Entry(int zone) {
  char text[32];
  std::snprintf(text, sizeof text, "5011 181234E13001%03d", zone);
  return text + std::string(1, kDC4);
}

class StoreRestartTest : public ::testing::Test {
 protected:
  void File(const char* name, const std::string& bytes) {
    ASSERT_TRUE(test::WriteWorkFile(dir_, name, bytes));
  }
  void Start() {
    engine_.reset();
    EngineOptions options;
    options.workDir = dir_.path().toStdString();
    options.ports = PortSettings::AnyFree();
    engine_ = std::make_unique<Engine>(clock_, prompt_, sound_, options);
    std::string error;
    ASSERT_TRUE(engine_->Start(&error)) << error;
    engine_->ipSettings().storeOffline = true;
  }
  std::string Db() const { return dir_.filePath(QStringLiteral("Events.db")).toStdString(); }

  QTemporaryDir dir_;
  test::FakeClock clock_;
  HeadlessPrompt prompt_;
  test::CountingSound sound_;
  std::unique_ptr<Engine> engine_;
};

TEST_F(StoreRestartTest, AcknowledgedEventsComeBackInOrderAndReachTheConsoleOnce) {
  Start();
  test::TestClient module;
  ASSERT_TRUE(module.Connect(engine_->ipReceivers().Port(IpListener::P8096)));
  for (int zone = 1; zone <= 3; ++zone) {
    module.Send(AdmCid(zone));
    ASSERT_TRUE(module.WaitReceived(24 + 4 * size_t(zone)));
  }
  EXPECT_EQ(module.After(24), "ACK\rACK\rACK\r");
  // Gone without delivering: what the queue held in memory is lost with it.
  engine_.reset();

  test::PtyMaster console;
  ASSERT_TRUE(console.Ok());
  File("ComPorts.ini", "COM5=" + console.SlavePath() + "\r\n");
  File("paramv", "_;RP;_;COM5,9600,8,0,0,0;ONLINE;ContactID;_;\r\n");
  Start();
  EXPECT_EQ(engine_->consoleQueue().Snapshot(),
            (std::vector<std::string>{Entry(1), Entry(2), Entry(3)}));
  const auto journalHas = [&](const std::string& text) {
    const auto& entries = engine_->journal().Entries();
    return std::find(entries.begin(), entries.end(), text) != entries.end();
  };
  EXPECT_TRUE(journalHas("Events store: 3 undelivered events queued again"));
  engine_->SupervisionTick();  // switches the console port on
  for (int tick = 1; tick <= 21; ++tick) engine_->ConsoleOutputTick();
  ASSERT_EQ(console.Receive(kHeartbeat.size()), kHeartbeat);
  console.Send(std::string(1, kACK));
  ASSERT_TRUE(WaitFor([&] { return engine_->consoleLine().Alive.load(); }));
  for (int tick = 0; tick < 3; ++tick) engine_->ConsoleOutputTick();
  const std::string dc4(1, kDC4);
  EXPECT_EQ(console.Receive(3 * 22), Entry(1) + dc4 + Entry(2) + dc4 + Entry(3) + dc4);
  // The backlog was journalled when the ticks began and when it was gone.
  EXPECT_TRUE(journalHas("Events store: 3 events wait for the console (it does not answer)"));
  EXPECT_EQ(engine_->journal().Entries().front(),
            "Events store: no event waits for the console any more");
  engine_->Close();

  File("EventStore.ini", "[Store]\r\nKeepDays=30\r\n");
  Start();  // delivered: nothing comes back
  EXPECT_TRUE(engine_->consoleQueue().Empty());
  EXPECT_FALSE(journalHas("Events store: 0 undelivered events queued again"));
  EXPECT_TRUE(
      journalHas("EventStore.ini read: events file " + Db() + ", delivered events kept 30 days"));
  engine_.reset();
  EventDb db;
  ASSERT_TRUE(db.OpenReadOnly(Db(), nullptr));
  std::vector<EventFate> fates;
  db.Read(
      {}, [&](const EventRow& r) { return fates.push_back(r.console), true; }, nullptr);
  EXPECT_EQ(fates, std::vector<EventFate>(3, EventFate::Delivered));
}

TEST_F(StoreRestartTest, StoreThatCannotOpenStartsTheGatewayAndRefusesEvents) {
  ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("Events.db")));  // a directory in the way
  Start();
  EXPECT_FALSE(engine_->eventStore().Writable());
  engine_->ConsoleOutputTick();
  EXPECT_EQ(sound_.plays.load(), 1);
  EXPECT_EQ(engine_->journal().Entries().front().rfind("Events store: cannot write", 0), 0u);
  engine_->ConsoleOutputTick();
  EXPECT_EQ(sound_.plays.load(), 1);  // once a minute

  test::TestClient module;
  ASSERT_TRUE(module.Connect(engine_->ipReceivers().Port(IpListener::P8096)));
  module.Send(AdmCid(1));
  ASSERT_TRUE(module.WaitReceived(24 + 5));
  EXPECT_EQ(module.After(24), "NACK\r");
  EXPECT_TRUE(engine_->consoleQueue().Empty());
}

// A damaged events file is set aside and a new one made; the journal says
// where the old one went, and events are taken as before.
TEST_F(StoreRestartTest, ADamagedEventsFileIsJournalledWhereItWasSetAside) {
  File("Events.db", std::string(8192, 'x'));
  Start();
  const QStringList aside =
      QDir(dir_.path()).entryList({QStringLiteral("Events.db.corrupt-*")}, QDir::Files);
  ASSERT_EQ(aside.size(), 1);
  const auto& entries = engine_->journal().Entries();
  const std::string told = "Events store: events file " + Db() + " damaged (";
  const auto line = std::find_if(entries.begin(), entries.end(),
                                 [&](const std::string& e) { return e.rfind(told, 0) == 0; });
  ASSERT_NE(line, entries.end());
  EXPECT_NE(line->find("set aside as " + dir_.filePath(aside[0]).toStdString()), std::string::npos)
      << *line;
  engine_->ConsoleOutputTick();  // told once
  EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                          [&](const std::string& e) { return e.rfind(told, 0) == 0; }),
            1);
  test::TestClient module;
  ASSERT_TRUE(module.Connect(engine_->ipReceivers().Port(IpListener::P8096)));
  module.Send(AdmCid(1));
  ASSERT_TRUE(module.WaitReceived(24 + 4));
  EXPECT_EQ(module.After(24), "ACK\r");
}

// A panel that lost the ACK of its last frame sends it again after the
// gateway restarted: acknowledged, not queued for the console a second time.
TEST_F(StoreRestartTest, ADc09RetryAfterARestartIsAcknowledgedAndNotDeliveredAgain) {
  clock_.SetNow(QDateTime::currentDateTime());
  File("DC09.ini", "[Accounts]\r\n1234=1234\r\n");
  const auto send = [&](int zone) {
    sim::Dc09Message m;
    m.zone = uint32_t(zone);
    return test::SendDc09(m, engine_->dc09Receiver().Port());
  };
  Start();
  EXPECT_EQ(send(15), 1u);
  EXPECT_EQ(engine_->consoleQueue().Snapshot().size(), 1u);
  engine_.reset();

  Start();
  EXPECT_EQ(engine_->consoleQueue().Snapshot().size(), 1u);  // the kept entry
  EXPECT_EQ(send(15), 1u);                                   // the same frame: a copy
  EXPECT_EQ(engine_->consoleQueue().Snapshot().size(), 1u);
  EXPECT_EQ(send(16), 1u);  // another zone: another frame
  EXPECT_EQ(engine_->consoleQueue().Snapshot().size(), 2u);
}

// The same on a PostgreSQL server: the copy keys come back with the first
// connection, ahead of the kept entry.
TEST_F(StoreRestartTest, ADc09RetryAfterARestartOnTheServerIsNotDeliveredAgain) {
  test::PgTestDb db;
  if (!db.Ready()) GTEST_SKIP() << "PostgreSQL cases skipped: " << db.WhyNot();
  clock_.SetNow(QDateTime::currentDateTime());
  File("DC09.ini", "[Accounts]\r\n1234=1234\r\n");
  File("EventStore.ini", "[Store]\r\nBackend=postgresql\r\nConninfo=" + db.Conninfo() +
                             " connect_timeout=2\r\nNode=gw1\r\n");
  const auto send = [&](int zone) {
    sim::Dc09Message m;
    m.zone = uint32_t(zone);
    return test::SendDc09(m, engine_->dc09Receiver().Port());
  };
  Start();
  ASSERT_TRUE(WaitFor([&] { return engine_->eventStore().Writable(); }))
      << engine_->eventStore().LastError();
  EXPECT_EQ(send(15), 1u);
  EXPECT_EQ(engine_->consoleQueue().Snapshot().size(), 1u);
  engine_.reset();

  Start();
  ASSERT_TRUE(WaitFor([&] { return engine_->consoleQueue().Size() == 1; }));  // the kept entry
  EXPECT_EQ(send(15), 1u);  // the same frame: a copy
  EXPECT_EQ(engine_->consoleQueue().Snapshot().size(), 1u);
  EXPECT_EQ(send(16), 1u);  // another zone: another frame
  EXPECT_EQ(engine_->consoleQueue().Snapshot().size(), 2u);
  engine_.reset();
}

// Settings that name a backend wrongly never fall back to the events file.
TEST_F(StoreRestartTest, BadStoreSettingsRefuseEventsAndSaySoWithoutAnEventsFile) {
  File("EventStore.ini", "[Store]\r\nBackend=postgresql\r\nNode=two words\r\n");
  Start();
  EXPECT_FALSE(engine_->eventStore().Writable());
  engine_->ConsoleOutputTick();
  EXPECT_EQ(sound_.plays.load(), 1);
  const std::string& line = engine_->journal().Entries().front();
  EXPECT_EQ(line.rfind("Events store: cannot write", 0), 0u) << line;
  EXPECT_NE(line.find("EventStore.ini: bad Node=two words"), std::string::npos) << line;

  test::TestClient module;
  ASSERT_TRUE(module.Connect(engine_->ipReceivers().Port(IpListener::P8096)));
  module.Send(AdmCid(1));
  ASSERT_TRUE(module.WaitReceived(24 + 5));
  EXPECT_EQ(module.After(24), "NACK\r");
  EXPECT_FALSE(QFile::exists(QString::fromStdString(Db())));
}

// Two gateways on one database: each acknowledges after the server has the
// row, and at its next start each queues only its own pending rows again.
TEST_F(StoreRestartTest, TwoGatewaysOnOneServerEachReplayTheirOwnRows) {
  test::PgTestDb db;
  if (!db.Ready()) GTEST_SKIP() << "PostgreSQL cases skipped: " << db.WhyNot();
  QTemporaryDir other;
  const auto settings = [&](const char* node) {
    return "[Store]\r\nBackend=postgresql\r\nConninfo=" + db.Conninfo() +
           " connect_timeout=2\r\nNode=" + node + "\r\n";
  };
  File("EventStore.ini", settings("gw1"));
  ASSERT_TRUE(test::WriteWorkFile(other, "EventStore.ini", settings("gw2")));
  const auto start = [&](const QTemporaryDir& dir) {
    EngineOptions options;
    options.workDir = dir.path().toStdString();
    options.ports = PortSettings::AnyFree();
    auto engine = std::make_unique<Engine>(clock_, prompt_, sound_, options);
    std::string error;
    EXPECT_TRUE(engine->Start(&error)) << error;
    engine->ipSettings().storeOffline = true;
    EXPECT_TRUE(WaitFor([&] { return engine->eventStore().Writable(); }))
        << engine->eventStore().LastError();
    return engine;
  };
  const auto send = [&](Engine& engine, int first, int count) {
    test::TestClient module;
    ASSERT_TRUE(module.Connect(engine.ipReceivers().Port(IpListener::P8096)));
    for (int i = 0; i < count; ++i) {
      module.Send(AdmCid(first + i));
      ASSERT_TRUE(module.WaitReceived(24 + 4 * size_t(i + 1)));
    }
    std::string acks;
    for (int i = 0; i < count; ++i) acks += "ACK\r";
    EXPECT_EQ(module.After(24), acks);
  };
  {
    auto first = start(dir_);
    auto second = start(other);
    send(*first, 1, 3);
    send(*second, 11, 2);
  }  // both gone without a console: every entry is still pending
  auto second = start(other);
  auto first = start(dir_);
  EXPECT_TRUE(WaitFor([&] { return first->consoleQueue().Size() == 3; }));
  EXPECT_EQ(first->consoleQueue().Snapshot(),
            (std::vector<std::string>{Entry(1), Entry(2), Entry(3)}));
  EXPECT_TRUE(WaitFor([&] { return second->consoleQueue().Size() == 2; }));
  EXPECT_EQ(second->consoleQueue().Snapshot(), (std::vector<std::string>{Entry(11), Entry(12)}));
  first.reset();
  second.reset();
}

}  // namespace
}  // namespace quell
