#include "lines/line.h"

#include "core/cp1251.h"
#include "core/text.h"
#include "lines/serial_port.h"
#include "lines/worker.h"

namespace quell {

TMessageError::TMessageError() {
  static const std::array<std::string, 11> kDefaults = {W("COM_Handle:  Нет сообщений"),
                                                        W("DCB_Set:  Нет сообщений"),
                                                        W("COM_Set:  Нет сообщений"),
                                                        W("Product_Name:  Нет сообщений"),
                                                        W("Inistr: Нет сообщений"),
                                                        W("Inistr1: Нет сообщений"),
                                                        W("Inistr2: Нет сообщений"),
                                                        W("Restart: Нет сообщений"),
                                                        W("Pulse: Нет сообщений"),
                                                        W("LastProc_ERROR_Result: Нет сообщений"),
                                                        W("LastProc_OK_Result: Нет сообщений")};
  Texts = kDefaults;
}

TLineGSM::TLineGSM(uint32_t nowTick) : PollTick(nowTick) {}

// The worker goes first: its thread reads the fields and locks declared
// after Worker, which are destroyed before it.
TLineGSM::~TLineGSM() {
  Worker.reset();
}

bool TLineGSM::IsModemLine() const {
  return Contains(LineType, "GSM");
}

}  // namespace quell
