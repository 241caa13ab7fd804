#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/trace_view.h"
#include "lines/port_names.h"
#include "tests/support/pty_pair.h"

namespace quell {
namespace {

TEST(PortNames, ParsesMappingsAndSkipsJunk) {
  PortNames names;
  names.Parse(
      "COM3=/dev/ttyUSB0\r\n"
      "\r\n"
      "  com12 = /dev/serial/by-id/usb-modem \n"
      "; a comment\n"
      "COM4\n"
      "COM5=\r\n"
      "COM0=/dev/ttyS9\n"
      "COM6x=/dev/ttyUSB6\n"
      "COM-1=/dev/ttyUSB7\n"
      "COM3=/dev/ttyUSB1\n"  // a later line for the same port is ignored
      "COM8=/dev/ttyACM0");  // no line end after the last line
  std::map<int, std::string> expected = {
      {3, "/dev/ttyUSB0"}, {8, "/dev/ttyACM0"}, {12, "/dev/serial/by-id/usb-modem"}};
  EXPECT_EQ(names.Mapped(), expected);
}

TEST(PortNames, DeviceOrderIsVirtualThenFileThenTtyS) {
  PortNames names;
  names.Parse("COM3=/dev/ttyUSB0\n");
  EXPECT_EQ(names.DevicePath(3), "/dev/ttyUSB0");
  EXPECT_EQ(names.DevicePath(1), "/dev/ttyS0");
  EXPECT_EQ(names.DevicePath(11), "/dev/ttyS10");
  EXPECT_EQ(names.DevicePath(0), std::nullopt);
  EXPECT_EQ(names.DevicePath(-2), std::nullopt);

  names.SetVirtual(3, "/dev/pts/7");
  names.SetVirtual(4, "/dev/pts/8");
  EXPECT_EQ(names.DevicePath(3), "/dev/pts/7");
  EXPECT_EQ(names.DevicePath(4), "/dev/pts/8");
  names.Parse("COM4=/dev/ttyUSB4\n");  // a reload does not hide the virtual port
  EXPECT_EQ(names.DevicePath(4), "/dev/pts/8");
  names.RemoveVirtual(3);
  names.RemoveVirtual(4);
  EXPECT_EQ(names.DevicePath(3), "/dev/ttyS2");
  EXPECT_EQ(names.DevicePath(4), "/dev/ttyUSB4");
}

TEST(PortNames, LoadsFromTheWorkingDirectory) {
  test::PortDir dir;
  ASSERT_TRUE(dir.Ok());
  dir.Write("COM2=/dev/ttyUSB3\r\n");
  EXPECT_EQ(dir.Names().DevicePath(2), "/dev/ttyUSB3");

  PortNames names;
  names.Parse("COM2=/dev/old\n");
  QTemporaryDir empty;
  EXPECT_FALSE(names.Load(empty.path().toStdString()));
  EXPECT_EQ(names.DevicePath(2), "/dev/ttyS1");  // a missing file drops old mappings
}

// A fake /sys/class/tty: ttyS<k>/type holds the UART type, 0 for none.
class FakeSysTty {
 public:
  void Add(const QString& name, const char* type) {
    QDir(dir_.path()).mkpath(name);
    if (!type) return;
    QFile file(dir_.filePath(name + QStringLiteral("/type")));
    if (file.open(QIODevice::WriteOnly)) file.write(type);
  }
  std::string Path() const { return dir_.path().toStdString(); }

 private:
  QTemporaryDir dir_;
};

TEST(PortChoiceList, MappedAndRealPortsSortedAsText) {
  FakeSysTty sys;
  sys.Add(QStringLiteral("ttyS0"), "4\n");
  sys.Add(QStringLiteral("ttyS1"), "0\n");  // no UART behind it
  sys.Add(QStringLiteral("ttyS2"), nullptr);
  sys.Add(QStringLiteral("ttyS10"), "4\n");
  sys.Add(QStringLiteral("ttyUSB0"), "4\n");  // not a ttyS device
  PortNames names;
  names.Parse("COM5=/dev/ttyUSB0\nCOM1=/dev/ttyACM0\n");
  TraceView trace;

  std::vector<std::string> list = PortChoiceList(names, &trace, sys.Path());

  EXPECT_EQ(list, (std::vector<std::string>{"COM1", "COM11", "COM5"}));
  EXPECT_EQ(trace.Lines(), (std::vector<std::string>{"COM1=/dev/ttyACM0", "COM5=/dev/ttyUSB0",
                                                     "/dev/ttyS0", "/dev/ttyS10"}));
}

TEST(PortChoiceList, NoDevicesAndNoFileGiveAnEmptyList) {
  FakeSysTty sys;
  PortNames names;
  EXPECT_TRUE(PortChoiceList(names, nullptr, sys.Path()).empty());
  EXPECT_TRUE(RealSerialPorts(nullptr, "/nonexistent-quell-dir").empty());
}

}  // namespace
}  // namespace quell
