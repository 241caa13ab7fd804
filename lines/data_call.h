#pragma once
// Data-call ("GSM Selva") lines: a station client's request to call a
// panel, the exchange of "~" frames with the panel over the data call
// (replies from the panel info file), closing the call with its outcome
// notice, and the error notice of a request whose call ended early.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.h"
#include "core/trace_view.h"
#include "lines/line.h"
#include "lines/line_context.h"

namespace quell {

inline constexpr uint32_t kDataCallHoldMs = 90000;  // no initialisation commands meanwhile
inline constexpr uint32_t kAfterCallHoldMs = 5000;
// Silence on our side around "+++" so the modem takes it as the escape.
inline constexpr uint32_t kEscapeGuardMs = 1100;
// After the hang-up the line stays taken this long, so the modem's reports
// of the call just ended cannot be taken for the end of the next one.
inline constexpr uint32_t kHangupSettleMs = 3000;

// CRC-8/MAXIM (reflected 0x31, initial 0, no final XOR).
uint8_t Crc8Maxim(std::string_view bytes);

bool IsDataCallLine(const TLineGSM& line);

// The request word of r: "refresh" (wins when both are present), "reload",
// or empty when it holds neither.
std::string DataCallRequestWord(std::string_view r);

// Takes request r on a free line (main thread): remembers the target and
// the request, holds off the initialisation commands and dials.
void DataCallRequest(TLineGSM& line, const std::string& r, const Clock& clock, TraceView& trace);

// A response line received during a data call: answers a panel frame from
// the panel info list, or closes the exchange. Returns -1 once the exchange
// is over, 0 when nothing was sent, else the step count (1 after closing).
int DataCallFrame(TLineGSM& line, const std::string& frame, const LineContext& ctx);

// A call of the line ended or failed. A pending refresh or reload request
// gets its error notice, once; the line is free again.
void DataCallEnded(TLineGSM& line);

// A refresh or reload request awaits its outcome.
bool DataCallPending(const TLineGSM& line);

// The line may take a new request: started, open, no request or call of
// its own, and not still leaving its last call.
bool DataCallLineFree(const TLineGSM& line);

// A line that ends a call attempt without a call-state code of its own.
bool DataCallFailureText(std::string_view text);

// Leaves the data call after the exchange: "+++" after a silence, then the
// hang-up after another, then a settling time after which the call counts
// as ended even if the modem reported nothing. Runs at the end of every
// modem step.
void DataCallEscapeStep(TLineGSM& line, const LineContext& ctx);

}  // namespace quell
