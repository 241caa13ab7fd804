#pragma once
// Caller-identification ("GSM XCALL") lines: the incoming-call notice, the
// key chosen by the length of an answered call, and the result of every
// call as a notice to the station client. Worker thread of the line.
#include <string>
#include <string_view>

#include "lines/line.h"
#include "lines/line_context.h"

namespace quell {

// An answered arming or disarming call is hung up after this long.
inline constexpr uint32_t kArmingHangupMs = 3000;
inline constexpr uint32_t kKeyStepMs = 3000;  // each key spans 3 s of call

// Stores the caller number of an upper-cased "CLIP:" line in CallerNumber as
// "+" and the digits that follow (at most eleven), a national leading 8 read
// as 7. Only the number (the first quoted field) is searched; false when it
// holds no 7 or 8.
bool ExtractCaller(TLineGSM& line, std::string_view text);

// A "CLIP:" line: the "CRING;" notice when a number was found; EventMark
// becomes "event" in any case, after a pending data-call request has had its
// error notice.
void IncomingCall(TLineGSM& line, std::string_view text, const LineContext& ctx);

// The key name for the time from AnswerTick to HangupTick.
std::string KeyByDuration(const TLineGSM& line);

// The result word of a call that ended with code (1 active call ended,
// 2 busy, 3 connected and cut short or dialled call answered, 4 rang out),
// by Mode and LastCallKind; empty when there is none.
std::string XcallResultWord(const TLineGSM& line, int code);

// Reports the end of a call: the word to the trace, both call states
// "IDLE", the result notice by LastCallKind.
void XcallEvent(TLineGSM& line, int code, const LineContext& ctx);

// The rules run after the call state has been updated from a response line.
void XcallCallRules(TLineGSM& line, const LineContext& ctx);

// Hangs up an answered call on an arming or disarming line (Mode above 2)
// once it has lasted 3 s; at most once per connected call. Runs from the
// call rules and at the end of every step, so a silent modem is also hung
// up on time.
void ArmingHangup(TLineGSM& line, const LineContext& ctx);

}  // namespace quell
