// The IPv6 blocks the monitoring relay admits: prefix lengths that end
// inside a byte, the near misses on either side, and what the access
// list's blocks become for the relay.
#include "monitoring/ipv6_block.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "monitoring/http_server.h"

namespace quell {
namespace {

in6_addr A(const char* text) {
  in6_addr a{};
  EXPECT_EQ(::inet_pton(AF_INET6, text, &a), 1) << text;
  return a;
}

Ipv6Block B(const char* text, int bits) {
  Ipv6Block b;
  const in6_addr a = A(text);
  std::copy(a.s6_addr, a.s6_addr + 16, b.address.begin());
  b.bits = bits;
  return b;
}

TEST(Ipv6BlockTest, APrefixMatchesItsBitsAndNotOneMore) {
  EXPECT_TRUE(InBlock(B("2001:db8::", 32), A("2001:db8:ffff::1")));
  EXPECT_FALSE(InBlock(B("2001:db8::", 32), A("2001:db9::1")));
  // /33 ends inside the fifth byte: 0x7f is in, 0x80 is out.
  EXPECT_TRUE(InBlock(B("2001:db8::", 33), A("2001:db8:7fff::")));
  EXPECT_FALSE(InBlock(B("2001:db8::", 33), A("2001:db8:8000::")));
  EXPECT_TRUE(InBlock(B("::1", 128), A("::1")));
  EXPECT_FALSE(InBlock(B("::1", 128), A("::2")));
  EXPECT_TRUE(InBlock(B("::", 0), A("fe80::1")));
  // An IPv4-mapped peer is no IPv6 loopback.
  EXPECT_FALSE(InBlock(B("::1", 128), A("::ffff:127.0.0.1")));
}

TEST(Ipv6BlockTest, NoListAdmitsAnyoneAndAnEmptyOneNobody) {
  EXPECT_TRUE(Admits(std::nullopt, A("2001:db8::1")));
  EXPECT_FALSE(Admits(std::vector<Ipv6Block>{}, A("::1")));
  const Ipv6Blocks two = std::vector<Ipv6Block>{B("fd00::", 8), B("::1", 128)};
  EXPECT_TRUE(Admits(two, A("fdff::9")));
  EXPECT_TRUE(Admits(two, A("::1")));
  EXPECT_FALSE(Admits(two, A("fe00::1")));
}

TEST(Ipv6BlockTest, TheRelayTakesTheIpv6BlocksOfTheAccessList) {
  EXPECT_FALSE(RelayBlocks(std::nullopt).has_value());
  using Blocks = std::vector<std::pair<QHostAddress, int>>;
  const Ipv6Blocks blocks = RelayBlocks(Blocks{{QHostAddress(QStringLiteral("10.0.0.0")), 8},
                                               {QHostAddress(QStringLiteral("2001:db8::")), 32}});
  ASSERT_TRUE(blocks.has_value());
  ASSERT_EQ(blocks->size(), 1u);
  EXPECT_EQ((*blocks)[0].bits, 32);
  EXPECT_TRUE(Admits(blocks, A("2001:db8::5")));
  // Only IPv4 entries: the relay admits no IPv6 peer.
  const Ipv6Blocks none = RelayBlocks(Blocks{{QHostAddress(QStringLiteral("127.0.0.1")), 32}});
  ASSERT_TRUE(none.has_value());
  EXPECT_FALSE(Admits(none, A("::1")));
}

}  // namespace
}  // namespace quell
