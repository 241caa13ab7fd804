// The trace pane: lines appended from any thread reach a shown pane through
// one refresh on the GUI thread; a hidden pane is sent nothing and shows the
// view's lines once shown.
#include "ui/trace_pane.h"

#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <thread>

#include "core/trace_view.h"

namespace quell {
namespace {

// Events waiting for the GUI thread (posted refreshes among them).
bool RefreshWaits() {
  return QCoreApplication::instance()->eventDispatcher()->processEvents(
      QEventLoop::ExcludeUserInputEvents);
}

TEST(TracePaneTest, AHiddenPaneIsSentNothingAndAShownOneGetsEachBurstInOneRefresh) {
  TraceView view;
  TracePane pane(view);
  QCoreApplication::processEvents();
  std::thread([&] {
    for (int i = 0; i < 20; ++i) view.Append("hidden " + std::to_string(i));
  }).join();
  EXPECT_FALSE(RefreshWaits());  // nothing was posted for a hidden pane
  EXPECT_TRUE(pane.toPlainText().isEmpty());

  pane.show();
  QCoreApplication::processEvents();
  EXPECT_TRUE(pane.toPlainText().endsWith(QStringLiteral("hidden 19")));
  std::thread([&] {
    for (int i = 0; i < 20; ++i) view.Append("shown " + std::to_string(i));
  }).join();
  QCoreApplication::processEvents();
  const QString text = pane.toPlainText();
  EXPECT_TRUE(text.startsWith(QStringLiteral("hidden 0")));
  EXPECT_TRUE(text.endsWith(QStringLiteral("shown 19")));

  pane.hide();
  QCoreApplication::processEvents();
  view.Append("after hiding");
  EXPECT_FALSE(RefreshWaits());
}

}  // namespace
}  // namespace quell
