// Test entry for window tests: a widget application object on the offscreen
// platform, and GoogleTest/GoogleMock.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QApplication>

#include "tests/support/wire_check.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  testing::InitGoogleMock(&argc, argv);
  // A text sent in a form the gateway never sends fails the test that sent it.
  quell::test::WireFaultHandler() = [](const std::string& fault) {
    ADD_FAILURE() << "wire form: " << fault;
  };
  return RUN_ALL_TESTS();
}
