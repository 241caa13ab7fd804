#include "ui/error_report.h"

#include <gmock/gmock.h>
#include <QTimer>

namespace quell {
namespace {

using ::testing::ElementsAre;

TEST(ErrorReportTest, TimerErrorsNameTheTimer) {
  QTimer timer;
  timer.setObjectName(QStringLiteral("SupervisionTimer"));
  EXPECT_THAT(EscapedErrorLines("boom", &timer),
              ElementsAre("Exception: boom", "TTimer", "SupervisionTimer"));
}

TEST(ErrorReportTest, OtherReceiversGiveOneLine) {
  QObject socket;
  socket.setObjectName(QStringLiteral("Listener8097"));
  EXPECT_THAT(EscapedErrorLines("bad read", &socket), ElementsAre("Exception: bad read"));
  EXPECT_THAT(EscapedErrorLines("x", nullptr), ElementsAre("Exception: x"));
}

}  // namespace
}  // namespace quell
