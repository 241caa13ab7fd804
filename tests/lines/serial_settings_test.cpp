#include <gtest/gtest.h>

#include "lines/serial_settings.h"

namespace quell {
namespace {

TEST(SerialSettings, FormatsTheLineDefaultsWithoutBlanks) {
  TLineGSM line;
  line.PortNumber = 3;
  EXPECT_EQ(FormatSerialSettings(line), "COM3,19200,8,0,0,0");
  line.PortConfig.fParity = true;
  line.PortConfig.Parity = 2;
  line.PortConfig.StopBits = 2;
  line.PortConfig.ByteSize = 7;
  EXPECT_EQ(FormatSerialSettings(line), "COM3,19200,7,2,1,2");
}

TEST(SerialSettings, ParseRoundTripsTheFormat) {
  TLineGSM line;
  ASSERT_TRUE(ParseSerialSettings(line, "COM12,9600,7,1,1,4"));
  EXPECT_EQ(line.PortNumber, 12);
  EXPECT_EQ(line.PortConfig.BaudRate, 9600u);
  EXPECT_EQ(line.PortConfig.ByteSize, 7);
  EXPECT_EQ(line.PortConfig.StopBits, 1);
  EXPECT_TRUE(line.PortConfig.fParity);
  EXPECT_EQ(line.PortConfig.Parity, 4);
  EXPECT_EQ(FormatSerialSettings(line), "COM12,9600,7,1,1,4");
}

TEST(SerialSettings, AbsentItemsKeepTheirValues) {
  TLineGSM line;
  EXPECT_TRUE(ParseSerialSettings(line, "COM7"));
  EXPECT_EQ(FormatSerialSettings(line), "COM7,19200,8,0,0,0");
  EXPECT_TRUE(ParseSerialSettings(line, ",,,2"));  // no port: item 1 is empty
  EXPECT_EQ(FormatSerialSettings(line), "COM7,19200,8,2,0,0");
  EXPECT_TRUE(ParseSerialSettings(line, "FALSE"));
  EXPECT_TRUE(ParseSerialSettings(line, "7,4800"));  // no "COM": the port stays
  EXPECT_EQ(FormatSerialSettings(line), "COM7,4800,8,2,0,0");
}

TEST(SerialSettings, ConversionFailureStopsAndKeepsEarlierItems) {
  TLineGSM line;
  EXPECT_FALSE(ParseSerialSettings(line, "COM4,9600,x,1,1,2"));
  EXPECT_EQ(FormatSerialSettings(line), "COM4,9600,8,0,0,0");

  TLineGSM wide;
  EXPECT_FALSE(ParseSerialSettings(wide, "COM4,9600,300,1"));  // does not fit a byte
  EXPECT_EQ(FormatSerialSettings(wide), "COM4,9600,8,0,0,0");
  EXPECT_FALSE(ParseSerialSettings(wide, "COM5,-9600"));
  EXPECT_EQ(FormatSerialSettings(wide), "COM5,9600,8,0,0,0");
  EXPECT_FALSE(ParseSerialSettings(wide, "COMx,1200"));
  EXPECT_EQ(wide.PortConfig.BaudRate, 9600u);
}

}  // namespace
}  // namespace quell
