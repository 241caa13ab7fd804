#pragma once
// A configured input line (GSM modem or serial receiver) with its command
// set, worker settings and diagnostic texts. Plain data with public fields:
// the line's worker thread writes the engine fields, the main thread reads
// them and writes the control flags, so the flags shared between the two are
// atomic and texts read across threads are guarded by TextLock.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "core/notice_list.h"
#include "core/shared_list.h"

namespace quell {

class SerialPort;
class TMyTimer;

// Modem command set; texts are sent without their CR LF.
struct TATCMD {
  std::string Answer = "ATA";
  std::string Hangup = "ATH";
  std::string Dial = "ATD";
  std::string Escape = "+++";
  std::string OnBusy = "ATH";
  std::string InitStr = "ATV1Q0E1";
  std::string InitStr1 = "AT+CLIP=1";
  std::string InitStr2;
  std::string ClipOn = "AT+CLIP=1";
};

// Worker settings block.
struct TL_SET {
  int32_t EvChar = 13;
  int32_t RxEvent = 2;
  int32_t Priority = 2;
  int32_t Timer = 1000;
};

// Eleven diagnostic texts shown for the selected line.
struct TMessageError {
  TMessageError();
  std::array<std::string, 11> Texts;  // entries 1..11 at indices 0..10
  std::string& Entry(int n) { return Texts[size_t(n - 1)]; }
  const std::string& Entry(int n) const { return Texts[size_t(n - 1)]; }
};

// Serial parameters of a line (the members of the Windows DCB that matter).
struct TPortConfig {
  uint32_t DCBlength = 28;
  uint32_t BaudRate = 19200;
  bool fBinary = true;
  bool fParity = false;
  uint8_t fDtrControl = 0;  // disabled
  uint8_t fRtsControl = 0;  // disabled
  uint16_t XonLim = 2048;
  uint16_t XoffLim = 512;
  uint8_t ByteSize = 8;
  uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
};

class TLineGSM {
 public:
  explicit TLineGSM(uint32_t nowTick = 0);
  ~TLineGSM();
  TLineGSM(const TLineGSM&) = delete;
  TLineGSM& operator=(const TLineGSM&) = delete;

  // True for the modem line types ("GSM" family test is a substring test).
  bool IsModemLine() const;

  char ChCR = 13, ChLF = 10, ChTab = 9, ChQuote = 34, ChApostrophe = 39, ChSpace = 32, ChACK = 6,
       ChNAK = 21, ChDC4 = 20;
  std::atomic<uint32_t> PollTick{0};
  int32_t InitStep = 0;
  NoticeList* NoticeQueue = nullptr;
  std::unique_ptr<TMyTimer> Worker;
  TATCMD Commands;
  TL_SET Settings;
  TMessageError Messages;
  std::shared_ptr<SerialPort> PortHandle;  // guarded by PortLock
  TPortConfig PortConfig;
  uint32_t IoCount = 0;
  uint32_t CommErrors = 0;
  std::string LineType = "GSM";
  std::string LineName;
  std::string CallState = "IDLE";      // guarded by TextLock
  std::string PrevCallState = "IDLE";  // guarded by TextLock
  std::string RxBuffer;
  std::string LastLine;
  std::string ModemType = "UNKNOWN";
  std::string ProcTag;
  std::string CallerNumber;
  std::string DialTarget;  // guarded by TextLock
  std::array<std::string, 4> KeyNames{"KEY_01", "KEY_02", "KEY_03", "KEY_04"};
  std::array<std::string, 4> KeyCodes{};
  std::string EventMark = "none";  // guarded by TextLock
  std::array<std::string, 3> WindHistory{};
  std::string ConsoleRef = "FALSE";  // guarded by TextLock
  int32_t Mode = 0;
  int32_t Position = 0;
  int32_t PortNumber = 0;
  std::atomic<uint32_t> LastRxTick{0};
  int32_t ReplyCountdown = 2;
  // Written by SendCommand, which the main thread also calls.
  std::atomic<uint32_t> AnswerTick{0};
  std::atomic<uint32_t> HangupTick{0};
  int32_t DataCallStep = 0;
  // Leaving a data call: 1 escape due, 2 hang-up due, each EscapeTick plus
  // a silence later; 3 settling, while the modem reports the hang-up.
  // Written by the worker; the request handler reads it.
  std::atomic<int32_t> EscapeStage{0};
  uint32_t EscapeTick = 0;
  std::atomic<int32_t> LastCallKind{0};  // 1 answered incoming call, 2 dialled call
  // The arming hang-up went out during the current connected call.
  bool ArmingHangupSent = false;
  std::atomic<bool> PortOpen{false};
  std::atomic<bool> Alive{false};
  std::atomic<bool> Started{false};
  std::atomic<bool> OkSeen{false};
  std::atomic<bool> ErrorSeen{false};
  bool SmsPending = false;
  // Starts true: a line that has sent nothing awaits no reply.
  bool ReplyReceived = true;
  bool LineHandled = false;
  uint8_t RxByte = 0;
  std::atomic<int32_t> SignalLevel{99};
  std::atomic<int32_t> ServiceStatus{2};

  mutable std::mutex TextLock;  // texts that both the worker and main thread touch
  mutable std::mutex PortLock;  // PortHandle replacement and use
};

}  // namespace quell
