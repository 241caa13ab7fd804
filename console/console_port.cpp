#include "console/console_port.h"

#include "core/config/file_names.h"
#include "core/config/text_file.h"
#include "core/cp1251.h"
#include "core/text.h"
#include "lines/line_port.h"
#include "lines/serial_settings.h"
#include "lines/worker.h"

namespace quell {
namespace {

const char* kStopFailed =
    "Error: emulation can not be stopped: maybe one of VSPE devices is still used.";

std::string NotANumber(const std::string& text) {
  return "'" + text + "' is not a valid integer value";
}

}  // namespace

ConsolePort::ConsolePort(TLineGSM& line, PortNames& names, Clock& clock, TraceView& trace,
                         Journal& journal, SharedTextList& journalQueue, OperatorPrompt& prompt,
                         ConsoleSettings& settings, std::string workDir, WorkerFactory createWorker)
    : line_(line),
      names_(names),
      clock_(clock),
      trace_(trace),
      journal_(journal),
      journalQueue_(journalQueue),
      prompt_(prompt),
      settings_(settings),
      workDir_(std::move(workDir)),
      createWorker_(std::move(createWorker)) {}

ConsolePort::~ConsolePort() {
  if (line_.Worker) line_.Worker->Terminate();
}

bool ConsolePort::SwitchOn() {
  retrying_ = false;
  if (Open()) return true;
  // A console (or its USB adapter) that appears later is still served. The
  // line is in the journal while the box waits for the operator.
  journal_.InsertTop("Quell Server ComPort: " + PortText() + " does not open (" + openFailure_ +
                     "), tried again every 5 s");
  retrying_ = true;
  lastTry_ = clock_.TickCount();
  prompt_.Ask(W("Ошибка открытия внешнего порта"),
              W("Ошибка открытия внешнего порта COM") + std::to_string(line_.PortNumber),
              PromptButtons::Ok, PromptIcon::None);
  // A retry may have opened it while a window's box waited.
  return on_;
}

bool ConsolePort::RetryTick() {
  if (!retrying_) return false;
  const uint32_t now = clock_.TickCount();
  if (TicksSince(now, lastTry_) < kRetryMs) return false;
  lastTry_ = now;
  if (!Open()) return false;
  retrying_ = false;
  // The open's own trace line, which the quiet retries left out.
  trace_.Append(LinePortPath(line_) + " " + names_.DevicePath(line_.PortNumber).value_or("-"));
  journal_.InsertTop("Quell Server ComPort: " + PortText() + " opened");
  return true;
}

bool ConsolePort::Open() {
  openFailure_.clear();
  line_.PortOpen =
      OpenLinePort(line_, names_, clock_, retrying_ ? nullptr : &trace_, &openFailure_);
  if (!line_.PortOpen) {
    if (openFailure_.empty()) openFailure_ = "no device";
    return false;
  }
  on_ = true;
  // A fresh worker each time; the previous one was ended by the switch-off.
  if (line_.Worker) line_.Worker->Terminate();
  line_.Worker.reset();
  if (createWorker_) createWorker_(line_);
  if (line_.Worker) {
    line_.Worker->SuspendRequest = false;
    line_.Worker->Resume();
  }
  line_.Started = true;
  journalQueue_.PutHead("Quell Server ComPort: Wait for response ...");
  return true;
}

std::string ConsolePort::PortText() const {
  const auto device = names_.DevicePath(line_.PortNumber);
  return "COM" + std::to_string(line_.PortNumber) + " (" + device.value_or("no device") + ")";
}

void ConsolePort::SwitchOff() {
  on_ = false;
  retrying_ = false;
  CloseLinePort(line_);
  line_.PortOpen = false;
  line_.Started = false;
  if (VirtualPortExists()) RemoveVirtualPort();
  if (line_.Worker) {
    line_.Worker->Suspend();
    line_.Worker->Terminate();
    line_.Worker.reset();
  }
  // A port that is off cannot be answering: writers queue instead of
  // writing into a closed port. Cleared once the worker is gone, so an ACK
  // it read just before the close cannot set Alive again.
  line_.Alive = false;
}

bool ConsolePort::CreateVirtualPort(const std::string& portText) {
  if (!virtual_) virtual_ = std::make_unique<VirtualPort>(workDir_);
  if (!virtual_->Initialize()) {
    trace_.Append("Initialization error");
    return false;
  }
  if (virtualId_ >= 0) names_.RemoveVirtual(virtualId_);
  virtual_->DestroyAllDevices();
  if (!virtual_->StopEmulation()) {
    trace_.Append(kStopFailed);
    virtual_->Release();
    return false;
  }
  trace_.Append("vspe init OK");
  virtualId_ = virtual_->CreateDevice("Connector", portText);
  if (virtualId_ == -1) {
    trace_.Append("Error: can not create device\n");
    virtual_->Release();
    return false;
  }
  trace_.Append("vspe Connector OK");
  if (!virtual_->StartEmulation()) {
    trace_.Append("Error: can not start emulation");
    virtual_->Release();
    virtualId_ = -1;
    return false;
  }
  names_.SetVirtual(virtualId_, virtual_->GatewayEnd());
  trace_.Append("vspe link " + virtual_->LinkPath() + " -> " + virtual_->GatewayEnd());
  trace_.Append("Start Emul");
  return true;
}

bool ConsolePort::RemoveVirtualPort() {
  if (virtualId_ < 0) return true;
  if (!virtual_ || !virtual_->StopEmulation()) {
    trace_.Append(kStopFailed);
    journal_.Append(kStopFailed);
    return false;
  }
  names_.RemoveVirtual(virtualId_);
  virtual_->Release();
  virtualId_ = -1;
  journal_.Append("ComPort emulation  stopped");
  return true;
}

std::string ConsolePort::VirtualLinkPath() const {
  return virtual_ && virtualId_ >= 0 ? virtual_->LinkPath() : std::string();
}

std::string ConsolePort::ParamvLine(bool online) const {
  std::string text = "_;" + settings_.portKind + ";_;" + FormatSerialSettings(line_) + ";";
  text += online ? "ONLINE;" : "OFFLINE;";
  if (settings_.protocol == OutputProtocol::Ademco685)
    text += "Ademco685;" + settings_.receiverNumber + ";";
  else
    text += "ContactID;_;";
  return text;
}

std::string ConsolePort::ApplyDialog(const ConsoleDialogInput& input) {
  // Items are applied in order; a text that is not a number stops there.
  const SerialChoice choice{input.port, input.baudRate, input.dataBits, input.stopBitsIndex,
                            input.parityIndex};
  if (auto notANumber = ApplySerialChoice(line_, choice)) return NotANumber(*notANumber);

  settings_.portKind = input.virtualPort ? "VP" : "RP";
  settings_.protocol = input.protocol;
  settings_.receiverNumber = input.receiverNumber;
  if (!WriteTextLines(ConfigPath(workDir_, kConsolePortFileName), {ParamvLine(input.switchOn)}))
    trace_.Append("paramv: cannot write the file");

  SwitchOff();
  // The keep-alive watch needs the console block, also when "paramv" was
  // missing at start-up. Set while no worker runs: the worker reads it.
  line_.Settings = TL_SET{20, 0, 1, 750};
  if (input.switchOn) {
    if (input.virtualPort) {
      if (!CreateVirtualPort(std::to_string(line_.PortNumber) + ";0")) {
        prompt_.Ask(W("Ошибка создания виртуального порта!!!"), W("Виртуальный порт"),
                    PromptButtons::Ok, PromptIcon::None);
        settings_.portKind = "RP";
      }
    } else if (VirtualPortExists()) {
      RemoveVirtualPort();
    }
    SwitchOn();
  }
  return {};
}

}  // namespace quell
