#include "ui/journal_view.h"

#include <QPainter>
#include <QStyledItemDelegate>

#include "core/cp1251.h"
#include "ui/journal_tone.h"

namespace quell {

namespace {

QColor ToColor(Rgb c) {
  return QColor(c.r, c.g, c.b);
}

// Background and text colour are the same whether or not the entry is
// selected; the text starts 2 pixels right and 1 pixel below the corner.
class JournalDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    painter->save();
    painter->fillRect(option.rect, ToColor(kJournalBackground));
    painter->setFont(option.font);
    painter->setPen(index.data(Qt::ForegroundRole).value<QColor>());
    painter->drawText(option.rect.adjusted(2, 1, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                      index.data(Qt::DisplayRole).toString());
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const QFontMetrics fm(option.font);
    return QSize(fm.horizontalAdvance(index.data(Qt::DisplayRole).toString()) + 4, fm.height() + 2);
  }
};

}  // namespace

JournalView::JournalView(QWidget* parent) : QListWidget(parent) {
  setItemDelegate(new JournalDelegate(this));
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  QPalette p = palette();
  p.setColor(QPalette::Base, ToColor(kJournalBackground));
  setPalette(p);
}

void JournalView::InsertEntry(size_t index, const std::string& text) {
  auto* item = new QListWidgetItem(FromCp1251(text));
  item->setData(Qt::ForegroundRole, ToColor(ToneRgb(JournalToneOf(text))));
  insertItem(int(std::min<size_t>(index, size_t(count()))), item);
}

void JournalView::Reload(const Journal& journal) {
  clear();
  size_t i = 0;
  for (const std::string& text : journal.Entries()) InsertEntry(i++, text);
}

}  // namespace quell
