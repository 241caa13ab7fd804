// The access lists of "\ClientAccess.ini": what the file holds, which
// addresses each list admits, and how refusals are journalled.
#include "ip/client_access.h"

#include <gtest/gtest.h>

#include "tests/support/fake_clock.h"

namespace quell {
namespace {

TEST(ClientAccessFile, SectionsCommentsAndStrayLines) {
  const ClientAccessFile f = ParseClientAccessFile({
      "127.0.0.1",  // before any section
      "; only the station's own hosts",
      "[Clients]",
      "  10.0.0.5   ; the operator desk",
      "",
      "[modules]",
      "[Other]",
      "1.2.3.4",
  });
  ASSERT_TRUE(f.clients && f.modules);
  EXPECT_FALSE(f.relay);
  ASSERT_EQ(f.clients->size(), 1u);
  EXPECT_EQ((*f.clients)[0].text, "10.0.0.5");
  EXPECT_EQ((*f.clients)[0].lineNumber, 4);
  EXPECT_TRUE(f.modules->empty());  // present, and so admitting nobody
  ASSERT_EQ(f.stray.size(), 3u);
  EXPECT_EQ(f.stray[1].text, "[Other]");
}

TEST(ClientAccess, ListsMatchAddressesAndBlocksOfBothFamilies) {
  test::FakeClock clock;
  Journal journal;
  ClientAccess access(clock, journal);
  ClientAccessFile file = ParseClientAccessFile(
      {"[Clients]", "127.0.0.1", "10.1.0.0/16", "2001:db8::/32", "::ffff:192.168.5.5",
       "10.0.0.0/33", "10.0.0.0/+8", "host.example", "[Modules]", "[Relay]", "10.9.9.9"});
  access.Load(file);
  ASSERT_EQ(journal.Size(), 4u);
  EXPECT_EQ(journal.Entries().back(), "ClientAccess.ini line 6 skipped: 10.0.0.0/33");
  // What was read, on top: the valid entries of each section.
  EXPECT_EQ(journal.Entries().front(),
            "ClientAccess.ini read: [Clients] 4 entries, [Relay] 1 entry, [Modules] no valid "
            "entry (nobody)");

  const struct {
    const char* peer;
    bool clients;
  } cases[] = {
      {"127.0.0.1", true},    {"::ffff:127.0.0.1", true},  // as a dual-stack listener sees it
      {"127.0.0.2", false},   {"10.1.255.255", true},
      {"10.2.0.0", false},    {"2001:db8:ffff::1", true},
      {"2001:db9::1", false}, {"192.168.5.5", true},
      {"::1", false},         {"::127.0.0.1", false},  // no mapped address
  };
  for (const auto& c : cases) {
    const QHostAddress peer(QString::fromLatin1(c.peer));
    EXPECT_EQ(access.Admits(AccessGroup::Clients, peer), c.clients) << c.peer;
    EXPECT_FALSE(access.Admits(AccessGroup::Modules, peer)) << c.peer;  // empty section
  }
  EXPECT_TRUE(access.Admits(AccessGroup::Relay, QHostAddress(QStringLiteral("10.9.9.9"))));
  EXPECT_FALSE(access.Admits(AccessGroup::Relay, QHostAddress(QStringLiteral("127.0.0.1"))));

  // Without [Relay] the relay port takes [Clients]; without a file all is open.
  file.relay.reset();
  access.Load(file);
  EXPECT_TRUE(access.Admits(AccessGroup::Relay, QHostAddress(QStringLiteral("127.0.0.1"))));
  access.Load(ClientAccessFile{});
  for (AccessGroup g : {AccessGroup::Clients, AccessGroup::Relay, AccessGroup::Modules})
    EXPECT_TRUE(access.Open(g));
}

// An address is named at most once a minute, at most 100 addresses a
// minute; the rest get one count line when the minute ends.
TEST(ClientAccess, RefusalsAreJournalledWithinTheRateLimits) {
  test::FakeClock clock;
  Journal journal;
  ClientAccess access(clock, journal);
  access.Load(ParseClientAccessFile({"[Modules]", "127.0.0.1"}));
  EXPECT_EQ(journal.Entries().front(),
            "ClientAccess.ini read: [Clients] any address (no section), [Relay] as [Clients], "
            "[Modules] 1 entry");
  journal.Clear();
  auto refuse = [&](int host) {
    const QHostAddress sender(QStringLiteral("10.0.%1.%2").arg(host / 256).arg(host % 256));
    EXPECT_TRUE(access.RefusesDatagram(AccessGroup::Modules, sender, 8005));
  };
  for (int host = 0; host < ClientAccess::kNamedPerWindow; ++host) refuse(host);
  refuse(0);  // named already this minute
  EXPECT_EQ(journal.Size(), size_t(ClientAccess::kNamedPerWindow));
  EXPECT_EQ(journal.Entries().front(), "Access refused: IP 10.0.0.99 on UDP port 8005");
  for (int host = 100; host < 150; ++host) refuse(host);
  EXPECT_EQ(journal.Size(), 100u);

  clock.Advance(ClientAccess::kRefusalWindowMs - 1);
  access.FlushRefusals();
  EXPECT_EQ(journal.Size(), 100u);
  clock.Advance(1);
  access.FlushRefusals();
  ASSERT_EQ(journal.Size(), 101u);
  EXPECT_EQ(journal.Entries().front(),
            "Access refused: 50 more times from addresses not named this minute");
  refuse(0);  // a new minute names it again
  EXPECT_EQ(journal.Entries().front(), "Access refused: IP 10.0.0.0 on UDP port 8005");
  EXPECT_FALSE(
      access.RefusesDatagram(AccessGroup::Modules, QHostAddress(QStringLiteral("127.0.0.1")), 1));
}

}  // namespace
}  // namespace quell
