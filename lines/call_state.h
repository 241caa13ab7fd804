#pragma once
// Call state, signal level and network service of a modem line, followed
// from the unsolicited result codes of several modem families side by side:
// plain codes ("RING", "BUSY", "NO CARRIER"), "ECAV:" call progress (call 1
// only), "+WIND:" indications and the "^" codes. Worker thread of the line.
#include <string>
#include <string_view>

#include "lines/line.h"
#include "lines/line_context.h"

namespace quell {

// Call states held in CallState and PrevCallState.
inline constexpr const char* kIdle = "IDLE";
inline constexpr const char* kRing = "RING";
inline constexpr const char* kAlert = "ALERT";
inline constexpr const char* kDialling = "DIALLING";
inline constexpr const char* kRemoteRinging = "REMOTE_PART_RNG";
inline constexpr const char* kActive = "ACTIVE";
inline constexpr const char* kBusy = "BUSY";
inline constexpr const char* kIdleNoNetwork = "IDLE_NO_NETWORK";
inline constexpr const char* kActiveModem = "ACTIVE_MODEM";

inline constexpr int kInService = 2;

// PrevCallState takes CallState, then CallState becomes state.
void Transition(TLineGSM& line, const char* state);
// Both states become "IDLE".
void ResetCallState(TLineGSM& line);
// Reads under the line's text lock.
std::string CallStateOf(const TLineGSM& line);
std::string PrevCallStateOf(const TLineGSM& line);

// Classifies an upper-cased response line no earlier rule handled; true when
// it was recognised.
bool CallStateUpdate(TLineGSM& line, const std::string& text, const LineContext& ctx);

// A signal level report ("99" is no signal, which also means no service).
void SignalUpdate(TLineGSM& line, std::string_view value, const LineContext& ctx);
// A network service report; 2 is in service. A change into or out of
// service is announced to the station client, going out of it with the
// alarm sound.
void ServiceUpdate(TLineGSM& line, std::string_view value, const LineContext& ctx);

}  // namespace quell
