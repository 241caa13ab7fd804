#pragma once
// The "Активные" table: one row per IP object with its last contact.
// Its context command "Очистить список" clears the journal, not this table.
#include <QTreeWidget>

#include "ip/ip_module_list.h"

namespace quell {

class ActiveObjectsView : public QTreeWidget {
  Q_OBJECT

 public:
  explicit ActiveObjectsView(QWidget* parent = nullptr);
  void Reload(const IpModuleList& modules);

 Q_SIGNALS:
  void clearJournalRequested();
};

}  // namespace quell
