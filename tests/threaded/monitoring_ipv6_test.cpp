// The monitoring server on an IPv6 address: its relay thread hands each
// admitted connection to civetweb's loopback listener, which keeps every
// HTTP limit; refused peers are closed unanswered and counted; the bound
// on relayed connections holds; the server stops with connections open.
// Skipped where ::1 cannot be bound.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "monitoring/http_server.h"
#include "tests/support/raw_http.h"

namespace quell {
namespace {

using Steady = std::chrono::steady_clock;
using Blocks = std::vector<std::pair<QHostAddress, int>>;

bool Ipv6LoopbackWorks() {
  const int fd = ::socket(AF_INET6, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_addr = in6addr_loopback;
  const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

int Connect6(int port) {
  return test::ConnectLoopback(AF_INET6, port);
}

std::string Exchange(int port, const std::string& request) {
  return test::Exchange(AF_INET6, port, request);
}

using test::HttpGet;
using test::ReadAll;

bool Starts(const std::string& text, const std::string& head) {
  return text.rfind(head, 0) == 0;
}

class MonitoringIpv6Test : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Ipv6LoopbackWorks()) GTEST_SKIP() << "::1 cannot be bound here (no IPv6 loopback)";
    auto s = std::make_shared<StatusSnapshot>();
    s->published = Steady::now() + std::chrono::hours(1);  // stays live during the test
    s->storeWritable = true;
    box_.Publish(s);
    limits_.requestTimeoutMs = 500;
    limits_.idleTimeoutMs = 500;
  }
  // A server on ::1 at a free port; its port, or 0.
  int Start(const AddressBlocks& admitted = std::nullopt) {
    server_ = std::make_unique<MonitoringServer>(metrics_, box_, [this](std::string text) {
      std::lock_guard<std::mutex> lock(notesLock_);
      notes_.push_back(std::move(text));
    });
    std::string error;
    if (!server_->Listen({"::1", 0, 1}, limits_, admitted, &error)) {
      ADD_FAILURE() << error;
      return 0;
    }
    return server_->Ports().empty() ? 0 : server_->Ports().front();
  }
  std::vector<std::string> Notes() {
    std::lock_guard<std::mutex> lock(notesLock_);
    return notes_;
  }
  std::string RefusedSeries(int port) {
    return "quell_access_refused_total{port=\"" + std::to_string(port) + "\"} ";
  }

  Metrics metrics_{"9.9", {}};
  SnapshotBox box_;
  HttpLimits limits_;
  std::mutex notesLock_;
  std::vector<std::string> notes_;
  std::unique_ptr<MonitoringServer> server_;
};

TEST_F(MonitoringIpv6Test, ServesThePathsThroughTheRelayWithCivetwebsAnswers) {
  const int port = Start();
  ASSERT_GT(port, 0);

  std::string a = Exchange(port, HttpGet("/metrics"));
  EXPECT_TRUE(Starts(a, "HTTP/1.1 200")) << a.substr(0, 300);
  EXPECT_NE(a.find("Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n"),
            std::string::npos);
  EXPECT_NE(a.find("quell_build_info{version=\"9.9\"} 1"), std::string::npos);
  // The whole body arrived: as long as civetweb said.
  const size_t length = a.find("Content-Length: ");
  const size_t body = a.find("\r\n\r\n");
  ASSERT_NE(length, std::string::npos);
  ASSERT_NE(body, std::string::npos);
  EXPECT_EQ(a.size() - body - 4, std::stoul(a.substr(length + 16)));

  EXPECT_TRUE(Starts(Exchange(port, HttpGet("/health/live")), "HTTP/1.1 200"));
  EXPECT_TRUE(Starts(Exchange(port, HttpGet("/health/ready")), "HTTP/1.1 200"));
  EXPECT_TRUE(Starts(Exchange(port, HttpGet("/nothing")), "HTTP/1.1 404"));

  a = Exchange(port,
               "POST /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
               "Content-Length: 3\r\n\r\nabc");
  EXPECT_TRUE(Starts(a, "HTTP/1.1 405")) << a;
  EXPECT_NE(a.find("Allow: GET"), std::string::npos);

  // A request in pieces, then the client's half-close: the answer still
  // comes back whole.
  const int fd = Connect6(port);
  ASSERT_GE(fd, 0);
  const std::string request = HttpGet("/health/live");
  ::send(fd, request.data(), 7, MSG_NOSIGNAL);
  ::send(fd, request.data() + 7, request.size() - 7, MSG_NOSIGNAL);
  ::shutdown(fd, SHUT_WR);
  bool closed = false;
  a = ReadAll(fd, 5000, &closed);
  ::close(fd);
  EXPECT_TRUE(Starts(a, "HTTP/1.1 200")) << a;
  EXPECT_NE(a.find("application/json"), std::string::npos);
  EXPECT_TRUE(closed);
  // civetweb's refusals on the public port: none.
  EXPECT_NE(metrics_.Scrape().find(RefusedSeries(port) + "0\n"), std::string::npos);
}

TEST_F(MonitoringIpv6Test, APeerOutsideTheIpv6BlocksIsClosedUnansweredAndCounted) {
  // ::1 is outside 2001:db8::/32, and IPv4 blocks never admit an IPv6 peer.
  const int refused = Start(Blocks{{QHostAddress(QStringLiteral("2001:db8::")), 32},
                                   {QHostAddress(QStringLiteral("127.0.0.0")), 8}});
  ASSERT_GT(refused, 0);
  for (int i = 0; i < 2; ++i) {
    const int fd = Connect6(refused);
    ASSERT_GE(fd, 0);
    ::send(fd, HttpGet("/metrics").data(), HttpGet("/metrics").size(), MSG_NOSIGNAL);
    bool closed = false;
    EXPECT_EQ(ReadAll(fd, 5000, &closed), "");
    EXPECT_TRUE(closed);
    ::close(fd);
  }
  EXPECT_NE(metrics_.Scrape().find(RefusedSeries(refused) + "2\n"), std::string::npos)
      << metrics_.Scrape();

  // The near miss: ::1/128 admits exactly ::1.
  server_.reset();
  const int admitted = Start(Blocks{{QHostAddress(QStringLiteral("::1")), 128}});
  ASSERT_GT(admitted, 0);
  EXPECT_TRUE(Starts(Exchange(admitted, HttpGet("/metrics")), "HTTP/1.1 200"));
  EXPECT_NE(metrics_.Scrape().find(RefusedSeries(admitted) + "0\n"), std::string::npos);
}

TEST_F(MonitoringIpv6Test, CivetwebsRequestTimeoutClosesACutRequestLine) {
  const int port = Start();
  ASSERT_GT(port, 0);
  const int cut = Connect6(port);
  ASSERT_GE(cut, 0);
  ::send(cut, "GET /met", 8, MSG_NOSIGNAL);
  bool closed = false;
  const std::string a = ReadAll(cut, 5000, &closed);
  ::close(cut);
  EXPECT_TRUE(closed) << a;
  EXPECT_EQ(a.find("200 OK"), std::string::npos);

  // 1 MB of header: an error or a close, never a page.
  const int big = Connect6(port);
  ASSERT_GE(big, 0);
  const std::string request = "GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(1 << 20, 'a');
  ::send(big, request.data(), request.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  const std::string b = ReadAll(big, 5000, &closed);
  ::close(big);
  EXPECT_TRUE(closed || Starts(b, "HTTP/1.1 4")) << b.substr(0, 200);
  EXPECT_EQ(b.find("200 OK"), std::string::npos);

  EXPECT_TRUE(Starts(Exchange(port, HttpGet("/health/live")), "HTTP/1.1 200"));
}

TEST_F(MonitoringIpv6Test, PastTheBoundNewPeersAreClosedUnansweredAndItIsSaidOnce) {
  limits_.maxRelayedConnections = 2;
  limits_.requestTimeoutMs = 20000;  // the two idle ones stay through the test
  const int port = Start();
  ASSERT_GT(port, 0);
  const int first = Connect6(port);
  const int second = Connect6(port);
  ASSERT_GE(first, 0);
  ASSERT_GE(second, 0);
  for (int i = 0; i < 2; ++i) {
    const int over = Connect6(port);
    ASSERT_GE(over, 0);
    bool closed = false;
    EXPECT_EQ(ReadAll(over, 5000, &closed), "");
    EXPECT_TRUE(closed);
    ::close(over);
  }
  const std::vector<std::string> notes = Notes();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].find("relays 2 connections"), std::string::npos) << notes[0];
  // Over the bound is no refusal of the access list.
  EXPECT_NE(metrics_.Scrape().find(RefusedSeries(port) + "0\n"), std::string::npos);

  // One of the two goes: a new peer is served again.
  ::close(first);
  std::string a;
  const auto end = Steady::now() + std::chrono::seconds(5);
  while (!Starts(a, "HTTP/1.1 200") && Steady::now() < end)
    a = Exchange(port, HttpGet("/health/live"));
  EXPECT_TRUE(Starts(a, "HTTP/1.1 200")) << a;
  ::close(second);
}

TEST_F(MonitoringIpv6Test, StopsWithConnectionsOpenAndClosesThem) {
  limits_.requestTimeoutMs = 20000;
  const int port = Start();
  ASSERT_GT(port, 0);
  const int idle = Connect6(port);
  const int cut = Connect6(port);
  ASSERT_GE(idle, 0);
  ASSERT_GE(cut, 0);
  ::send(cut, "GET /met", 8, MSG_NOSIGNAL);
  // Both reached civetweb: a third peer is still answered.
  EXPECT_TRUE(Starts(Exchange(port, HttpGet("/health/live")), "HTTP/1.1 200"));
  server_.reset();
  for (int fd : {idle, cut}) {
    bool closed = false;
    EXPECT_EQ(ReadAll(fd, 5000, &closed), "");
    EXPECT_TRUE(closed);
    ::close(fd);
  }
  EXPECT_LT(Connect6(port), 0);
}

TEST_F(MonitoringIpv6Test, AnIpv6PortInUseIsReportedNotFatal) {
  const int taken = Start();
  ASSERT_GT(taken, 0);
  MonitoringServer second(metrics_, box_);
  std::string error;
  EXPECT_FALSE(second.Listen({"::1", taken, 1}, limits_, std::nullopt, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(second.Ports().empty());
  EXPECT_TRUE(Starts(Exchange(taken, HttpGet("/health/live")), "HTTP/1.1 200"));
}

}  // namespace
}  // namespace quell
