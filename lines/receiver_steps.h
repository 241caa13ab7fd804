#pragma once
// Step functions of the serial receiver lines ("MLR"/"KESTRAVO", "VORTI"),
// the console line's keep-alive watch ("VCOM"), and the conversion of
// Contact ID short messages into receiver lines. Each runs on the line's
// worker thread.
#include <string>

#include "lines/line.h"
#include "lines/line_context.h"

namespace quell {

inline constexpr uint32_t kMlrSilenceMs = 90000;
inline constexpr uint32_t kVortiSilenceMs = 180000;
inline constexpr uint32_t kConsoleSilenceMs = 90000;
// A receiver that never sends its terminator must not grow the buffer
// without bound; longer messages are dropped with a trace line.
inline constexpr size_t kMaxReceiverMessage = 1024;

void MlrStep(TLineGSM& line, const LineContext& ctx);
void VortiStep(TLineGSM& line, const LineContext& ctx);
void KeepAliveStep(TLineGSM& line, const LineContext& ctx);
// text is an upper-cased short-message body.
void SmsEvent(TLineGSM& line, const std::string& text, const LineContext& ctx);

}  // namespace quell
