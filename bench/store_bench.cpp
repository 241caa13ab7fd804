// The event store's own figures on this machine's disk: rows written per
// second when rows come as fast as they can (group commit), the duration of
// a commit (p50, p99), and at 2,000 rows/s the time from Add to the
// completion on the event loop (what the store adds to an ACK).
//   store_bench [--dir DIR] [--rows N] [--seconds S]
#include <sys/timerfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "store/event_store.h"

namespace {

quell::EventRow Row(int n) {
  quell::EventRow r;
  r.receivedMs = 1'765'000'000'000 + n;
  r.road = "dc09";
  r.line = "8005";
  r.peer = "127.0.0.1:40000";
  r.account = "1234";
  r.raw = "\n9D8D0040\"ADM-CID\"0001L0#1234[#1234|1130 01 015]_12:00:00,01-01-2020\r";
  r.consoleText = "5114 181234E13001015\x14";
  r.console = quell::EventFate::Pending;
  return r;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, size_t(p / 100.0 * double(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QString dirArg;
  int rows = 200000;
  double seconds = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--dir") dirArg = QString::fromLocal8Bit(argv[i + 1]);
    if (a == "--rows") rows = std::atoi(argv[i + 1]);
    if (a == "--seconds") seconds = std::atof(argv[i + 1]);
  }
  QTemporaryDir temp(dirArg.isEmpty() ? QDir::tempPath() + QStringLiteral("/store-bench-XXXXXX")
                                      : dirArg + QStringLiteral("/store-bench-XXXXXX"));
  QObject context;
  quell::EventStore store(temp.filePath(QStringLiteral("Events.db")).toStdString(), &context);
  std::string error;
  if (!store.Start(nullptr, &error)) {
    std::fprintf(stderr, "store_bench: %s\n", error.c_str());
    return 1;
  }

  // As fast as rows come: the main thread adds a burst each turn of the
  // event loop and never waits for input (a zero timer is always due).
  int done = 0;
  QElapsedTimer clock;
  clock.start();
  for (int n = 0; n < rows;) {
    for (int k = 0; k < 500 && n < rows; ++k, ++n) store.Add(Row(n), [&](bool) { ++done; });
    QTimer::singleShot(0, [] {});
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  while (done < rows) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  const double elapsed = double(clock.nsecsElapsed()) / 1e9;
  std::vector<double> commits;
  for (int us : store.TakeCommitMicros()) commits.push_back(us / 1000.0);
  const auto stats = store.Counters();
  std::printf("store rows/s %.0f (%d rows, %llu commits, %.1f rows a commit)\n", rows / elapsed,
              rows, static_cast<unsigned long long>(stats.commits),
              double(stats.rows) / double(std::max<uint64_t>(1, stats.commits)));
  std::printf("store commit at full rate p50 %.3f ms p99 %.3f ms\n", Percentile(commits, 50),
              Percentile(commits, 99));

  // 2,000 rows/s: one row every 0.5 ms from a timer, Add to completion;
  // between rows the event loop waits as the gateway's does.
  std::vector<double> latency;
  const int paced = int(2000 * seconds);
  const int tick = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  const itimerspec every{{0, 500'000}, {0, 500'000}};
  timerfd_settime(tick, 0, &every, nullptr);
  QSocketNotifier ticks(tick, QSocketNotifier::Read);
  QElapsedTimer paceClock;
  paceClock.start();
  int added = 0, completed = 0;
  QObject::connect(&ticks, &QSocketNotifier::activated, [&] {
    uint64_t due = 0;
    if (::read(tick, &due, sizeof due) != sizeof due) return;
    for (; due > 0 && added < paced; --due, ++added) {
      const qint64 at = paceClock.nsecsElapsed();
      store.Add(Row(rows + added), [&, at](bool) {
        latency.push_back(double(paceClock.nsecsElapsed() - at) / 1e6);
        ++completed;
      });
    }
  });
  while (completed < paced) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  ticks.setEnabled(false);
  ::close(tick);
  std::vector<double> pacedCommits;
  for (int us : store.TakeCommitMicros()) pacedCommits.push_back(us / 1000.0);
  std::printf("store commit at 2,000/s p50 %.3f ms p99 %.3f ms (%zu commits)\n",
              Percentile(pacedCommits, 50), Percentile(pacedCommits, 99), pacedCommits.size());
  std::printf("store add to completion at 2,000/s p50 %.3f ms p99 %.3f ms\n",
              Percentile(latency, 50), Percentile(latency, 99));
  return 0;
}
