#pragma once
// The journal list: every entry on the sky-blue background, in the colour
// of its tone, newest on top as the journal orders them. Entries are kept as
// the journal's bytes and turned into text only when a row is painted, and
// entries added on top are shown together at most every kShowEveryMs, so a
// flood of events costs the event loop a copy of each line, not a widget item.
#include <QAbstractListModel>
#include <QListView>
#include <QTimer>
#include <deque>
#include <string>

#include "core/journal.h"

namespace quell {

class JournalModel : public QAbstractListModel {
  Q_OBJECT

 public:
  static constexpr int kShowEveryMs = 50;

  explicit JournalModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  // Mirrors Journal::onInsert (text in Windows-1251). Entries on top wait for
  // the next showing; one elsewhere shows what waits, then itself.
  void Insert(size_t index, std::string text);
  void Clear();
  // Shows the entries waiting on top now.
  void ShowWaiting();
  size_t Waiting() const { return waiting_; }

 private:
  std::deque<std::string> entries_;  // newest first, the waiting ones included
  size_t waiting_ = 0;               // entries on top not yet shown
  QTimer show_;
};

class JournalView : public QListView {
  Q_OBJECT

 public:
  explicit JournalView(QWidget* parent = nullptr);

  void InsertEntry(size_t index, const std::string& text) { model_->Insert(index, text); }
  void clear() { model_->Clear(); }
  // Replaces the whole list with the journal's entries.
  void Reload(const Journal& journal);
  JournalModel* journalModel() const { return model_; }

 private:
  JournalModel* model_;
};

}  // namespace quell
