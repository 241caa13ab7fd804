#include <gtest/gtest.h>

#include "core/config/sections.h"

namespace quell {
namespace {

using Lines = std::vector<std::string>;

struct LineSet {
  int32_t evChar = 13, rxEvent = 2, priority = 2, timer = 1000;
  std::array<int32_t*, 4> Targets() { return {&evChar, &rxEvent, &priority, &timer}; }
};

struct Modem {
  std::string answer = "ATA", hangup = "ATH", dial = "ATD", onBusy = "ATH", initStr = "ATV1Q0E1",
              initStr1 = "AT+CLIP=1", initStr2;
  std::array<std::string*, 7> Targets() {
    return {&answer, &hangup, &dial, &onBusy, &initStr, &initStr1, &initStr2};
  }
};

TEST(LineSettingsSectionName, CallerIdTypesCarryTheirMode) {
  EXPECT_EQ(LineSettingsSectionName("GSM XCALL", 2), "GSM XCALL_2");
  EXPECT_EQ(LineSettingsSectionName("MLR", 2), "MLR");
  EXPECT_EQ(LineSettingsSectionName("GSM Selva", 1), "GSM Selva");
}

TEST(LineSetSection, HeaderInsideACommentLineStartsTheSectionAndTheNextHeaderEndsIt) {
  const Lines file{"[GSM XCALL_1]", "TIMER=10",   "  [MLR] ; serial receiver",
                   " evCHAR=20 ",   "RX_EVENT=0", "; [VORTI]",
                   "TIMER=750"};
  LineSet s;
  TraceView trace;
  ApplyLineSetSection(file, "MLR", s.Targets(), trace);
  EXPECT_EQ(s.evChar, 20);
  EXPECT_EQ(s.rxEvent, 0);
  EXPECT_EQ(s.timer, 1000);  // belongs to the section after the comment header
  EXPECT_EQ(trace.Lines(), (Lines{"[MLR]", "0"}));
}

TEST(LineSetSection, ValueWithACommentEndsTheScanAndKeepsEarlierValues) {
  const Lines file{"[MLR]", "evCHAR=20", "TIMER=500 ;comment", "RX_EVENT=1"};
  LineSet s;
  TraceView trace;
  ApplyLineSetSection(file, "MLR", s.Targets(), trace);
  EXPECT_EQ(s.evChar, 20);
  EXPECT_EQ(s.timer, 1000);
  EXPECT_EQ(s.rxEvent, 2);
  EXPECT_EQ(trace.Lines(), Lines{"[MLR]"});  // no RxEvent after a failed conversion
}

TEST(LineSetSection, MissingSectionOrEmptyValueKeepsDefaults) {
  LineSet s;
  TraceView trace;
  ApplyLineSetSection({"[VORTI]", "TIMER=1"}, "MLR", s.Targets(), trace);
  EXPECT_EQ(s.timer, 1000);
  EXPECT_EQ(trace.Lines(), (Lines{"[MLR]", "2"}));

  // "PRIORITY=" alone reads "FALSE", which does not convert.
  ApplyLineSetSection({"[MLR]", "PRIORITY=", "TIMER=5"}, "MLR", s.Targets(), trace);
  EXPECT_EQ(s.priority, 2);
  EXPECT_EQ(s.timer, 1000);
}

TEST(ModemTypeSection, ValueIsTheSecondColonField) {
  const Lines file{"[M0]",      "ATA:ATA0",    "[M1]", "INISTR:AT+CNMI=2,1", "INISTR1:",
                   "ATD:ATD:9", "ONBUSY:ATH0", "[M2]", "INISTR2:AT+X"};
  Modem m;
  ApplyModemTypeSection(file, "M1", m.Targets());
  EXPECT_EQ(m.initStr, "AT+CNMI=2,1");
  EXPECT_EQ(m.initStr1, "FALSE");
  EXPECT_EQ(m.dial, "ATD");  // a further ":" cuts the value
  EXPECT_EQ(m.onBusy, "ATH0");
  EXPECT_EQ(m.answer, "ATA");  // from another section
  EXPECT_EQ(m.initStr2, "");
}

TEST(ModemTypeSection, TypeNamesAreCollectedInFileOrderTrimmed) {
  const Lines file{"[ M1 ]", "ATA:ATA", "; comment", "x [Siemens MC35] y", "[Open"};
  EXPECT_EQ(CollectModemTypeNames(file), (Lines{"M1", "Siemens MC35", "Open"}));
}

}  // namespace
}  // namespace quell
