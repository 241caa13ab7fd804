// Switching the console port and applying its settings dialog.
#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>
#include <filesystem>

#include "console/console_port.h"
#include "core/cp1251.h"
#include "tests/support/console_dialog.h"
#include "tests/support/fake_clock.h"
#include "tests/support/pty_pair.h"
#include "tests/support/recording_prompt.h"

namespace quell {
namespace {

class ConsolePortTest : public ::testing::Test {
 protected:
  ConsolePortTest()
      : port_(line_, names_, clock_, trace_, journal_, journalQueue_, prompt_, settings_,
              dir_.path().toStdString(), nullptr) {
    line_.LineType = "VCOM";
  }
  std::string Paramv() {
    QFile f(dir_.filePath(QStringLiteral("paramv")));
    if (!f.open(QIODevice::ReadOnly)) return "(missing)";
    return f.readAll().toStdString();
  }

  QTemporaryDir dir_;
  TLineGSM line_;
  PortNames names_;
  test::FakeClock clock_;
  TraceView trace_;
  Journal journal_;
  SharedTextList journalQueue_;
  test::RecordingPrompt prompt_;
  ConsoleSettings settings_;
  ConsolePort port_;
};

TEST_F(ConsolePortTest, ActivatingARealPortWritesParamvAndOpensIt) {
  test::PtyMaster device;
  ASSERT_TRUE(device.Ok());
  names_.Parse("COM5=" + device.SlavePath() + "\n");
  EXPECT_EQ(port_.ApplyDialog(test::ConsoleDialog("COM5", true)), "");
  EXPECT_EQ(Paramv(), "_;RP;_;COM5,9600,8,0,0,0;ONLINE;ContactID;_;\r\n");
  EXPECT_TRUE(line_.PortOpen);
  EXPECT_TRUE(line_.Started);
  EXPECT_TRUE(port_.IsOn());
  EXPECT_EQ(line_.Settings.RxEvent, 0);  // the keep-alive watch runs
  EXPECT_EQ(journalQueue_.Front(), "Quell Server ComPort: Wait for response ...");

  auto in = test::ConsoleDialog("COM5", true);
  in.protocol = OutputProtocol::Ademco685;
  in.receiverNumber = "01";
  port_.ApplyDialog(in);
  EXPECT_EQ(Paramv(), "_;RP;_;COM5,9600,8,0,0,0;ONLINE;Ademco685;01;\r\n");
  EXPECT_EQ(settings_.protocol, OutputProtocol::Ademco685);
}

TEST_F(ConsolePortTest, SwitchingOffClosesRemovesTheVirtualPortAndClearsAlive) {
  auto in = test::ConsoleDialog("COM6", true);
  in.virtualPort = true;
  ASSERT_EQ(port_.ApplyDialog(in), "");
  ASSERT_TRUE(port_.VirtualPortExists());
  ASSERT_TRUE(line_.PortOpen);  // the gateway's end of the pair
  line_.Alive = true;

  port_.ApplyDialog(test::ConsoleDialog("COM6", false));
  EXPECT_EQ(Paramv(), "_;RP;_;COM6,9600,8,0,0,0;OFFLINE;ContactID;_;\r\n");
  EXPECT_FALSE(line_.PortOpen);
  EXPECT_FALSE(line_.Alive);
  EXPECT_FALSE(port_.VirtualPortExists());
  EXPECT_EQ(journal_.Entries().back(), "ComPort emulation  stopped");
  EXPECT_TRUE(prompt_.asked.empty());
}

TEST_F(ConsolePortTest, NonNumericEntryStopsTheApplyWhereItStands) {
  auto in = test::ConsoleDialog("5", true);  // no "COM"
  in.baudRate = "4800";
  EXPECT_EQ(port_.ApplyDialog(in), "'FALSE' is not a valid integer value");
  EXPECT_EQ(line_.PortConfig.BaudRate, 4800u);  // applied before the failure
  EXPECT_EQ(Paramv(), "(missing)");
  EXPECT_FALSE(line_.PortOpen);
}

TEST_F(ConsolePortTest, PortThatCannotOpenIsReportedInABox) {
  names_.Parse("COM4=/dev/nonexistent-quell\n");
  line_.PortNumber = 4;
  EXPECT_FALSE(port_.SwitchOn());
  ASSERT_EQ(prompt_.asked.size(), 1u);
  EXPECT_EQ(prompt_.asked[0].text, W("Ошибка открытия внешнего порта"));
  EXPECT_EQ(prompt_.asked[0].caption, W("Ошибка открытия внешнего порта COM4"));
  EXPECT_FALSE(port_.IsOn());
}

// A console whose device appears after the switch-on is opened by the
// retries: one box and one journal line naming the device and the reason,
// nothing more while it stays away, a line when it opens.
TEST_F(ConsolePortTest, PortThatAppearsLaterIsOpenedByTheRetries) {
  test::PtyMaster device;
  ASSERT_TRUE(device.Ok());
  const std::string link = dir_.filePath(QStringLiteral("console")).toStdString();
  names_.Parse("COM5=" + link + "\n");
  line_.PortNumber = 5;
  EXPECT_FALSE(port_.SwitchOn());
  EXPECT_TRUE(port_.Retrying());
  ASSERT_EQ(journal_.Size(), 1u);
  EXPECT_EQ(journal_.Entries()[0],
            "Quell Server ComPort: COM5 (" + link +
                ") does not open (open: No such file or directory), tried again every 5 s");

  clock_.Advance(ConsolePort::kRetryMs);
  EXPECT_FALSE(port_.RetryTick());  // still absent: tried quietly
  EXPECT_EQ(journal_.Size(), 1u);

  std::filesystem::create_symlink(device.SlavePath(), link);
  clock_.Advance(ConsolePort::kRetryMs - 1);
  EXPECT_FALSE(port_.RetryTick());  // not due yet
  EXPECT_FALSE(line_.PortOpen);
  clock_.Advance(1);
  EXPECT_TRUE(port_.RetryTick());
  EXPECT_TRUE(line_.PortOpen);
  EXPECT_TRUE(port_.IsOn());
  EXPECT_FALSE(port_.Retrying());
  EXPECT_EQ(journal_.Entries()[0], "Quell Server ComPort: COM5 (" + link + ") opened");
  EXPECT_EQ(journalQueue_.Front(), "Quell Server ComPort: Wait for response ...");
  EXPECT_EQ(prompt_.asked.size(), 1u);  // the box was shown once

  clock_.Advance(ConsolePort::kRetryMs);
  EXPECT_FALSE(port_.RetryTick());  // open ports are left alone
}

// Switching off ends the retries: a device appearing afterwards stays unused.
TEST_F(ConsolePortTest, SwitchingOffEndsTheRetries) {
  test::PtyMaster device;
  ASSERT_TRUE(device.Ok());
  const std::string link = dir_.filePath(QStringLiteral("console")).toStdString();
  names_.Parse("COM5=" + link + "\n");
  line_.PortNumber = 5;
  EXPECT_FALSE(port_.SwitchOn());
  port_.SwitchOff();
  EXPECT_FALSE(port_.Retrying());
  std::filesystem::create_symlink(device.SlavePath(), link);
  clock_.Advance(ConsolePort::kRetryMs);
  EXPECT_FALSE(port_.RetryTick());
  EXPECT_FALSE(line_.PortOpen);
}

}  // namespace
}  // namespace quell
