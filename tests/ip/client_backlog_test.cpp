// A station client that connects and never reads.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>

#include "ip/client_ports.h"
#include "ip/notice_drain.h"
#include "tests/ip/ip_fixture.h"
#include "tests/support/loopback.h"

namespace quell {
namespace {

// A plain socket with a small receive buffer that is never read.
class SilentClient {
 public:
  explicit SilentClient(quint16 port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    int size = 4096;
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
  }
  ~SilentClient() { ::close(fd_); }
  bool Connected() const { return connected_; }

 private:
  int fd_;
  bool connected_ = false;
};

class ClientBacklogTest : public test::IpFixture {};

TEST_F(ClientBacklogTest, ClientThatNeverReadsIsLetGoAndTheNextGetsTheFeed) {
  clients.SetMaxUnsentBytes(64 * 1024);
  for (const bool wardex : {true, false}) {
    auto send = [&](const std::string& text) {
      if (wardex)
        clients.SendToFirstWardex(NoticeOrigin::Relay, text);
      else
        clients.SendToFirstConsole2(text);
    };
    auto count = [&] {
      return wardex ? clients.WardexClientCount() : clients.Console2ClientCount();
    };
    const quint16 number = wardex ? clients.WardexPort() : clients.Console2Port();
    SilentClient stuck(number);
    ASSERT_TRUE(stuck.Connected());
    ASSERT_TRUE(test::WaitFor([&] { return count() == 1; }));
    test::TestClient reader;
    ASSERT_TRUE(reader.Connect(number));
    ASSERT_TRUE(test::WaitFor([&] { return count() == 2; }));

    // Far more than the system's socket buffers take: the rest waits in
    // the gateway until the limit lets the client go.
    const std::string text(1024, 'e');
    size_t sent = 0;
    while (count() == 2 && sent < 64 * 1024 * 1024) {
      for (int i = 0; i < 64; ++i) send(text);
      sent += 64 * text.size();
      QCoreApplication::processEvents();
    }
    ASSERT_EQ(count(), 1) << sent << " bytes sent";
    EXPECT_NE(journal.Entries().front().find("DisConnect"), std::string::npos);
    // From the moment the stuck client went, the reader is first: what
    // followed in the same burst and the next text are its.
    send("next");
    ASSERT_TRUE(test::WaitFor([&] { return reader.received.ends_with("next"); }));
    EXPECT_EQ(reader.received.find_first_not_of('e'), reader.received.size() - 4);
    EXPECT_EQ((reader.received.size() - 4) % text.size(), 0u);
  }
}

// The only client is let go while a notice is being sent to it: the notice
// is not lost but waits for the next client.
TEST_F(ClientBacklogTest, NoticeSentAsTheOnlyClientIsLetGoWaitsForTheNext) {
  clients.SetMaxUnsentBytes(64 * 1024);
  NoticeDrain drain{clock, trace, journal, notices, clients};
  SilentClient stuck(clients.WardexPort());
  ASSERT_TRUE(stuck.Connected());
  ASSERT_TRUE(test::WaitFor([&] { return clients.WardexClientCount() == 1; }));
  // Relayed texts fill what the client leaves unread.
  const std::string text = "VORTI" + std::string(1019, 'e');
  for (int i = 0; i < 64 * 1024 && clients.WardexClientCount() == 1; ++i) {
    notices.Append(NoticeOrigin::Relay, text);
    drain.Tick();
    if (i % 64 == 0) QCoreApplication::processEvents();
  }
  ASSERT_EQ(clients.WardexClientCount(), 0);
  const std::string status = "QUELL_LINE_STATUS&L1&ON";
  notices.Append(NoticeOrigin::LineStatus, status);
  ASSERT_EQ(notices.Size(), 2u);  // the text whose send found no client, then ours

  test::TestClient next;
  ASSERT_TRUE(next.Connect(clients.WardexPort()));
  ASSERT_TRUE(test::WaitFor([&] { return clients.WardexClientCount() == 1; }));
  drain.Tick();
  drain.Tick();
  ASSERT_TRUE(next.WaitReceived(text.size() + status.size()));
  EXPECT_EQ(next.received, text + status);
}

}  // namespace
}  // namespace quell
