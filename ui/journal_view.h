#pragma once
// The journal list: every entry on the sky-blue background, in the colour
// of its tone, newest on top as the journal orders them.
#include <QListWidget>
#include <string>

#include "core/journal.h"

namespace quell {

class JournalView : public QListWidget {
  Q_OBJECT

 public:
  explicit JournalView(QWidget* parent = nullptr);

  // Mirrors Journal::onInsert (text in Windows-1251).
  void InsertEntry(size_t index, const std::string& text);
  // Replaces the whole list with the journal's entries.
  void Reload(const Journal& journal);
};

}  // namespace quell
