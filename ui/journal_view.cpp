#include "ui/journal_view.h"

#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>

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

JournalModel::JournalModel(QObject* parent) : QAbstractListModel(parent) {
  show_.setSingleShot(true);
  show_.setInterval(kShowEveryMs);
  connect(&show_, &QTimer::timeout, this, &JournalModel::ShowWaiting);
}

int JournalModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(entries_.size() - waiting_);
}

QVariant JournalModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) return {};
  const std::string& text = entries_[size_t(index.row()) + waiting_];
  if (role == Qt::DisplayRole) return FromCp1251(text);
  if (role == Qt::ForegroundRole) return ToColor(ToneRgb(JournalToneOf(text)));
  return {};
}

void JournalModel::Insert(size_t index, std::string text) {
  if (index == 0) {
    entries_.push_front(std::move(text));
    ++waiting_;
    if (!show_.isActive()) show_.start();
    return;
  }
  ShowWaiting();
  const int row = int(std::min(index, entries_.size()));
  beginInsertRows(QModelIndex(), row, row);
  entries_.insert(entries_.begin() + row, std::move(text));
  endInsertRows();
}

void JournalModel::ShowWaiting() {
  show_.stop();
  if (waiting_ == 0) return;
  beginInsertRows(QModelIndex(), 0, int(waiting_) - 1);
  waiting_ = 0;
  endInsertRows();
}

void JournalModel::Clear() {
  show_.stop();
  beginResetModel();
  entries_.clear();
  waiting_ = 0;
  endResetModel();
}

JournalView::JournalView(QWidget* parent) : QListView(parent), model_(new JournalModel(this)) {
  setModel(model_);
  setItemDelegate(new JournalDelegate(this));
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  QPalette p = palette();
  p.setColor(QPalette::Base, ToColor(kJournalBackground));
  setPalette(p);
}

void JournalView::Reload(const Journal& journal) {
  model_->Clear();
  // Oldest first on top of each other: the newest ends on top.
  const auto& entries = journal.Entries();
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) model_->Insert(0, *it);
  model_->ShowWaiting();
}

}  // namespace quell
