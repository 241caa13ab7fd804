#include "ui/serial_port_dialog_model.h"

namespace quell {
namespace {

// A choice list without a selection reports -1; apply the first choice then
// instead of storing -1 into a one-byte serial field.
int ChoiceOrFirst(int index, int count) {
  return index >= 0 && index < count ? index : 0;
}

}  // namespace

std::string PortText(int portNumber) {
  return "COM" + std::to_string(portNumber);
}

int ParityPresetIndex(int parityCode, bool parityChecking) {
  if (!parityChecking) return 0;
  return parityCode == 1 || parityCode == 2 ? parityCode : 0;
}

int StopBitsPresetIndex(int stopBitsCode) {
  return ChoiceOrFirst(stopBitsCode, 3);
}

SerialDialogValues ConsoleDialogPreset(const TLineGSM& line, const ConsoleSettings& settings,
                                       bool virtualPortExists) {
  SerialDialogValues values;
  values.port = PortText(line.PortNumber);
  values.baudRate = std::to_string(line.PortConfig.BaudRate);
  values.dataBits = std::to_string(line.PortConfig.ByteSize);
  values.stopBitsIndex = StopBitsPresetIndex(line.PortConfig.StopBits);
  values.parityIndex = ParityPresetIndex(line.PortConfig.Parity, line.PortConfig.fParity);
  values.virtualPort = virtualPortExists;
  values.protocol = settings.protocol;
  values.receiverNumber = settings.receiverNumber.substr(0, kReceiverNumberLength);
  return values;
}

SerialDialogValues LineDialogPreset(const TLineGSM& line) {
  auto position = [](int code) { return code >= 0 && code <= 2 ? code : -1; };
  SerialDialogValues values;
  values.port = PortText(line.PortNumber);
  values.baudRate = std::to_string(line.PortConfig.BaudRate);
  values.dataBits = std::to_string(line.PortConfig.ByteSize);
  values.stopBitsIndex = position(line.PortConfig.StopBits);
  values.parityIndex = position(line.PortConfig.Parity);
  return values;
}

SerialChoice LineChoiceFromDialog(const SerialDialogValues& values) {
  return SerialChoice{values.port, values.baudRate, values.dataBits, values.stopBitsIndex,
                      values.parityIndex};
}

std::optional<ConsoleDialogInput> ConsoleInputFromDialog(const SerialDialogValues& values,
                                                         SerialDialogButton button) {
  if (button == SerialDialogButton::Exit) return std::nullopt;
  ConsoleDialogInput input;
  input.port = values.port;
  input.baudRate = values.baudRate;
  input.dataBits = values.dataBits;
  input.stopBitsIndex = ChoiceOrFirst(values.stopBitsIndex, 3);
  input.parityIndex = ChoiceOrFirst(values.parityIndex, 3);
  input.virtualPort = values.virtualPort;
  input.protocol = values.protocol;
  // Stored in "paramv" and sent in Ademco685 lines: never longer than the
  // field, whatever reached the control.
  input.receiverNumber = values.receiverNumber.substr(0, kReceiverNumberLength);
  input.switchOn = button == SerialDialogButton::Activate;
  return input;
}

}  // namespace quell
