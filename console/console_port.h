#pragma once
// The console port: the serial port (real, or one end of a virtual pair) on
// which the gateway plays the alarm receiver. Switching it on opens the
// console line's port and starts its keep-alive worker; switching it off
// closes everything again. Also applies the settings dialog and writes
// "paramv". Main thread.
#include <functional>
#include <memory>
#include <string>

#include "console/virtual_port.h"
#include "core/clock.h"
#include "core/journal.h"
#include "core/operator_prompt.h"
#include "core/settings.h"
#include "core/shared_list.h"
#include "core/trace_view.h"
#include "lines/line.h"
#include "lines/port_names.h"

namespace quell {

// What the operator entered in the console port dialog.
struct ConsoleDialogInput {
  std::string port;       // "Порт", e.g. "COM5"
  std::string baudRate;   // "Скорость"
  std::string dataBits;   // "Количество бит"
  int stopBitsIndex = 0;  // "Количество стоп-бит": 0 "1", 1 "1.5", 2 "2"
  int parityIndex = 0;    // "Контроль четности": 0 off, 1 odd, 2 even
  bool virtualPort = false;
  OutputProtocol protocol = OutputProtocol::ContactId;
  std::string receiverNumber = "00";
  bool switchOn = false;  // "Активировать" (true) or "Выключить" (false)
};

class ConsolePort {
 public:
  using WorkerFactory = std::function<void(TLineGSM&)>;

  ConsolePort(TLineGSM& line, PortNames& names, Clock& clock, TraceView& trace, Journal& journal,
              SharedTextList& journalQueue, OperatorPrompt& prompt, ConsoleSettings& settings,
              std::string workDir, WorkerFactory createWorker);
  ~ConsolePort();

  // A port switched on that could not be opened is tried again this often.
  static constexpr uint32_t kRetryMs = 5000;

  // "Вкл.": open the port and start the keep-alive worker. When the port does
  // not open: the message box once, one journal line naming the device and
  // the reason, and the port is tried again every kRetryMs by RetryTick.
  bool SwitchOn();
  // "Выкл.": close the port, remove the virtual port, stop the worker; also
  // ends the retries.
  void SwitchOff();
  bool IsOn() const { return on_; }

  // Timer handler (once a second is plenty): opens the port that was
  // switched on but could not be opened, once kRetryMs passed since the
  // last try. True when it opened now.
  bool RetryTick();
  // Switched on but not open: the port is being tried again.
  bool Retrying() const { return retrying_; }
  // Why the last try failed (e.g. "open: No such file or directory").
  const std::string& OpenFailure() const { return openFailure_; }
  // Ends the retries without touching the port (the gateway stops).
  void StopRetrying() { retrying_ = false; }

  // Creates the virtual pair for portText ("<port number>;0") and registers the
  // gateway's end under that port number.
  bool CreateVirtualPort(const std::string& portText);
  bool RemoveVirtualPort();
  bool VirtualPortExists() const { return virtualId_ >= 0; }
  std::string VirtualLinkPath() const;

  // Applies an accepted dialog ("Активировать" or "Выключить"). Returns an
  // empty text, or the conversion error that stopped the apply.
  std::string ApplyDialog(const ConsoleDialogInput& input);

  // The "paramv" line for the current settings.
  std::string ParamvLine(bool online) const;

 private:
  // Opens the port and starts the worker; false (port closed) when it fails.
  bool Open();
  // "COM5 (/dev/ttyUSB0)": the port and its device, for journal lines.
  std::string PortText() const;

  TLineGSM& line_;
  PortNames& names_;
  Clock& clock_;
  TraceView& trace_;
  Journal& journal_;
  SharedTextList& journalQueue_;
  OperatorPrompt& prompt_;
  ConsoleSettings& settings_;
  std::string workDir_;
  WorkerFactory createWorker_;
  std::unique_ptr<VirtualPort> virtual_;
  int virtualId_ = -1;
  bool on_ = false;
  bool retrying_ = false;
  uint32_t lastTry_ = 0;
  std::string openFailure_;
};

}  // namespace quell
