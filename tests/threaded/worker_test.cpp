#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "core/trace_view.h"
#include "lines/line.h"
#include "lines/line_port.h"
#include "lines/serial_port.h"
#include "lines/worker.h"
#include "tests/support/fake_clock.h"
#include "tests/support/pty_pair.h"

namespace quell {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Waits (polling briefly) until pred holds or timeout passes.
template <typename Pred>
bool Eventually(Pred pred, std::chrono::milliseconds timeout = 3000ms) {
  const auto deadline = Clock::now() + timeout;
  while (!pred()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// Records which steps ran; tests wait on it instead of sleeping.
class Probe {
 public:
  void Hit(StepKind kind, std::string note = {}) {
    std::lock_guard g(lock_);
    ++counts_[kind];
    notes_ += note;
    changed_.notify_all();
  }
  int Count(StepKind kind) const {
    std::lock_guard g(lock_);
    auto it = counts_.find(kind);
    return it == counts_.end() ? 0 : it->second;
  }
  int Total() const {
    std::lock_guard g(lock_);
    int total = 0;
    for (const auto& [kind, n] : counts_) total += n;
    return total;
  }
  std::string Notes() const {
    std::lock_guard g(lock_);
    return notes_;
  }
  // True when the total reaches n within timeout.
  bool WaitTotal(int n, std::chrono::milliseconds timeout = 3000ms) {
    std::unique_lock g(lock_);
    return changed_.wait_for(g, timeout, [&] {
      int total = 0;
      for (const auto& [kind, c] : counts_) total += c;
      return total >= n;
    });
  }

 private:
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::map<StepKind, int> counts_;
  std::string notes_;
};

StepTable CountingSteps(Probe& probe) {
  StepTable t;
  t.ModemStep = [&probe](TLineGSM&) { probe.Hit(StepKind::Modem); };
  t.MlrStep = [&probe](TLineGSM&) { probe.Hit(StepKind::Mlr); };
  t.VortiStep = [&probe](TLineGSM&) { probe.Hit(StepKind::Vorti); };
  t.KeepAliveStep = [&probe](TLineGSM&) { probe.Hit(StepKind::KeepAlive); };
  return t;
}

// A line whose port is the slave of a pty the test holds.
class PtyLine {
 public:
  PtyLine() {
    dir.Map(1, device.SlavePath());
    line.PortNumber = 1;
    line.LineType = "MLR";
    ok = device.Ok() && OpenLinePort(line, dir.Names(), clock);
  }
  test::PtyMaster device;
  test::PortDir dir;
  test::FakeClock clock;
  TLineGSM line;
  bool ok = false;
};

TEST(SelectStep, DispatchTablesByTypeAndWaitingMethod) {
  struct Case {
    const char* type;
    StepKind a, b;  // RxEvent 0; RxEvent 1 and 2
  };
  const Case cases[] = {
      {"GSM", StepKind::Modem, StepKind::Modem},
      {"GSM XCALL", StepKind::Modem, StepKind::Modem},
      {"GSM Selva", StepKind::Modem, StepKind::Modem},
      {"MLR", StepKind::Mlr, StepKind::Mlr},
      {"KESTRAVO", StepKind::Mlr, StepKind::None},
      {"VORTI", StepKind::Vorti, StepKind::Vorti},
      {"VCOM", StepKind::KeepAlive, StepKind::None},
      {"mlr", StepKind::None, StepKind::None},  // exact tests
      {"MLR ", StepKind::None, StepKind::None},
      {"", StepKind::None, StepKind::None},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SelectStep(c.type, 0), c.a) << c.type;
    EXPECT_EQ(SelectStep(c.type, 1), c.b) << c.type;
    EXPECT_EQ(SelectStep(c.type, 2), c.b) << c.type;
    EXPECT_EQ(SelectStep(c.type, 3), StepKind::None) << c.type;
    EXPECT_EQ(SelectStep(c.type, -1), StepKind::None) << c.type;
  }
}

TEST(TMyTimer, RunsTheStepOfItsLineTypeOnlyAfterResume) {
  struct Case {
    const char* type;
    int rxEvent;
    StepKind expected;
  };
  for (const Case& c : {Case{"GSM XCALL", 2, StepKind::Modem}, Case{"KESTRAVO", 0, StepKind::Mlr},
                        Case{"VCOM", 0, StepKind::KeepAlive}, Case{"VORTI", 2, StepKind::Vorti}}) {
    Probe probe;
    TLineGSM line;
    line.LineType = c.type;
    line.Settings.RxEvent = c.rxEvent;
    line.Settings.Timer = 1;
    TMyTimer worker(line, CountingSteps(probe));
    EXPECT_TRUE(worker.IsSuspended());
    EXPECT_EQ(probe.Total(), 0);
    worker.Resume();
    EXPECT_FALSE(worker.IsSuspended());
    ASSERT_TRUE(probe.WaitTotal(3)) << c.type;
    worker.Terminate();
    EXPECT_EQ(probe.Count(c.expected), probe.Total()) << c.type;
  }
}

TEST(TMyTimer, SuspendRequestLetsTheStepFinishAndHoldsTheNextUntilResume) {
  std::mutex m;
  std::condition_variable cv;
  bool inStep = false, release = false;
  int finished = 0;
  Probe probe;
  TLineGSM line;
  line.LineType = "MLR";
  line.Settings.Timer = 1;
  StepTable steps;
  steps.MlrStep = [&](TLineGSM&) {
    std::unique_lock g(m);
    inStep = true;
    cv.notify_all();
    cv.wait(g, [&] { return release; });
    ++finished;
    release = false;
    inStep = false;
    probe.Hit(StepKind::Mlr);
  };
  TMyTimer worker(line, steps);
  worker.Resume();
  {
    std::unique_lock g(m);
    ASSERT_TRUE(cv.wait_for(g, 3s, [&] { return inStep; }));
    worker.SuspendRequest = true;
    release = true;
    cv.notify_all();
  }
  ASSERT_TRUE(Eventually([&] { return worker.IsSuspended(); }));
  EXPECT_EQ(probe.Total(), 1);             // the step ran to its end
  EXPECT_FALSE(probe.WaitTotal(2, 50ms));  // 50 periods: nothing started
  {
    std::lock_guard g(m);
    EXPECT_FALSE(inStep);
    EXPECT_EQ(finished, 1);
  }

  worker.Resume();
  EXPECT_FALSE(worker.SuspendRequest);
  std::unique_lock g(m);
  ASSERT_TRUE(cv.wait_for(g, 3s, [&] { return inStep; }));
  release = true;
  cv.notify_all();
}

TEST(TMyTimer, SuspendCutsAStepBlockedInAReadAndResumeReadsAgain) {
  PtyLine pty;
  ASSERT_TRUE(pty.ok);
  pty.line.Settings.Timer = 1;
  std::atomic<int> entered{0};
  Probe probe;
  StepTable steps;
  steps.MlrStep = [&](TLineGSM& line) {
    ++entered;
    std::string got;
    while (ReadLineByte(line)) got += char(line.RxByte);  // ends at 600 ms of silence
    probe.Hit(StepKind::Mlr, got);
  };
  TMyTimer worker(pty.line, steps);
  worker.Resume();
  ASSERT_TRUE(Eventually([&] { return entered > 0; }));

  const auto start = Clock::now();
  EXPECT_TRUE(worker.Suspend());
  EXPECT_LT(Clock::now() - start, 400ms);
  EXPECT_TRUE(worker.IsSuspended());
  const int steps_before = probe.Total();
  EXPECT_FALSE(probe.WaitTotal(steps_before + 1, 50ms));

  pty.device.Send("AB");
  worker.Resume();
  ASSERT_TRUE(Eventually([&] { return probe.Notes().find("AB") != std::string::npos; }));
}

// Destroying a worker must not wait out a 600 ms read or a 1 s input wait.
TEST(TMyTimer, TerminateEndsBlockedWaitsAndReadsPromptly) {
  for (int rxEvent : {1, 2}) {
    PtyLine pty;
    ASSERT_TRUE(pty.ok);
    pty.line.Settings.RxEvent = rxEvent;
    pty.line.Settings.Timer = rxEvent == 1 ? 5000 : 1;
    std::atomic<int> entered{0};
    StepTable steps;
    steps.MlrStep = [&](TLineGSM& line) {
      ++entered;
      while (ReadLineByte(line)) {
      }
      ReadLineByte(line);  // a second read must not wait either
    };
    auto worker = std::make_unique<TMyTimer>(pty.line, steps);
    worker->Resume();
    if (rxEvent == 2) {
      ASSERT_TRUE(Eventually([&] { return entered > 0; }));
    }
    const auto start = Clock::now();
    worker.reset();  // Terminate() and join
    EXPECT_LT(Clock::now() - start, 400ms) << rxEvent;
    if (rxEvent == 1) {
      EXPECT_EQ(entered, 0);
    }
  }
}

TEST(TMyTimer, InputDrivenWorkerStepsWhenBytesArrive) {
  PtyLine pty;
  ASSERT_TRUE(pty.ok);
  pty.line.Settings.RxEvent = 1;
  pty.line.Settings.Timer = 60000;  // a timer-paced step would never come
  Probe probe;
  StepTable steps;
  steps.MlrStep = [&](TLineGSM& line) {
    std::string got;
    while (InputQueueCount(line) > 0 && ReadLineByte(line)) got += char(line.RxByte);
    probe.Hit(StepKind::Mlr, got);
  };
  TMyTimer worker(pty.line, steps);
  worker.Resume();
  pty.device.Send("X");
  ASSERT_TRUE(Eventually([&] { return probe.Notes() == "X"; }));
  EXPECT_EQ(worker.EventMask, 1u);
}

TEST(TMyTimer, InputDrivenWorkerOnAClosedPortBacksOffToThePeriod) {
  Probe probe;
  TLineGSM line;  // never opened
  line.LineType = "GSM";
  line.Settings.RxEvent = 1;
  line.Settings.Timer = 30;
  TMyTimer worker(line, CountingSteps(probe));
  const auto start = Clock::now();
  worker.Resume();
  ASSERT_TRUE(probe.WaitTotal(3));
  EXPECT_GE(Clock::now() - start, 85ms);  // three periods, not a spin
  EXPECT_EQ(probe.Count(StepKind::Modem), probe.Total());
}

// A port that always has bytes waiting and counts the waits for them.
class AlwaysReadablePort final : public SerialPort {
 public:
  int Write(std::string_view bytes) override { return int(bytes.size()); }
  int ReadByte(uint8_t&) override { return 0; }
  int InputQueueCount() override { return 1; }
  PortWait WaitForEvent(int) override {
    ++waits;
    return PortWait::Data;
  }
  void Interrupt() override {}
  void ClearInterrupt() override {}
  void Close() override {}
  bool IsOpen() const override { return true; }
  std::atomic<int> waits{0};
};

// Input that no step takes stays waiting: an input wait would return at
// once for ever and spin the worker.
TEST(TMyTimer, InputDrivenLineWithoutAStepIdlesInsteadOfSpinning) {
  for (const char* type : {"KESTRAVO", "VCOM", "GSM"}) {
    TLineGSM line;
    line.LineType = type;
    line.Settings.RxEvent = 1;
    line.Settings.Timer = 20;
    auto port = std::make_shared<AlwaysReadablePort>();
    line.PortHandle = port;
    Probe probe;
    StepTable steps = CountingSteps(probe);
    steps.ModemStep = nullptr;  // modem lines without a modem engine
    TMyTimer worker(line, steps);
    const auto start = Clock::now();
    worker.Resume();
    std::this_thread::sleep_for(200ms);
    worker.Terminate();
    const auto periods = (Clock::now() - start) / 20ms;
    EXPECT_LE(port->waits.load(), periods + 1) << type;
    EXPECT_EQ(probe.Total(), 0) << type;
  }
}

TEST(TMyTimer, UnknownWaitingMethodIdlesAndStillStopsAtOnce) {
  Probe probe;
  TLineGSM line;
  line.Settings.RxEvent = 7;
  line.Settings.Timer = 5000;
  auto worker = std::make_unique<TMyTimer>(line, CountingSteps(probe));
  worker->Resume();
  EXPECT_TRUE(worker->Suspend());
  EXPECT_TRUE(worker->IsSuspended());
  const auto start = Clock::now();
  worker.reset();
  EXPECT_LT(Clock::now() - start, 400ms);
  EXPECT_EQ(probe.Total(), 0);
}

TEST(TMyTimer, AnExceptionFromAStepIsTracedAndTheWorkerGoesOn) {
  TraceView trace;
  Probe probe;
  TLineGSM line;
  line.LineType = "VORTI";
  line.Settings.Timer = 1;
  StepTable steps;
  steps.VortiStep = [&](TLineGSM&) {
    probe.Hit(StepKind::Vorti);
    throw std::runtime_error("bad frame");
  };
  TMyTimer worker(line, steps, &trace);
  worker.Resume();
  ASSERT_TRUE(probe.WaitTotal(2));
  worker.Terminate();
  ASSERT_FALSE(trace.Lines().empty());
  EXPECT_EQ(trace.Lines().front(), "Exception: bad frame");
}

TEST(TMyTimer, DeletingALineStopsItsRunningWorkerFirst) {
  Probe probe;
  auto line = std::make_unique<TLineGSM>();
  line->Settings.Timer = 1;
  line->Worker = std::make_unique<TMyTimer>(*line, CountingSteps(probe));
  line->Worker->Resume();
  ASSERT_TRUE(probe.WaitTotal(2));
  line.reset();  // the sanitizers catch a worker outliving its line
}

TEST(LinePortThreads, CloseReleasesAReaderBlockedOnThePort) {
  PtyLine pty;
  ASSERT_TRUE(pty.ok);
  std::atomic<bool> reading{false};
  Clock::time_point returned;
  std::thread reader([&] {
    reading = true;
    ReadLineByte(pty.line);
    returned = Clock::now();
  });
  ASSERT_TRUE(Eventually([&] { return reading.load(); }));
  const auto start = Clock::now();
  CloseLinePort(pty.line);
  reader.join();
  EXPECT_LT(returned - start, 400ms);
  EXPECT_EQ(pty.line.IoCount, 0u);
}

TEST(LinePortThreads, ConcurrentWritesNeverInterleave) {
  PtyLine pty;
  ASSERT_TRUE(pty.ok);
  constexpr int kBlocks = 20;
  constexpr size_t kSize = 6007;  // beyond the pty buffer: partial writes happen
  auto writer = [&](char letter) {
    const std::string block(kSize, letter);
    for (int i = 0; i < kBlocks; ++i) EXPECT_EQ(WriteLine(pty.line, block), int(kSize));
  };
  std::thread a(writer, 'a'), b(writer, 'b');
  const std::string got = pty.device.Receive(2 * kBlocks * kSize, 10000);
  a.join();
  b.join();
  ASSERT_EQ(got.size(), 2 * kBlocks * kSize);
  for (size_t i = 0; i < got.size(); i += kSize)
    ASSERT_EQ(got.substr(i, kSize), std::string(kSize, got[i])) << "block at " << i;
}

}  // namespace
}  // namespace quell
