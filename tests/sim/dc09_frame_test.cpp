#include "sim/dc09/dc09_frame.h"

#include <gtest/gtest.h>

#include <QTimeZone>

namespace quell::sim {
namespace {

TEST(Dc09Frame, CrcMatchesKnownValues) {
  const std::pair<std::string_view, uint16_t> cases[] = {
      {"123456789", 0xBB3D},  // the CRC's check value
      {"A", 0x30C0},
      {"", 0x0000},
      {"\"ACK\"0001L0#1234[]", 0x1BC1},
  };
  for (const auto& [bytes, crc] : cases) EXPECT_EQ(Dc09Crc(bytes), crc) << bytes;
}

TEST(Dc09Frame, FramesABodyLikeAHandBuiltDatagram) {
  const std::string body = "\"ADM-CID\"0001L0#1234[#1234|1130 01 015]_12:00:00,01-01-2020";
  EXPECT_EQ(Dc09Frame(body), "\nD36E003B" + body + "\r");
}

TEST(Dc09Frame, TimestampIsUtc) {
  const QDateTime moscow(QDate(2021, 1, 1), QTime(2, 59, 59), QTimeZone(3 * 3600));
  EXPECT_EQ(Dc09Timestamp(moscow), "_23:59:59,12-31-2020");
}

TEST(Dc09Frame, ParsesReplies) {
  using K = Dc09Reply::Kind;
  const struct {
    std::string datagram;
    K kind;
    bool framed, crcOk;
    std::string echo;
  } cases[] = {
      {"\n1BC10012\"ACK\"0001L0#1234[]\r", K::Ack, true, true, "0001L0#1234[]"},
      {"\n1bc10012\"ACK\"0001L0#1234[]\r", K::Ack, true, true, "0001L0#1234[]"},
      {"\n1BC20012\"ACK\"0001L0#1234[]\r", K::Ack, true, false, "0001L0#1234[]"},
      // The CR ending the echoed timestamp is covered by the CRC.
      {"\n693B0026\"NACK\"0000R0L0A0[]_12:00:00,01-01-2020\r\r", K::Nack, true, true,
       "0000R0L0A0[]_12:00:00,01-01-2020\r"},
      {"\n3B910026\"NACK\"0000R0L0A0[]_12:00:00,01-01-2020\r\r", K::Nack, true, false,
       "0000R0L0A0[]_12:00:00,01-01-2020\r"},
      {"\n1BC10012\"ACK\"0001L0#1234[]", K::Other, false, false, ""},  // no final CR
      {"\nXYZW0012\"ACK\"0001L0#1234[]\r", K::Other, false, false, ""},
      {"ACK\r", K::Other, false, false, ""},
  };
  for (const auto& c : cases) {
    const Dc09Reply reply = ParseDc09Reply(c.datagram);
    EXPECT_EQ(reply.kind, c.kind) << c.datagram;
    EXPECT_EQ(reply.framed, c.framed) << c.datagram;
    EXPECT_EQ(reply.crcOk, c.crcOk) << c.datagram;
    EXPECT_EQ(reply.echo, c.echo) << c.datagram;
  }
}

}  // namespace
}  // namespace quell::sim
