// Test entry for window tests: a widget application object on the offscreen
// platform, and GoogleTest/GoogleMock.
#include <gmock/gmock.h>
#include <QApplication>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
