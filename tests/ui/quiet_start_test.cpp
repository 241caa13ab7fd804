// Qt's start-up warnings about the setting we run in are kept quiet, and
// nothing else is.
#include "app/quiet_start.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QtGlobal>

namespace quell {
namespace {

class RuntimeDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = qgetenv("XDG_RUNTIME_DIR");
    hadValue_ = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    base_ = base.path().toStdString();
    ours_ = base_ + "/quell-runtime-" + std::to_string(geteuid());
  }
  void TearDown() override {
    if (hadValue_)
      qputenv("XDG_RUNTIME_DIR", saved_);
    else
      qunsetenv("XDG_RUNTIME_DIR");
  }
  static mode_t Mode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 0777;
  }

  QTemporaryDir base;
  std::string base_, ours_;
  QByteArray saved_;
  bool hadValue_ = false;
};

TEST_F(RuntimeDirTest, MakesAPrivateDirectoryAndUsesItAgain) {
  EXPECT_EQ(UsePrivateRuntimeDir(base_), ours_);
  EXPECT_EQ(Mode(ours_), 0700u);
  EXPECT_EQ(qgetenv("XDG_RUNTIME_DIR").toStdString(), ours_);
  qunsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(UsePrivateRuntimeDir(base_), ours_);  // the second start finds it
}

TEST_F(RuntimeDirTest, NeverUsesADirectoryOthersCanReachOrALink) {
  ASSERT_EQ(mkdir(ours_.c_str(), 0750), 0);  // group may read: not private
  const std::string first = UsePrivateRuntimeDir(base_);
  EXPECT_NE(first, ours_);
  EXPECT_EQ(first.rfind(base_ + "/quell-runtime-", 0), 0u) << first;
  EXPECT_EQ(Mode(first), 0700u);

  ASSERT_EQ(rmdir(ours_.c_str()), 0);
  const std::string target = base_ + "/elsewhere";
  ASSERT_EQ(mkdir(target.c_str(), 0700), 0);
  ASSERT_EQ(symlink(target.c_str(), ours_.c_str()), 0);
  qunsetenv("XDG_RUNTIME_DIR");
  const std::string second = UsePrivateRuntimeDir(base_);
  EXPECT_NE(second, ours_);
  EXPECT_NE(second, target);
}

TEST_F(RuntimeDirTest, LeavesASetVariableAlone) {
  qputenv("XDG_RUNTIME_DIR", "/run/user/1000");
  EXPECT_EQ(UsePrivateRuntimeDir(base_), "");
  EXPECT_EQ(qgetenv("XDG_RUNTIME_DIR"), QByteArray("/run/user/1000"));
}

std::vector<std::string>* seen = nullptr;
void Record(QtMsgType, const QMessageLogContext&, const QString& text) {
  if (seen) seen->push_back(text.toStdString());
}

TEST(SizeHintWarningTest, DropsExactlyThatWarning) {
  std::vector<std::string> messages;
  seen = &messages;
  const QtMessageHandler before = qInstallMessageHandler(Record);
  DropOffscreenSizeHintWarning();
  qWarning("This plugin does not support propagateSizeHints()");
  qWarning("This plugin does not support propagateSizeHints()!");  // a near miss stays
  qWarning("Listen 8040: address in use");
  qInstallMessageHandler(before);
  seen = nullptr;
  EXPECT_EQ(messages,
            (std::vector<std::string>{"This plugin does not support propagateSizeHints()!",
                                      "Listen 8040: address in use"}));
}

}  // namespace
}  // namespace quell
