// The trace file's own writer: blocks handed over while the disk is slow
// wait up to the bound (a block that reaches it exactly is kept), later ones
// are left out and counted, and the file says how many once it is written.
#include <gmock/gmock.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/trace_file.h"
#include "tests/support/fake_clock.h"

namespace quell {
namespace {

TEST(TraceWriterTest, BlocksPastTheBoundAreLeftOutCountedAndSaid) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Trace")));
  test::FakeClock clock{QDateTime(QDate(2026, 12, 8), QTime(14, 3, 27))};
  const QString path = dir.path() + QStringLiteral("/Trace/Trace8x12x26.txt");
  const size_t header = TraceFile::Header(clock.Now()).size() + 2;
  {
    TraceFile file(clock, QFile::encodeName(dir.path()).toStdString());
    {
      auto held = file.HoldWriter();  // the disk does not take anything now
      // One block of exactly the bound: kept.
      file.Defer({std::string(TraceFile::kMostWaitingBytes - header - 2, 'a')});
      file.Defer({"b1", "b2"});  // past it: left out
      file.Defer({"c"});
      EXPECT_EQ(file.LeftOutLines(), 3u);
    }
    file.WriteDeferred();
    file.Defer({"after"});
  }
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray bytes = f.readAll();
  const QByteArray said =
      "3 trace lines were left out here: the disk took them slower than they came\r\n";
  EXPECT_EQ(qsizetype(TraceFile::kMostWaitingBytes) + said.size() + qsizetype(header) + 7,
            bytes.size());
  EXPECT_EQ(bytes.mid(qsizetype(TraceFile::kMostWaitingBytes), said.size()), said);
  EXPECT_TRUE(bytes.endsWith("after\r\n"));
  EXPECT_FALSE(bytes.contains("b1"));
}

TEST(TraceWriterTest, BlocksFromSeveralThreadsAllArriveWhole) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Trace")));
  test::FakeClock clock{QDateTime(QDate(2026, 12, 8), QTime(14, 3, 27))};
  {
    TraceFile file(clock, QFile::encodeName(dir.path()).toStdString());
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
      threads.emplace_back([&file, t] {
        for (int i = 0; i < 200; ++i)
          file.Defer({"t" + std::to_string(t) + " " + std::to_string(i)});
      });
    for (auto& th : threads) th.join();
  }
  QFile f(dir.path() + QStringLiteral("/Trace/Trace8x12x26.txt"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray bytes = f.readAll();
  EXPECT_EQ(bytes.count("Date/Time: "), 600);
  for (int t = 0; t < 3; ++t) EXPECT_TRUE(bytes.contains("t" + QByteArray::number(t) + " 199\r\n"));
}

}  // namespace
}  // namespace quell
