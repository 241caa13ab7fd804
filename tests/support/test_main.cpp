// Test entry: a Qt application object (sockets and timers need one) and
// GoogleTest/GoogleMock.
#include <gmock/gmock.h>
#include <QCoreApplication>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QCoreApplication app(argc, argv);
  testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
