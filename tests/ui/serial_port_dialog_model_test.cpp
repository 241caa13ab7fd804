// The console port dialog's values: how it opens, and what each of its
// buttons hands to the console port.
#include "ui/serial_port_dialog_model.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

#include "tests/support/fake_clock.h"
#include "tests/support/recording_prompt.h"

namespace quell {
namespace {

TEST(SerialPortDialogModelTest, ParityShowsOddOrEvenOnlyWhileCheckingIsOn) {
  EXPECT_EQ(ParityPresetIndex(1, true), 1);
  EXPECT_EQ(ParityPresetIndex(2, true), 2);
  EXPECT_EQ(ParityPresetIndex(0, true), 0);
  EXPECT_EQ(ParityPresetIndex(2, false), 0);
  EXPECT_EQ(ParityPresetIndex(1, false), 0);
  // Mark and space have no choice of their own.
  EXPECT_EQ(ParityPresetIndex(3, true), 0);
  EXPECT_EQ(ParityPresetIndex(4, true), 0);
}

TEST(SerialPortDialogModelTest, StopBitsCodeIsTheChoicePositionAndUnknownCodesShowOne) {
  EXPECT_EQ(StopBitsPresetIndex(0), 0);
  EXPECT_EQ(StopBitsPresetIndex(1), 1);
  EXPECT_EQ(StopBitsPresetIndex(2), 2);
  EXPECT_EQ(StopBitsPresetIndex(3), 0);
  EXPECT_EQ(StopBitsPresetIndex(-1), 0);
}

TEST(SerialPortDialogModelTest, LineDialogShowsCodesAsPositionsAndKeepsCodesWithoutAChoice) {
  struct Case {
    int stopBits, parity;
    bool parityChecking;
    int shownStopBits, shownParity;
  } cases[] = {
      {0, 0, false, 0, 0},
      {2, 2, true, 2, 2},
      // Odd shows while checking is off: the line dialog shows the code.
      {1, 1, false, 1, 1},
      // Mark parity and an unknown stop-bits code have no choice.
      {3, 3, true, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.stopBits) + "/" + std::to_string(c.parity));
    TLineGSM line;
    line.PortNumber = 4;
    line.PortConfig.BaudRate = 9600;
    line.PortConfig.ByteSize = 8;
    line.PortConfig.StopBits = uint8_t(c.stopBits);
    line.PortConfig.Parity = uint8_t(c.parity);
    line.PortConfig.fParity = c.parityChecking;
    const SerialDialogValues shown = LineDialogPreset(line);
    EXPECT_EQ(shown.port, "COM4");
    EXPECT_EQ(shown.stopBitsIndex, c.shownStopBits);
    EXPECT_EQ(shown.parityIndex, c.shownParity);
    // Accepted untouched, the stored codes come back unchanged.
    EXPECT_FALSE(ApplySerialChoice(line, LineChoiceFromDialog(shown)));
    EXPECT_EQ(line.PortConfig.StopBits, c.stopBits);
    EXPECT_EQ(line.PortConfig.Parity, c.parity);
    EXPECT_EQ(line.PortConfig.fParity, c.parityChecking && c.parity != 0);
  }
}

TEST(SerialPortDialogModelTest, OpensWithTheConsoleLineAndTheSettingsInUse) {
  TLineGSM line;
  line.PortNumber = 12;
  line.PortConfig.BaudRate = 115200;
  line.PortConfig.ByteSize = 7;
  line.PortConfig.StopBits = 2;
  line.PortConfig.Parity = 1;
  line.PortConfig.fParity = true;
  ConsoleSettings settings;
  settings.protocol = OutputProtocol::Ademco685;
  settings.receiverNumber = "07";

  const SerialDialogValues v = ConsoleDialogPreset(line, settings, true);
  EXPECT_EQ(v.port, "COM12");
  EXPECT_EQ(v.baudRate, "115200");
  EXPECT_EQ(v.dataBits, "7");
  EXPECT_EQ(v.stopBitsIndex, 2);
  EXPECT_EQ(v.parityIndex, 1);
  EXPECT_TRUE(v.virtualPort);
  EXPECT_EQ(v.protocol, OutputProtocol::Ademco685);
  EXPECT_EQ(v.receiverNumber, "07");

  EXPECT_FALSE(ConsoleDialogPreset(TLineGSM{}, ConsoleSettings{}, false).virtualPort);
  EXPECT_EQ(ConsoleDialogPreset(TLineGSM{}, ConsoleSettings{}, false).port, "COM0");
}

SerialDialogValues Entered() {
  SerialDialogValues v;
  v.port = "COM5";
  v.baudRate = "9600";
  v.dataBits = "8";
  v.stopBitsIndex = 1;
  v.parityIndex = 2;
  v.virtualPort = true;
  v.protocol = OutputProtocol::Ademco685;
  v.receiverNumber = "01";
  return v;
}

TEST(SerialPortDialogModelTest, EachButtonDecidesWhatIsApplied) {
  EXPECT_FALSE(ConsoleInputFromDialog(Entered(), SerialDialogButton::Exit).has_value());

  auto on = ConsoleInputFromDialog(Entered(), SerialDialogButton::Activate);
  ASSERT_TRUE(on.has_value());
  EXPECT_TRUE(on->switchOn);
  EXPECT_EQ(on->port, "COM5");
  EXPECT_EQ(on->baudRate, "9600");
  EXPECT_EQ(on->dataBits, "8");
  EXPECT_EQ(on->stopBitsIndex, 1);
  EXPECT_EQ(on->parityIndex, 2);
  EXPECT_TRUE(on->virtualPort);
  EXPECT_EQ(on->protocol, OutputProtocol::Ademco685);
  EXPECT_EQ(on->receiverNumber, "01");

  auto off = ConsoleInputFromDialog(Entered(), SerialDialogButton::SwitchOff);
  ASSERT_TRUE(off.has_value());
  EXPECT_FALSE(off->switchOn);
  EXPECT_EQ(off->port, "COM5");
}

TEST(SerialPortDialogModelTest, ReceiverIsCutToTwoCharactersAndEmptyChoicesApplyTheFirst) {
  SerialDialogValues v = Entered();
  v.receiverNumber = "123";
  v.stopBitsIndex = -1;
  v.parityIndex = -1;
  auto in = ConsoleInputFromDialog(v, SerialDialogButton::Activate);
  ASSERT_TRUE(in.has_value());
  EXPECT_EQ(in->receiverNumber, "12");
  EXPECT_EQ(in->stopBitsIndex, 0);
  EXPECT_EQ(in->parityIndex, 0);

  ConsoleSettings settings;
  settings.receiverNumber = "0123";
  EXPECT_EQ(ConsoleDialogPreset(TLineGSM{}, settings, false).receiverNumber, "01");
}

// Opening the dialog and switching off without touching anything must store
// the settings the console line already had.
TEST(SerialPortDialogModelTest, UntouchedDialogKeepsTheConsoleSettings) {
  QTemporaryDir dir;
  TLineGSM line;
  line.LineType = "VCOM";
  line.PortNumber = 3;
  line.PortConfig.BaudRate = 19200;
  line.PortConfig.ByteSize = 7;
  line.PortConfig.StopBits = 2;
  line.PortConfig.Parity = 2;
  line.PortConfig.fParity = true;
  PortNames names;
  test::FakeClock clock;
  TraceView trace;
  Journal journal;
  SharedTextList journalQueue;
  test::RecordingPrompt prompt;
  ConsoleSettings settings;
  settings.protocol = OutputProtocol::Ademco685;
  settings.receiverNumber = "04";
  settings.portKind = "RP";
  ConsolePort port(line, names, clock, trace, journal, journalQueue, prompt, settings,
                   dir.path().toStdString(), nullptr);

  auto input = ConsoleInputFromDialog(ConsoleDialogPreset(line, settings, false),
                                      SerialDialogButton::SwitchOff);
  ASSERT_TRUE(input.has_value());
  ASSERT_EQ(port.ApplyDialog(*input), "");

  QFile paramv(dir.filePath(QStringLiteral("paramv")));
  ASSERT_TRUE(paramv.open(QIODevice::ReadOnly));
  EXPECT_EQ(paramv.readAll().toStdString(), "_;RP;_;COM3,19200,7,2,1,2;OFFLINE;Ademco685;04;\r\n");
  EXPECT_FALSE(port.IsOn());
}

}  // namespace
}  // namespace quell
