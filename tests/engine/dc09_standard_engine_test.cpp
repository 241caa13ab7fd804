// The standard DC-09 receiver in the running engine: switched on only by
// DC09.ini, fed by the simulator with the shipped sample files over UDP
// and TCP, its events reaching the Wardex client.
#include <gtest/gtest.h>

#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>

#include "core/cp1251.h"
#include "core/hex.h"
#include "engine/engine.h"
#include "ip/client_ports.h"
#include "ip/dc09/standard_dc09.h"
#include "ip/dc09_receiver.h"
#include "sim/dc09/dc09_link.h"
#include "tests/support/dc09_send.h"
#include "tests/support/fake_clock.h"
#include "tests/support/loopback.h"
#include "tests/support/work_files.h"

namespace quell {
namespace {

using test::TestClient;
using test::WaitFor;

class NoSound final : public AlarmSound {
 public:
  void Play() override {}
};

class StandardDc09EngineTest : public ::testing::Test {
 protected:
  StandardDc09EngineTest() { clock_.SetNow(QDateTime::currentDateTime()); }

  void CopySamples() {
    for (const char* name : {"DC09.ini", "SiaToCid.txt"})
      ASSERT_TRUE(QFile::copy(QStringLiteral(QUELL_EXAMPLES_DIR "/dc09/") + QLatin1String(name),
                              dir_.filePath(QLatin1String(name))));
  }
  void Write(const char* name, const std::string& text) {
    ASSERT_TRUE(test::WriteWorkFile(dir_, name, text));
  }
  void Start() {
    EngineOptions options;
    options.workDir = dir_.path().toStdString();
    options.ports = PortSettings::AnyFree();
    engine_ = std::make_unique<Engine>(clock_, prompt_, sound_, options);
    std::string error;
    ASSERT_TRUE(engine_->Start(&error)) << error;
  }
  // Sends count messages and waits until each is settled; the ACK count.
  uint64_t Send(sim::Dc09Message m, quint16 port, uint32_t count = 1, bool tcp = false) {
    return test::SendDc09(std::move(m), port, count, tcp);
  }

  QTemporaryDir dir_;
  test::FakeClock clock_;
  HeadlessPrompt prompt_;
  NoSound sound_;
  std::unique_ptr<Engine> engine_;
};

TEST_F(StandardDc09EngineTest, OffWithoutDc09Ini) {
  Start();
  EXPECT_EQ(engine_->standardDc09(), nullptr);
}

TEST_F(StandardDc09EngineTest, SamplesServeEncryptedSiaDcsAndAdmCidWithAnRField) {
  CopySamples();
  Start();
  ASSERT_NE(engine_->standardDc09(), nullptr);
  EXPECT_EQ(engine_->standardDc09()->tcp(), nullptr);  // TcpPort=0
  TestClient wardex;
  ASSERT_TRUE(wardex.Connect(engine_->clientPorts().WardexPort()));
  ASSERT_TRUE(WaitFor([&] { return engine_->clientPorts().WardexClientCount() == 1; }));

  sim::Dc09Message sia;
  sia.token = "SIA-DCS";
  sia.account = "123F";
  sia.key = *FromHex("000102030405060708090A0B0C0D0E0F");
  sia.zone = 501;
  EXPECT_EQ(Send(sia, engine_->dc09Receiver().Port()), 1u);
  sim::Dc09Message cid;
  cid.account = "AAAA";
  cid.receiver = "1";
  EXPECT_EQ(Send(cid, engine_->dc09Receiver().Port()), 1u);
  sim::Dc09Message text;  // the key typed as text
  text.account = "BEEF";
  text.key = "AAAAAAAAAAAAAAAA";
  EXPECT_EQ(Send(text, engine_->dc09Receiver().Port()), 1u);

  const std::string expected =
      "MLR;5114 18123FE13001501\r;MLR_EVENT|"
      "MLR;5114 18AAAAE13001015\r;MLR_EVENT|"
      "MLR;5114 18BEEFE13001015\r;MLR_EVENT|";
  ASSERT_TRUE(wardex.WaitReceived(expected.size()));
  EXPECT_EQ(wardex.received, expected);
  EXPECT_EQ(engine_->ipModules().Rows().size(), 3u);
}

TEST_F(StandardDc09EngineTest, TcpPortServesPipelinedFramesAndBadLinesAreJournalled) {
  QTcpServer probe;
  ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
  const quint16 port = probe.serverPort();
  probe.close();
  Write("DC09.ini", "[Receiver]\r\nTcpPort=" + std::to_string(port) +
                        "\r\nAnyAccount=yes\r\n[Accounts]\r\n1234=1234\r\n");
  Start();
  ASSERT_NE(engine_->standardDc09(), nullptr);
  ASSERT_NE(engine_->standardDc09()->tcp(), nullptr);
  const auto& journal = engine_->journal().Entries();
  EXPECT_NE(std::find(journal.begin(), journal.end(),
                      "DC09.ini, " + W("строка 3 пропущена (нужно 0 или 1): AnyAccount=yes")),
            journal.end());
  EXPECT_NE(std::find(journal.begin(), journal.end(),
                      W("Нет файла SiaToCid.txt: используется встроенная таблица кодов SIA "
                        "(кодов: 173)")),
            journal.end());
  EXPECT_EQ(Send({}, port, 20, true), 20u);
}

}  // namespace
}  // namespace quell
