#pragma once
// A GSM modem's side of an AT-command serial link, as pure logic: bytes in
// through Feed(), bytes out through TakeOutput(), time through the injected
// millisecond tick and Poll(). No I/O and no threads; the transports
// (SimModemPort, ModemLink) carry the bytes.
//
// Replies are framed as in verbose mode: CR LF text CR LF. V and Q settings
// are accepted but replies stay verbose. Choices where modems differ:
// - an empty command line is ignored (no echo, no reply);
// - a line without the "AT" prefix is echoed and otherwise ignored, as a
//   modem ignores text without its attention prefix; an escape "+++" sent
//   without its own CR is dropped from the front of the next command;
// - one call at a time: ATD during a call answers ERROR, an incoming call
//   during a call is ignored (no call waiting);
// - the CLIP line follows every RING whether or not AT+CLIP=1 was sent;
// - AT+CMGF=0 is accepted, but messages are always listed in text mode.
//
// Data calls (ATD without ";", or IncomingDataCall) connect at 9600 baud to
// the DataPeer set on the modem; without one, ATD without ";" is refused.
// Once "CONNECT 9600" is sent the link is in data mode: the gateway's bytes
// go to the peer and the peer's bytes to the gateway, until a guarded "+++"
// (see EscapeDetector) returns to command mode with the call still up; ATO
// goes back, ATH ends the call. Only data calls are answered by themselves
// (S0 or options.autoAnswerData): voice calls wait for ATA. Data calls send
// no ^ORIG/^CONN/*ECAV/+WIND progress, only result codes and, for the caret
// family, ^CEND at the end. Unsolicited reports are not held back in data mode.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/modem/data_peer.h"
#include "sim/modem/escape_detector.h"
#include "sim/modem/modem_options.h"
#include "sim/modem/sms_store.h"

namespace quell::sim {

enum class CallPhase { Idle, Ringing, Dialling, Active };

class SimModem {
 public:
  static constexpr size_t kMaxLine = 512;       // longer command lines are discarded
  static constexpr size_t kMaxOutput = 65536;   // an untaken backlog past this is dropped
  static constexpr size_t kMaxCommands = 4096;  // Commands() keeps the newest
  static constexpr size_t kMaxTimers = 4096;    // Schedule() beyond this is dropped

  SimModem(ModemOptions options, std::function<uint32_t()> nowMs);

  // Bytes from the gateway; each CR ends a command line, which is handled at
  // once; LF is ignored, backspace and DEL remove the last byte.
  void Feed(std::string_view bytes);
  // Runs the timed events that are due (ones scheduled while this runs wait
  // for the next call).
  void Poll();
  std::string TakeOutput();
  bool HasOutput() const { return !output_.empty(); }

  // Starts ringing now: RING then the CLIP line, every ringIntervalMs, until
  // answered or ringCount rings went unanswered (then the caller gives up).
  // Ignored while another call is in progress.
  void IncomingCall(const std::string& number);
  // The other party ends the current call (ringing, dialling or active).
  void RemoteHangup();
  // Unsolicited signal level (Caret family only); AT+CSQ answers it after.
  void ReportSignal(int level);
  // Unsolicited service status (Caret family only).
  void ReportService(int status);
  // Stores a message as unread and reports +CMTI; dropped when memory is full.
  void ReceiveSms(const std::string& sender, const std::string& body);
  // Runs action from Poll() once delayMs have passed.
  void Schedule(uint32_t delayMs, std::function<void()> action);

  // The far end of data calls; the modem owns it.
  void SetDataPeer(std::unique_ptr<DataPeer> peer) { peer_ = std::move(peer); }
  DataPeer* Peer() const { return peer_.get(); }
  // An incoming data call: rings like IncomingCall(), answered by itself at
  // ring S0 (at the first with options.autoAnswerData and S0=0) or by ATA.
  void IncomingDataCall(const std::string& number);
  // Bytes from the far end of a data call to the gateway; dropped unless the
  // link is in data mode.
  void SendData(std::string_view bytes);

  // Every non-empty command line received, in order, without CR/LF.
  const std::vector<std::string>& Commands() const { return commands_; }
  CallPhase Phase() const { return phase_; }
  const std::string& CallNumber() const { return number_; }  // caller or dialled
  int RingsSent() const { return rings_; }
  bool EchoOn() const { return echo_; }
  int SignalLevel() const { return signal_; }
  const SmsStore& Messages() const { return sms_; }
  const ModemOptions& Options() const { return options_; }
  bool IsDataCall() const { return dataCall_; }  // ringing, dialling or connected
  bool InDataMode() const { return dataMode_; }
  int AutoAnswerRing() const { return s0_; }  // register S0; 0 = off

 private:
  void HandleLine(const std::string& line);
  void Execute(std::string_view command);  // the text after "AT"
  void ExecuteExtended(const std::string& upper);
  void Dial(std::string_view target);
  void Answer();
  void Hangup();
  void Ring();
  void DialOutcome();
  void ListMessages(std::string_view arg);
  void ReadMessage(std::string_view arg);
  void DeleteMessages(std::string_view arg);
  // Data calls (sim_modem_data.cpp).
  void DialData(std::string_view target);
  void DataDialDecided();
  void Connect(bool gatewayDialled);  // CONNECT 9600, data mode
  void ReturnToData();                // ATO
  void EnterDataMode();
  void FeedData(std::string_view bytes);
  void CheckEscape();
  bool AnswersAtThisRing() const;
  // Back to idle; tells the peer when a connected data call ended.
  void EndCall(DataCallEnd end);

  void Send(const std::string& bytes);
  void Emit(const std::string& line);  // framed as CR LF line CR LF
  void Emit(const std::vector<std::string>& lines);
  // Lines of one information response: framed as a whole, CR LF between.
  void EmitBlock(const std::vector<std::string>& lines);
  // Changes the call phase; timers of the previous phase no longer fire.
  void SetPhase(CallPhase phase);
  // Schedules action for the current call phase only.
  void ScheduleForCall(uint32_t delayMs, void (SimModem::*action)());
  uint32_t ConnectedSeconds() const;

  struct Timer {
    uint32_t start, delay;
    uint64_t seq;
    std::function<void()> action;
  };

  const ModemOptions options_;
  const std::function<uint32_t()> nowMs_;
  std::string line_;
  bool overlong_ = false;
  std::string output_;
  std::vector<std::string> commands_;
  std::vector<Timer> timers_;
  uint64_t nextSeq_ = 0;
  bool echo_;
  int signal_;
  SmsStore sms_;

  CallPhase phase_ = CallPhase::Idle;
  uint64_t phaseGen_ = 0;  // changes with every phase change
  std::string number_;
  int rings_ = 0;
  uint32_t connectedAt_ = 0;

  std::unique_ptr<DataPeer> peer_;
  bool dataCall_ = false;
  bool dataMode_ = false;
  DataDialOutcome dataOutcome_ = DataDialOutcome::Answer;
  EscapeDetector escape_;
  int s0_ = 0;
};

}  // namespace quell::sim
