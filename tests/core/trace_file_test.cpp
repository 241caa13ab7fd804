#include "core/trace_file.h"

#include <gmock/gmock.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/cp1251.h"
#include "core/trace_view.h"
#include "tests/support/fake_clock.h"

namespace quell {
namespace {

using test::FakeClock;

class TraceFileTest : public ::testing::Test {
 protected:
  std::string WorkDir() const { return QFile::encodeName(dir_.path()).toStdString(); }
  void MakeTraceDir() { ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("Trace"))); }
  QByteArray ReadTrace(const QString& name) const {
    QFile f(dir_.path() + QStringLiteral("/Trace/") + name);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
  }
  QStringList TraceFiles() const {
    return QDir(dir_.path() + QStringLiteral("/Trace")).entryList(QDir::Files);
  }
  // The view wired to the file as the engine wires it.
  void Feed(TraceView& view, TraceFile& file, int count, const std::string& prefix = "line ") {
    view.SetFlusher(file.Flusher());
    for (int i = 1; i <= count; ++i) view.Append(prefix + std::to_string(i));
  }

  QTemporaryDir dir_;
  FakeClock clock_{QDateTime(QDate(2026, 12, 8), QTime(14, 3, 27))};
};

TEST_F(TraceFileTest, NamesAndHeaderUseDayWithoutLeadingZero) {
  EXPECT_EQ(TraceFile::FileName(QDate(2026, 12, 8)), "Trace8x12x26.txt");
  EXPECT_EQ(TraceFile::FileName(QDate(2031, 1, 25)), "Trace25x01x31.txt");
  EXPECT_EQ(TraceFile::FileName(QDate(2000, 3, 1)), "Trace1x03x00.txt");
  EXPECT_EQ(TraceFile::Header(QDateTime(QDate(2026, 2, 3), QTime(4, 5, 6))),
            "Date/Time: 3/02/26 / 04:05:06");
}

TEST_F(TraceFileTest, FiftyFirstLineFlushesHeaderAndAllLinesThenAppends) {
  MakeTraceDir();
  TraceFile file(clock_, WorkDir());
  TraceView view;
  Feed(view, file, 50);
  EXPECT_TRUE(TraceFiles().isEmpty());
  EXPECT_EQ(view.Size(), 50u);

  view.Append("line 51");
  EXPECT_EQ(view.Size(), 0u);
  QByteArray expected = "Date/Time: 8/12/26 / 14:03:27\r\n";
  for (int i = 1; i <= 51; ++i) expected += "line " + QByteArray::number(i) + "\r\n";
  EXPECT_EQ(ReadTrace(QStringLiteral("Trace8x12x26.txt")), expected);

  // A second block goes to the end of the same file; Windows-1251 bytes stay as they are.
  clock_.Advance(60 * 1000);
  const std::string cyr = W("Линия");
  ASSERT_TRUE(file.Write({cyr}));
  expected += "Date/Time: 8/12/26 / 14:04:27\r\n" + QByteArray::fromStdString(cyr) + "\r\n";
  EXPECT_EQ(ReadTrace(QStringLiteral("Trace8x12x26.txt")), expected);
  EXPECT_EQ(TraceFiles(), QStringList{QStringLiteral("Trace8x12x26.txt")});
}

TEST_F(TraceFileTest, WithoutTraceDirectoryNothingIsWrittenAndViewStillEmpties) {
  TraceFile file(clock_, WorkDir());
  TraceView view;
  Feed(view, file, 51);
  EXPECT_EQ(view.Size(), 0u);
  EXPECT_FALSE(file.Write({"x"}));
  EXPECT_FALSE(QDir(dir_.path() + QStringLiteral("/Trace")).exists());
  EXPECT_TRUE(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

TEST_F(TraceFileTest, PlainFileNamedTraceIsNotADirectory) {
  QFile plain(dir_.path() + QStringLiteral("/Trace"));
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.close();
  TraceFile file(clock_, WorkDir());
  EXPECT_FALSE(file.Write({"x"}));
  EXPECT_EQ(plain.size(), 0);
}

TEST_F(TraceFileTest, FlushJustAfterMidnightGoesWhollyToNewDay) {
  MakeTraceDir();
  TraceFile file(clock_, WorkDir());
  TraceView view;
  clock_.SetNow(QDateTime(QDate(2026, 12, 8), QTime(23, 59, 59)));
  Feed(view, file, 50, "old ");
  clock_.Advance(2000);  // 00:00:01 on the 9th
  view.Append("new");

  EXPECT_EQ(TraceFiles(), QStringList{QStringLiteral("Trace9x12x26.txt")});
  const QByteArray text = ReadTrace(QStringLiteral("Trace9x12x26.txt"));
  EXPECT_TRUE(text.startsWith("Date/Time: 9/12/26 / 00:00:01\r\nold 1\r\n"));
  EXPECT_TRUE(text.endsWith("old 50\r\nnew\r\n"));
  EXPECT_EQ(text.count("\r\n"), 52);
}

TEST_F(TraceFileTest, UnwritableFileReportsFailure) {
  MakeTraceDir();
  // A directory in place of the day's file cannot be opened for appending.
  ASSERT_TRUE(
      QDir(dir_.path() + QStringLiteral("/Trace")).mkdir(QStringLiteral("Trace8x12x26.txt")));
  TraceFile file(clock_, WorkDir());
  TraceView view;
  Feed(view, file, 51);
  EXPECT_EQ(view.Size(), 0u);
  EXPECT_FALSE(file.Write({"x"}));
}

TEST_F(TraceFileTest, DeferredBlocksAreWrittenTogetherWithTheSameBytes) {
  MakeTraceDir();
  QTemporaryDir direct;
  ASSERT_TRUE(QDir(direct.path()).mkdir(QStringLiteral("Trace")));
  TraceFile now(clock_, QFile::encodeName(direct.path()).toStdString());
  const QString name = QStringLiteral("Trace8x12x26.txt");
  {
    TraceFile file(clock_, WorkDir());
    TraceView view;
    view.SetFlusher(file.DeferredFlusher());
    TraceView reference;
    reference.SetFlusher(now.Flusher());
    for (int i = 1; i <= 160; ++i) {
      if (i == 120) clock_.Advance(1000);  // a later block has a later header
      view.Append("line " + std::to_string(i));
      reference.Append("line " + std::to_string(i));
    }
    file.WriteDeferred();  // what the writer has not written yet
    const QByteArray written = ReadTrace(name);
    QFile f(direct.path() + QStringLiteral("/Trace/") + name);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(written, f.readAll());
    EXPECT_EQ(written.count("Date/Time: "), 3);

    // A block still waiting when the file goes is written by its end (7
    // lines were left in the view: the 44th more makes it flush).
    for (int i = 1; i <= 44; ++i) view.Append("last " + std::to_string(i));
  }
  EXPECT_TRUE(ReadTrace(name).endsWith("last 44\r\n"));
}

}  // namespace
}  // namespace quell
