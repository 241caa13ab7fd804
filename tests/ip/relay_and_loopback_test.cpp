// The relay port's texts reach the Wardex client but never the key
// translation, and the loopback client's answers from the object table.
#include <gtest/gtest.h>

#include "ip/loopback_client.h"
#include "ip/notice_drain.h"
#include "ip/relay_listener.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fakes.h"
#include "tests/support/loopback.h"

namespace quell {
namespace {

class RelayTest : public ::testing::Test {
 protected:
  RelayTest() {
    ports_.relay = 0;
    drain_.SetResultHook([this](const std::string& notice) { translated_.push_back(notice); });
  }

  test::FakeClock clock_;
  TraceView trace_;
  NoticeList notices_;
  test::FakeClientFeed clients_;
  PortSettings ports_;
  RelayListener relay_{trace_, notices_, clients_, ports_};
  Journal journal_;
  NoticeDrain drain_{clock_, trace_, journal_, notices_, clients_};
  std::vector<std::string> translated_;
};

TEST_F(RelayTest, RelayedTextsReachTheClientOnlyAndOnlyWithOne) {
  relay_.Relay("VORTI_2;L1;+7900;XCALL_GUARD_OFF;|");  // no client yet: dropped
  clients_.wardexClients = 1;
  relay_.Relay("MLR;5011 181234E13001015");  // not a receiver text: dropped
  ASSERT_TRUE(relay_.Listen());
  test::TestClient peer;
  ASSERT_TRUE(peer.Connect(relay_.Port()));
  peer.Send("VORTI_2;L1;+7900;XCALL_GUARD_OFF;|");
  ASSERT_TRUE(test::WaitFor([&] { return notices_.Size() == 1; }));
  AppendRelayTestText(notices_);
  notices_.Append(NoticeOrigin::CallerIdDialledResult, "L1;+7900;XCALL_GUARD_ON;|");
  for (int i = 0; i < 3; ++i) drain_.Tick();
  EXPECT_EQ(clients_.wardex, (std::vector<std::string>{"VORTI_2;L1;+7900;XCALL_GUARD_OFF;|",
                                                       "VORTI_1;00 0887 C4;VORTI;VORTI_EVENT|",
                                                       "L1;+7900;XCALL_GUARD_ON;|"}));
  EXPECT_EQ(translated_, std::vector<std::string>{"L1;+7900;XCALL_GUARD_ON;|"});
  EXPECT_EQ(clients_.origins,
            (std::vector<NoticeOrigin>{NoticeOrigin::Relay, NoticeOrigin::TestButton,
                                       NoticeOrigin::CallerIdDialledResult}));
}

TEST(LoopbackClientTest, IncomingCallsAreAnsweredFromTheObjectTable) {
  const std::vector<std::string> objects = {"Shop1\t+79005550000\tR1", "Shop7\t+79001112233\tR2",
                                            "\t+79009990000\tR9"};
  const std::pair<const char*, const char*> cases[] = {
      {"L1;+79001112233;GSM XCALL;0;CRING;", "L1;ATA;Shop7;R2"},
      {"L1;+79004443322;GSM XCALL;0;CRING;", "L1;ATH;"},
      {"L1;+79009990000;GSM XCALL;0;CRING;", "L1;ATH;"},  // a record without an object
      {"L1;+79001112233;XCALL_KEY02;Shop7;CID|;", ""},
  };
  for (const auto& [notice, request] : cases)
    EXPECT_EQ(LoopbackClient::AnswerFor(notice, objects), request) << notice;
}

}  // namespace
}  // namespace quell
