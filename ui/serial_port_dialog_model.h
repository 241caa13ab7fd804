#pragma once
// The serial port dialog without its widgets: the values its controls start
// with and the console port input made from what the operator left in them.
#include <optional>
#include <string>

#include "console/console_port.h"
#include "core/settings.h"
#include "lines/line.h"
#include "lines/serial_settings.h"

namespace quell {

// What the dialog's controls hold. Texts are Windows-1251.
struct SerialDialogValues {
  std::string port;       // "Порт", e.g. "COM5"
  std::string baudRate;   // "Скорость"
  std::string dataBits;   // "Количество бит"
  int stopBitsIndex = 0;  // "Количество стоп-бит": "1", "1.5", "2"
  int parityIndex = 0;    // "Контроль четности": off, odd, even
  bool virtualPort = false;
  OutputProtocol protocol = OutputProtocol::ContactId;
  std::string receiverNumber = "00";  // "Приёмник/Линия"
};

// The button that closed the dialog; closing the window counts as "Выйти".
enum class SerialDialogButton { Activate, SwitchOff, Exit };

inline constexpr size_t kReceiverNumberLength = 2;

std::string PortText(int portNumber);  // "COM" + number
// The parity choice for a parity code and the parity-checking flag: odd or
// even only while checking is on; every other case shows "Выключен".
int ParityPresetIndex(int parityCode, bool parityChecking);
// The stop-bits choice for a stop-bits code; an unknown code shows "1"
// rather than leaving the choice empty.
int StopBitsPresetIndex(int stopBitsCode);

// The console port dialog as it opens: the console line's port settings,
// whether a virtual port exists, and the protocol and receiver in use.
SerialDialogValues ConsoleDialogPreset(const TLineGSM& line, const ConsoleSettings& settings,
                                       bool virtualPortExists);

// The line settings dialog as it opens. Stop-bits and parity codes select
// the list position of the same number; a code with no choice leaves the
// list without a selection, and LineChoiceFromDialog then keeps the code.
SerialDialogValues LineDialogPreset(const TLineGSM& line);
SerialChoice LineChoiceFromDialog(const SerialDialogValues& values);

// What to apply for the button that closed the console dialog: nothing for
// "Выйти", the entries with the port on for "Активировать" and off for
// "Выключить".
std::optional<ConsoleDialogInput> ConsoleInputFromDialog(const SerialDialogValues& values,
                                                         SerialDialogButton button);

}  // namespace quell
