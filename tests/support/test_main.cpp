// Test entry: a Qt application object (sockets and timers need one) and
// GoogleTest/GoogleMock.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QCoreApplication>

#include "tests/support/wire_check.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QCoreApplication app(argc, argv);
  testing::InitGoogleMock(&argc, argv);
  // A text sent in a form the gateway never sends fails the test that sent it.
  quell::test::WireFaultHandler() = [](const std::string& fault) {
    ADD_FAILURE() << "wire form: " << fault;
  };
  return RUN_ALL_TESTS();
}
