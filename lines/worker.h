#pragma once
// The worker thread of one line. It waits (for its step period, or for
// input on the line's port) and then runs one processing step of the engine
// chosen by the line's type, until it is terminated.
//
// Waiting by the line's RxEvent setting:
//   0, 2  timer-paced: the step period is the pause between two steps;
//   1     input-driven: waits for bytes on the port (bounded, so requests
//         are seen); with the port closed or failed it waits one step
//         period and then runs the step, which finds nothing to read;
//         a line with no step to run idles one step period at a time;
//   other no step; the worker idles one step period at a time.
//
// Pausing happens only at a step boundary, and no step starts while the
// worker is paused or a pause is requested. Terminate() never blocks.
// The worker reads the line's LineType and Settings before every wait:
// change them only while the worker is suspended.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "lines/step_table.h"

namespace quell {

class TLineGSM;
class TraceView;

class TMyTimer {
 public:
  static constexpr int kSerialWaitBoundMs = 1000;  // longest single wait for input
  static constexpr int kSuspendWaitMs = 1000;      // how long Suspend() lets a step finish
  static constexpr int kMinPeriodMs = 1;           // a zero period must not spin

  // Starts the thread suspended: nothing runs until the first Resume().
  // Exceptions escaping a step go to trace as "Exception: " + text.
  TMyTimer(TLineGSM& line, StepTable steps, TraceView* trace = nullptr);
  // Terminates and joins.
  ~TMyTimer();
  TMyTimer(const TMyTimer&) = delete;
  TMyTimer& operator=(const TMyTimer&) = delete;

  // Lets the worker run; also clears SuspendRequest. On the first resume the
  // step period is taken from the line's Timer setting.
  void Resume();
  // Pauses the worker: a running step is cut short at its next port read
  // and allowed to finish. From another thread, waits (at most
  // kSuspendWaitMs) for that step and returns whether none is running.
  bool Suspend();
  // True from creation until the first Resume(), and while paused (by
  // Suspend() or by the worker itself after a SuspendRequest).
  bool IsSuspended() const;
  // Asks the thread to end and wakes any wait; returns at once.
  void Terminate();

  // Period of the timer-paced wait: DueTime = -10000 x ms (100 ns units,
  // negative meaning relative). Takes effect at the next wait.
  void SetStepPeriod(int ms) { DueTime = -10000LL * ms; }
  int StepPeriodMs() const;

  TLineGSM& OwnerLine;
  std::atomic<int64_t> DueTime{-10000LL * 1000};
  // When set, the worker pauses itself after the current step.
  std::atomic<bool> SuspendRequest{false};
  // Set by Suspend() and Terminate() (cleared by Resume()): a step waiting
  // for something else, such as the event store, stops waiting.
  std::atomic<bool> StopAsked{false};
  // What the last input wait saw: 1 (bytes received) or 0.
  std::atomic<uint32_t> EventMask{0};

 private:
  void Run();
  bool ParkWhilePaused();  // false once terminated
  bool Sleep(int ms);      // false when cut short by terminate or pause
  bool WaitForInput();     // true when a step is due
  void RunStep(StepKind kind);
  bool Stopping() const;  // lock held
  bool TerminateRequested() const;

  const StepTable steps_;
  TraceView* const trace_;
  mutable std::mutex lock_;
  std::condition_variable changed_;
  bool terminate_ = false;
  bool paused_ = true;
  bool inStep_ = false;
  bool started_ = false;
  std::thread thread_;  // last: starts once everything above is set up
};

// Sets the step period of the line's worker (used when a command is sent).
void SetStepPeriod(TLineGSM& line, int ms);

}  // namespace quell
