#pragma once
// The "История" page: the stored events, newest first, one page at a time
// (a station keeps millions of rows), filtered by account and time range.
// Reads the events file read-only beside the running store.
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QWidget>
#include <string>
#include <vector>

#include "store/event_db.h"

namespace quell {

class HistoryView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kPageRows = 200;

  explicit HistoryView(std::string path, QWidget* parent = nullptr);

  // Shows the newest page for the filter fields.
  void ShowNewest();
  void ShowOlder();
  void ShowNewer();

  QLineEdit* accountField() { return account_; }
  QDateTimeEdit* sinceField() { return since_; }
  QDateTimeEdit* untilField() { return until_; }
  QTreeWidget* rows() { return rows_; }

 private:
  // Fills the list with the page of rows older than beforeSeq (0: newest).
  void ShowPage(int64_t beforeSeq);
  EventQuery Filter() const;

  const std::string path_;
  QLineEdit* account_;
  QDateTimeEdit* since_;
  QDateTimeEdit* until_;
  QPushButton* newer_;
  QPushButton* older_;
  QLabel* status_;
  QTreeWidget* rows_;
  std::vector<int64_t> pageStarts_;  // beforeSeq of each page shown, oldest last
  int64_t lastSeq_ = 0;              // the smallest seq on the page shown
  bool more_ = false;
};

}  // namespace quell
