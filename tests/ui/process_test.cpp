// The process-level pieces of the window program: one copy per session,
// termination signals, and the journal on standard output.
#include <gmock/gmock.h>
#include <unistd.h>
#include <QEventLoop>
#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>
#include <cstdlib>

#include "app/signals.h"
#include "app/single_instance.h"
#include "app/stdout_journal.h"
#include "core/cp1251.h"

namespace quell {
namespace {

// Runs the event loop until signal fires or five seconds pass.
template <typename Sender, typename Signal>
bool WaitFor(Sender* sender, Signal signal) {
  QEventLoop loop;
  bool fired = false;
  QObject::connect(sender, signal, &loop, [&] {
    fired = true;
    loop.quit();
  });
  QTimer::singleShot(5000, &loop, &QEventLoop::quit);
  loop.exec();
  return fired;
}

TEST(SingleInstanceTest, SecondCopyIsRefusedAndAsksFirstToShow) {
  QTemporaryDir dir;
  auto first = std::make_unique<SingleInstance>(dir.path(), nullptr);
  ASSERT_TRUE(first->Acquire());

  SingleInstance second(dir.path(), nullptr);
  EXPECT_FALSE(second.Acquire());
  EXPECT_TRUE(second.AskRunningToShow(2000));
  EXPECT_TRUE(WaitFor(first.get(), &SingleInstance::showRequested));

  // Once the first copy has ended, a new one runs, replacing the old socket.
  first.reset();
  SingleInstance third(dir.path(), nullptr);
  EXPECT_TRUE(third.Acquire());
  SingleInstance fourth(dir.path(), nullptr);
  EXPECT_TRUE(fourth.AskRunningToShow(2000));
  EXPECT_TRUE(WaitFor(&third, &SingleInstance::showRequested));
}

// A copy that crashed leaves its lock file behind. When the new copy gets
// the same process id (a restarted container numbers its processes from 1
// again), the lock names a live process of the same program: this one.
TEST(SingleInstanceTest, LockLeftByCrashedCopyWithOurPidIsTakenOver) {
  QTemporaryDir dir;
  const QString lockPath = dir.path() + QStringLiteral("/QuellServerApp.lock");
  QByteArray leftBehind;
  {
    QLockFile earlier(lockPath);
    ASSERT_TRUE(earlier.tryLock(0));
    QFile file(lockPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    leftBehind = file.readAll();
  }
  QFile file(lockPath);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(leftBehind);
  file.close();

  SingleInstance restarted(dir.path(), nullptr);
  EXPECT_TRUE(restarted.Acquire());
  // It now holds the lock as any first copy does.
  SingleInstance second(dir.path(), nullptr);
  EXPECT_FALSE(second.Acquire());
}

TEST(SingleInstanceTest, LockThatCannotBeMadeDoesNotStopTheGateway) {
  SingleInstance guardless(QStringLiteral("/nonexistent-quell-dir"), nullptr);
  EXPECT_TRUE(guardless.Acquire());
}

TEST(SingleInstanceTest, AskingWithoutRunningCopyFailsAtOnce) {
  QTemporaryDir dir;
  SingleInstance lonely(dir.path(), nullptr);
  EXPECT_FALSE(lonely.AskRunningToShow(2000));
}

TEST(TerminationSignalsTest, TermAndIntArriveOnTheEventLoop) {
  TerminationSignals signals;
  for (int signo : {SIGTERM, SIGINT}) {
    int count = 0;
    auto c = QObject::connect(&signals, &TerminationSignals::terminateRequested, [&] { ++count; });
    ASSERT_EQ(std::raise(signo), 0);
    EXPECT_TRUE(WaitFor(&signals, &TerminationSignals::terminateRequested)) << signo;
    EXPECT_EQ(count, 1);
    QObject::disconnect(c);
  }
}

// The gateway's standard output may be a pipe into a log reader; when that
// reader ends, the next journal line must not end the gateway.
TEST(StdoutJournalTest, ReaderOfStandardOutputGoneDoesNotEndTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        IgnoreBrokenPipe();
        int ends[2];
        if (::pipe(ends) != 0) std::_Exit(2);
        ::close(ends[0]);
        ::dup2(ends[1], STDOUT_FILENO);
        SystemClock clock;
        StdoutJournal(clock).Print("5011 181234E13001015");
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(StdoutJournalTest, OneUtf8LinePerEntryWithTimeStamp) {
  const QDateTime at(QDate(2026, 12, 8), QTime(9, 5, 7));
  EXPECT_EQ(StdoutJournal::Line(at, W("Порт клиента WX: 8040")),
            "2026-12-08 09:05:07 Порт клиента WX: 8040");
  EXPECT_EQ(StdoutJournal::Line(at, "5011 181234E13001015\r"),
            "2026-12-08 09:05:07 5011 181234E13001015 ");
  EXPECT_EQ(StdoutJournal::Line(at, "a\nb"), "2026-12-08 09:05:07 a b");
}

}  // namespace
}  // namespace quell
