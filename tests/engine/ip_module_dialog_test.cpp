// The IP module settings dialog: what it opens with, what OK writes, and
// that the reader takes back what was written.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "core/config/file_names.h"
#include "core/config/ip_module_file.h"
#include "core/config/text_file.h"
#include "engine/ip_module_dialog.h"

namespace quell {
namespace {

struct Expected {
  int limit;
  bool storeOffline, testSignal, lossRestore;
};

void ExpectSettings(const IpModuleSettings& s, const Expected& e) {
  EXPECT_EQ(s.silenceLimitSeconds, e.limit);
  EXPECT_EQ(s.storeOffline, e.storeOffline);
  EXPECT_EQ(s.testSignal, e.testSignal);
  EXPECT_EQ(s.lossRestore, e.lossRestore);
}

class IpModuleDialogTest : public ::testing::Test {
 protected:
  std::string WorkDir() const { return dir_.path().toStdString(); }
  std::optional<std::vector<std::string>> File() const {
    return ReadTextLines(ConfigPath(WorkDir(), kIpModuleFileName));
  }
  QTemporaryDir dir_;
  IpModuleSettings settings_;
};

TEST_F(IpModuleDialogTest, OkWritesTheFileTheReaderTakesBack) {
  struct Case {
    IpModuleDialogState state;
    std::vector<std::string> lines;
    Expected read;
  } cases[] = {
      {{3, 20, 0, false, 1}, {"03:20:00", "0", "0", "1"}, {12000, false, false, true}},
      {{0, 0, 5, true, 0}, {"00:00:05", "1", "1", "0"}, {5, true, true, false}},
      {{23, 59, 59, false, -1}, {"23:59:59", "0", "0", "0"}, {86399, false, false, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines[0]);
    std::string error;
    ASSERT_TRUE(ApplyIpModuleDialog(settings_, WorkDir(), c.state, &error)) << error;
    EXPECT_EQ(File(), c.lines);
    ExpectSettings(settings_, c.read);
    ExpectSettings(ReadIpModuleSettings(WorkDir()), c.read);
  }
}

TEST_F(IpModuleDialogTest, TimeOutOfRangeIsRefusedAndNothingWritten) {
  const IpModuleDialogState cases[] = {
      {24, 0, 0, true, 0}, {0, 60, 0, true, 0}, {0, 0, 60, true, 0}, {-1, 0, 0, true, 0}};
  for (const IpModuleDialogState& state : cases) {
    SCOPED_TRACE(state.hours * 10000 + state.minutes * 100 + state.seconds);
    std::string error;
    EXPECT_FALSE(ApplyIpModuleDialog(settings_, WorkDir(), state, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(File().has_value());
    ExpectSettings(settings_, {12000, false, false, true});
  }
}

TEST_F(IpModuleDialogTest, ReopeningShowsTheSettingsNotACancelledChoice) {
  settings_.silenceLimitSeconds = 1 * 3600 + 2 * 60 + 3;
  settings_.storeOffline = true;
  IpModuleDialogState cancelled = OpenIpModuleDialog(settings_);
  EXPECT_EQ(cancelled.eventChoice, 1);
  cancelled.eventChoice = 0;  // then "Cancel"
  cancelled.hours = 9;

  IpModuleDialogState reopened = OpenIpModuleDialog(settings_);
  EXPECT_EQ(reopened.hours, 1);
  EXPECT_EQ(reopened.minutes, 2);
  EXPECT_EQ(reopened.seconds, 3);
  EXPECT_TRUE(reopened.keepEvents);
  EXPECT_EQ(reopened.eventChoice, 1);
  ASSERT_TRUE(ApplyIpModuleDialog(settings_, WorkDir(), reopened, nullptr));
  ExpectSettings(settings_, {3723, true, false, true});

  settings_.testSignal = true;
  EXPECT_EQ(OpenIpModuleDialog(settings_).eventChoice, 0);
}

}  // namespace
}  // namespace quell
