#include "ui/modem_state_view.h"

#include <QAction>
#include <QHeaderView>

#include "core/cp1251.h"
#include "ui/icons.h"
#include "ui/modem_rows.h"

namespace quell {

ModemStateView::ModemStateView(const LineList& lines, QWidget* parent)
    : QTreeWidget(parent), lines_(lines) {
  setHeaderLabels({QStringLiteral("Линия"), QStringLiteral(" Сеть")});
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* refresh = new QAction(QStringLiteral("Обновить"), this);
  connect(refresh, &QAction::triggered, this, &ModemStateView::Refresh);
  addAction(refresh);
}

void ModemStateView::Refresh() {
  clear();
  for (const ModemStateRow& row : ModemStateRows(lines_)) {
    auto* item = new QTreeWidgetItem({FromCp1251(row.caption), QString()});
    item->setIcon(0, StateIcon(row.stateIcon));
    item->setIcon(1, SignalIcon(row.signalIcon));
    addTopLevelItem(item);
  }
}

}  // namespace quell
