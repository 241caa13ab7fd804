// The wire forms: each form the gateway sends passes, and a near miss (one
// field too many, a control byte in the wrong place) does not.
#include "core/wire_forms.h"

#include <gtest/gtest.h>

#include "core/wire.h"

namespace quell {
namespace {

TEST(WireForms, GatewayFormsPassAndNearMissesFail) {
  using T = WireTarget;
  using O = NoticeOrigin;
  const std::string dc4(1, kDC4);
  const struct {
    T target;
    O origin;
    std::string text;
    bool ok;
  } cases[] = {
      {T::ConsoleMlr2, O::Relay, "5011 181234E13001015" + dc4, true},
      {T::ConsoleMlr2, O::Relay, "5011 181234E13001015" + dc4 + dc4, true},
      {T::ConsoleMlr2, O::Relay, "5011 189999R40000000E13000001" + dc4 + dc4, true},
      {T::ConsoleMlr2, O::Relay, "5011 18\r234E13001015" + dc4, false},
      {T::ConsoleMlr2, O::Relay, "5011 181234E13001015", false},
      {T::ConsoleMlr2, O::Relay, kTroubleLine, true},
      {T::ConsoleAdemco685, O::Relay, "\n01 1234 31\r", true},
      {T::ConsoleAdemco685, O::Relay, "\n" + kOkayLine, true},
      {T::ConsoleAdemco685, O::Relay, "\n01 12\r4 31\r", false},
      {T::Console2, O::Relay, "5011 181234E13001015\r", true},
      {T::Console2, O::Relay, "5011 180099R35600000", true},
      {T::Console2, O::Relay, "5011 1812;4E13001015\r", false},
      {T::WardexClient, O::IpEvent, "MLR;5011 181234E13001015\r;MLR_EVENT|", true},
      {T::WardexClient, O::IpEvent, "MLR;5011 1812;4E13001015\r;MLR_EVENT|", false},
      {T::WardexClient, O::IpEvent, "MLR;1011      1234 @\r;MLR_EVENT|", true},
      {T::WardexClient, O::CallerIdRing, "L1;+79001112233;GSM XCALL;0;CRING;", true},
      {T::WardexClient, O::CallerIdRing, "L1;+7900;1;GSM XCALL;0;CRING;", false},
      {T::WardexClient, O::CallerIdKeyResult, "L1;+7900;XCALL_KEY01;57;CIDE130|;", true},
      {T::WardexClient, O::CallerIdPlainResult, "L1;+7900;XCALL_GUARD_ON;57;|", true},
      {T::WardexClient, O::CallerIdPlainResult, "L1;+7900;XCALL_GUARD_ON;5|7;|", false},
      {T::WardexClient, O::CallerIdDialledResult, "L1;+7900;XCALL_STATE_ON;|", true},
      {T::WardexClient, O::LineStatus, "QUELL_LINE_STATUS&L1&SERVICE_OFF", true},
      {T::WardexClient, O::DataCall, "S1;+7900;GSM Selva;~123410;SELVA_RES|", true},
      {T::WardexClient, O::DataCall, "S1;+7900;GSM Selva;~12|3410;SELVA_RES|", false},
      {T::WardexClient, O::SerialReceiver, "R1;00 0887 C4\r;VORTI;VORTI_EVENT|", true},
      {T::WardexClient, O::SerialReceiver, "R1;00 08\r87 C4;VORTI;VORTI_EVENT|", false},
      {T::WardexClient, O::SerialReceiver, "R1;5011 181234E13001015\r;MLR;MLR_EVENT|", false},
      {T::WardexClient, O::ShortMessage, "S1;5099 181234E13001015;GSM;MLR_EVENT|", true},
      {T::WardexClient, O::LossRestore, "QuellServer;5011 181234E35600000;MLR_EVENT|", true},
      {T::WardexClient, O::Heartbeat, kClientHeartbeat, true},
      {T::WardexClient, O::Relay, "anything;at|all\r", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(WireFormFault(c.target, c.text, c.origin).empty(), c.ok) << c.text;
}

}  // namespace
}  // namespace quell
