// quell-events: its options, local times and the readable line of a row.
#include "store/history_text.h"

#include <gtest/gtest.h>

#include <QDateTime>

namespace quell {
namespace {

int64_t Local(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
  return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms)).toMSecsSinceEpoch();
}

TEST(HistoryTextTest, LocalTimesAtEachPrecision) {
  const struct {
    const char* text;
    bool end;
    std::optional<int64_t> ms;
  } cases[] = {
      {"2026-12-09", false, Local(2026, 12, 9, 0, 0, 0)},
      {"2026-12-09", true, Local(2026, 12, 9, 23, 59, 59, 999)},
      {"2026-12-09 23:01", true, Local(2026, 12, 9, 23, 1, 59, 999)},
      {"2026-12-09 23:01:05", false, Local(2026, 12, 9, 23, 1, 5)},
      {"2026-12-09 23:01:05", true, Local(2026, 12, 9, 23, 1, 5, 999)},
      {"2026-12-09 23", false, std::nullopt},  // near-misses
      {"2026-12-9", false, std::nullopt},
      {"2026-13-01", false, std::nullopt},
      {"2026-12-09T23:01", false, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseLocalTime(c.text, c.end), c.ms) << c.text;
}

TEST(HistoryTextTest, OptionsAndTheirErrors) {
  std::string error;
  const auto o =
      ParseHistoryOptions({"--workdir", "/var/lib/quell-server", "--account", "1234", "--since",
                           "2026-12-09", "--until", "2026-12-09", "--format", "csv"},
                          &error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->workDir, "/var/lib/quell-server");
  EXPECT_EQ(o->query.account, "1234");
  EXPECT_EQ(o->query.sinceMs, Local(2026, 12, 9, 0, 0, 0));
  EXPECT_EQ(o->query.untilMs, Local(2026, 12, 9, 23, 59, 59, 999));
  EXPECT_EQ(o->format, HistoryFormat::Csv);
  EXPECT_FALSE(o->query.newestFirst);
  EXPECT_TRUE(o->node.empty());
  EXPECT_EQ(ParseHistoryOptions({"--node", "gw-2"}, &error)->node, "gw-2");

  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--account"},
                                              {"--format", "xml"},
                                              {"--since", "yesterday"},
                                              {"--acount", "1234"}}) {
    error.clear();
    EXPECT_FALSE(ParseHistoryOptions(bad, &error));
    EXPECT_FALSE(error.empty());
  }
  for (const char* help : {"--help", "-h"}) {
    const auto o = ParseHistoryOptions({"--account", "1234", help}, &error);
    ASSERT_TRUE(o) << help;
    EXPECT_TRUE(o->help);
  }
}

TEST(HistoryTextTest, LineShowsControlBytesEscapedAndRussianAsUtf8) {
  EventRow row;
  row.seq = 7;
  row.receivedMs = Local(2026, 12, 9, 23, 1, 5, 42);
  row.road = "mlr";
  row.line = "\xCB\xE8\xED\xE8\xFF 1";  // "Линия 1" in Windows-1251
  row.account = "1234";
  row.consoleText = "5011 181234E13001015\x14";
  row.console = EventFate::Pending;
  row.notice = EventFate::Delivered;
  EXPECT_EQ(HistoryLine(row, HistoryFormat::Text),
            "2026-12-09 23:01:05.042  mlr Линия 1  -  1234  5011 181234E13001015  "
            "console pending, client delivered");
  // The terminators are left out of the text line only; a CR inside stays visible.
  row.consoleText = "5011 18\r34E13001015\r\x14";
  EXPECT_EQ(HistoryLine(row, HistoryFormat::Text),
            "2026-12-09 23:01:05.042  mlr Линия 1  -  1234  5011 18\\x0D34E13001015  "
            "console pending, client delivered");
  EXPECT_NE(HistoryLine(row, HistoryFormat::Csv).find("\"5011 18\\x0D34E13001015\\x0D\\x14\""),
            std::string::npos);
  row.peer = "10.0.0.5";
  row.consoleText = "a\"b\x7F";
  row.notice = EventFate::None;
  EXPECT_EQ(HistoryLine(row, HistoryFormat::Csv),
            "7,2026-12-09 23:01:05.042,\"mlr\",\"Линия 1\",\"10.0.0.5\",\"1234\","
            "\"a\"\"b\\x7F\",\"console pending, client -\"");
}

}  // namespace
}  // namespace quell
