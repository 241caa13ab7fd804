#include "lines/worker.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <exception>

#include "core/trace_view.h"
#include "lines/line.h"
#include "lines/line_port.h"
#include "lines/serial_port.h"

namespace quell {
namespace {
constexpr uint32_t kRxCharEvent = 1;  // bytes arrived
}  // namespace

TMyTimer::TMyTimer(TLineGSM& line, StepTable steps, TraceView* trace)
    : OwnerLine(line), steps_(std::move(steps)), trace_(trace), thread_([this] { Run(); }) {}

TMyTimer::~TMyTimer() {
  Terminate();
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id())
    thread_.detach();  // destroyed from its own step: the loop ends by itself
  else
    thread_.join();
}

void TMyTimer::Resume() {
  // Undo the cut of a previous Suspend() before any step can read again.
  if (std::shared_ptr<SerialPort> port = LinePort(OwnerLine); port && !TerminateRequested())
    port->ClearInterrupt();
  std::lock_guard g(lock_);
  if (terminate_) return;
  if (!started_) {
    // The thread body begins here: the period comes from the settings.
    started_ = true;
    SetStepPeriod(OwnerLine.Settings.Timer);
  }
  paused_ = false;
  SuspendRequest = false;
  StopAsked = false;
  changed_.notify_all();
}

bool TMyTimer::Suspend() {
  {
    std::lock_guard g(lock_);
    paused_ = true;
    StopAsked = true;
    changed_.notify_all();
  }
  // A step blocked in a read returns now; its later reads return at once.
  if (std::shared_ptr<SerialPort> port = LinePort(OwnerLine)) port->Interrupt();
  if (thread_.get_id() == std::this_thread::get_id()) return true;
  std::unique_lock g(lock_);
  return changed_.wait_for(g, std::chrono::milliseconds(kSuspendWaitMs),
                           [this] { return !inStep_; });
}

bool TMyTimer::TerminateRequested() const {
  std::lock_guard g(lock_);
  return terminate_;
}

bool TMyTimer::IsSuspended() const {
  std::lock_guard g(lock_);
  return paused_;
}

void TMyTimer::Terminate() {
  std::shared_ptr<SerialPort> port = LinePort(OwnerLine);
  {
    std::lock_guard g(lock_);
    terminate_ = true;
    StopAsked = true;
    changed_.notify_all();
  }
  if (port) port->Interrupt();
}

int TMyTimer::StepPeriodMs() const {
  const int64_t ms = -DueTime.load() / 10000;
  return int(std::clamp<int64_t>(ms, kMinPeriodMs, INT_MAX));
}

bool TMyTimer::Stopping() const {
  return terminate_ || paused_ || SuspendRequest.load();
}

void TMyTimer::Run() {
  while (ParkWhilePaused()) {
    const int rxEvent = OwnerLine.Settings.RxEvent;
    const StepKind kind = SelectStep(OwnerLine.LineType, rxEvent);
    const LineStep* step = StepFor(steps_, kind);
    bool stepDue = false;
    if (rxEvent == 0 || rxEvent == 2)
      stepDue = Sleep(StepPeriodMs());
    else if (rxEvent == 1 && step && *step)
      stepDue = WaitForInput();
    else
      // Nothing to run: idle without spinning. An input wait would return at
      // once for ever, since no step takes the waiting bytes.
      Sleep(StepPeriodMs());
    if (stepDue) RunStep(kind);

    std::lock_guard g(lock_);
    if (SuspendRequest.load()) {
      paused_ = true;
      changed_.notify_all();
    }
  }
}

bool TMyTimer::ParkWhilePaused() {
  std::unique_lock g(lock_);
  changed_.wait(g, [this] { return terminate_ || !paused_; });
  return !terminate_;
}

bool TMyTimer::Sleep(int ms) {
  std::unique_lock g(lock_);
  return !changed_.wait_for(g, std::chrono::milliseconds(ms), [this] { return Stopping(); });
}

bool TMyTimer::WaitForInput() {
  std::shared_ptr<SerialPort> port = LinePort(OwnerLine);
  PortWait result = port ? port->WaitForEvent(kSerialWaitBoundMs) : PortWait::Failed;
  {
    std::lock_guard g(lock_);
    if (Stopping()) return false;
  }
  switch (result) {
    case PortWait::Data:
      EventMask = kRxCharEvent;
      return true;
    case PortWait::Timeout:
      EventMask = 0;
      return false;              // no event: wait again
    case PortWait::Interrupted:  // the port is being closed
    case PortWait::Failed:
      // A closed port fails at once; wait a period so this does not spin,
      // then let the step find nothing to read.
      EventMask = 0;
      return Sleep(StepPeriodMs());
  }
  return false;
}

void TMyTimer::RunStep(StepKind kind) {
  const LineStep* step = StepFor(steps_, kind);
  if (!step || !*step) return;
  {
    std::lock_guard g(lock_);
    if (Stopping()) return;
    inStep_ = true;
  }
  try {
    (*step)(OwnerLine);
  } catch (const std::exception& e) {
    if (trace_) trace_->Append(std::string("Exception: ") + e.what());
  } catch (...) {
    if (trace_) trace_->Append("Exception: unknown");
  }
  std::lock_guard g(lock_);
  inStep_ = false;
  changed_.notify_all();
}

void SetStepPeriod(TLineGSM& line, int ms) {
  if (line.Worker) line.Worker->SetStepPeriod(ms);
}

}  // namespace quell
