#pragma once
// The modem command and response engine: the processing step of every
// "GSM" line. A step checks the awaited reply, reads what the modem sent,
// cuts it into response lines and reacts to each, and keeps the modem
// initialised by sending the next command of the line's initialisation
// cycle when it is due. Also the command sender every other part uses.
#include <string>

#include "core/clock.h"
#include "lines/line.h"
#include "lines/line_context.h"

namespace quell {

inline constexpr int kReplyCountdown = 2;           // steps before an awaited reply times out
inline constexpr int kProcedureStepMs = 1000;       // step period while a command awaits its reply
inline constexpr int32_t kQuietPollMs = 5000;       // cycle interval while the modem is silent
inline constexpr int32_t kAlivePollMs = 30000;      // cycle interval while the modem answers
inline constexpr uint32_t kModemSilenceMs = 30000;  // silence after which Alive is cleared
// A response line longer than this without its end byte is dropped.
inline constexpr size_t kMaxModemLine = 1024;
// ProcTag stops growing here, so a modem repeating "OK" cannot grow it.
inline constexpr size_t kMaxProcTag = 256;

// Writes text + CR LF to the line's port (whole, never interleaved with
// another writer) and notes answer, hang-up and dial commands. Any thread.
void SendCommand(TLineGSM& line, const std::string& text, const Clock& clock);

// Sends a command that awaits a reply, naming it tag in ProcTag.
void SendProcedure(TLineGSM& line, const std::string& text, int periodMs, const std::string& tag,
                   const Clock& clock);

// Sends the next initialisation command when it is due.
void InitCycle(TLineGSM& line, const Clock& clock);

// PollTick that makes the next initialisation command due at once.
inline uint32_t DueNow(uint32_t nowTick) {
  return nowTick - uint32_t(kAlivePollMs);
}

// A line starting (or starting again): its first initialisation command is
// due on its first step, and it awaits no reply.
void PrepareModemStart(TLineGSM& line, uint32_t nowTick);

// One processing step (worker thread).
void ModemStep(TLineGSM& line, const LineContext& ctx);

// Reacts to one complete response line held in RxBuffer. False when the
// step must end at once (a data connection on a line that takes none).
bool ProcessModemLine(TLineGSM& line, const LineContext& ctx);

}  // namespace quell
