#pragma once
// Serial devices that go away and come back (an unplugged adapter, a device
// whose far end closed): a started line without a working port has its
// port opened again, first at once and then every kRetryMs, until it opens.
// A failed retry after the first leaves no trace line, so an absent device
// does not fill the trace. Main thread, from the supervision tick.
#include <cstdint>
#include <unordered_map>

#include "core/clock.h"
#include "core/trace_view.h"
#include "lines/line_list.h"
#include "lines/port_names.h"

namespace quell {

class PortRecovery {
 public:
  static constexpr uint32_t kRetryMs = 5000;

  // Reopens the lines that are due; returns how many opened.
  int Tick(LineList& lines, const PortNames& names, const Clock& clock, TraceView* trace);

 private:
  struct Attempt {
    uint32_t at = 0;
    bool failed = false;
  };
  std::unordered_map<const TLineGSM*, Attempt> attempts_;  // lines still without a port
};

}  // namespace quell
