#pragma once
// The "История" page: the stored events, newest first, one page at a time
// (a station keeps millions of rows), filtered by account and time range.
// Reads the events file read-only beside the running store, or the shared
// history on a PostgreSQL server: then with a node field and column, and
// the page arrives later from the source's own thread.
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/history_source.h"

namespace quell {

class HistoryView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kPageRows = 200;

  // The events file at path.
  explicit HistoryView(std::string path, QWidget* parent = nullptr);
  explicit HistoryView(std::unique_ptr<HistorySource> source, QWidget* parent = nullptr);

  // Shows the newest page for the filter fields. While a page is being
  // read these do nothing.
  void ShowNewest();
  void ShowOlder();
  void ShowNewer();

  QLineEdit* accountField() { return account_; }
  QLineEdit* nodeField() { return node_; }  // null for an events file
  QDateTimeEdit* sinceField() { return since_; }
  QDateTimeEdit* untilField() { return until_; }
  QTreeWidget* rows() { return rows_; }
  QLabel* status() { return status_; }
  QPushButton* olderButton() { return older_; }
  QPushButton* newerButton() { return newer_; }
  bool reading() const { return reading_; }

 Q_SIGNALS:
  // A page (or the reason there is none) is on the screen.
  void PageShown();

 private:
  // Asks for the page of rows older than before (none: the newest).
  void ShowPage(std::optional<HistoryKey> before);
  void Show(std::optional<HistoryKey> before, HistoryPage page);
  HistoryRequest Request() const;

  std::unique_ptr<HistorySource> source_;
  QLineEdit* account_;
  QLineEdit* node_ = nullptr;
  QDateTimeEdit* since_;
  QDateTimeEdit* until_;
  QPushButton* newer_;
  QPushButton* older_;
  QLabel* status_;
  QTreeWidget* rows_;
  // The start of each page shown, oldest last (none: the newest page).
  std::vector<std::optional<HistoryKey>> pageStarts_;
  std::optional<HistoryKey> last_;  // the oldest row on the page shown
  bool more_ = false;
  bool reading_ = false;
};

}  // namespace quell
