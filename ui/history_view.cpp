#include "ui/history_view.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "store/history_text.h"

namespace quell {

HistoryView::HistoryView(std::string path, QWidget* parent)
    : QWidget(parent), path_(std::move(path)) {
  account_ = new QLineEdit(this);
  account_->setPlaceholderText(QStringLiteral("Объект"));
  account_->setMaxLength(4);
  const QDateTime now = QDateTime::currentDateTime();
  since_ = new QDateTimeEdit(now.addDays(-1), this);
  until_ = new QDateTimeEdit(now.addYears(1), this);
  for (QDateTimeEdit* edit : {since_, until_}) {
    edit->setDisplayFormat(QStringLiteral("dd.MM.yyyy HH:mm"));
    edit->setCalendarPopup(true);
  }
  auto* show = new QPushButton(QStringLiteral("Показать"), this);
  newer_ = new QPushButton(QStringLiteral("Новее"), this);
  older_ = new QPushButton(QStringLiteral("Ранее"), this);
  status_ = new QLabel(this);
  rows_ = new QTreeWidget(this);
  rows_->setRootIsDecorated(false);
  rows_->setUniformRowHeights(true);
  rows_->setHeaderLabels({QStringLiteral("Время"), QStringLiteral("Канал"), QStringLiteral("Линия"),
                          QStringLiteral("Адрес"), QStringLiteral("Объект"),
                          QStringLiteral("Событие"), QStringLiteral("Доставка")});

  auto* filter = new QHBoxLayout;
  filter->addWidget(new QLabel(QStringLiteral("Объект"), this));
  filter->addWidget(account_);
  filter->addWidget(new QLabel(QStringLiteral("с"), this));
  filter->addWidget(since_);
  filter->addWidget(new QLabel(QStringLiteral("по"), this));
  filter->addWidget(until_);
  filter->addWidget(show);
  filter->addStretch();
  filter->addWidget(status_);
  filter->addWidget(newer_);
  filter->addWidget(older_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(filter);
  layout->addWidget(rows_);

  connect(show, &QPushButton::clicked, this, &HistoryView::ShowNewest);
  connect(account_, &QLineEdit::returnPressed, this, &HistoryView::ShowNewest);
  connect(older_, &QPushButton::clicked, this, &HistoryView::ShowOlder);
  connect(newer_, &QPushButton::clicked, this, &HistoryView::ShowNewer);
  newer_->setEnabled(false);
  older_->setEnabled(false);
}

EventQuery HistoryView::Filter() const {
  EventQuery q;
  q.account = account_->text().trimmed().toStdString();
  q.sinceMs = since_->dateTime().toMSecsSinceEpoch();
  // The minute shown includes its seconds.
  q.untilMs = until_->dateTime().addSecs(60).toMSecsSinceEpoch() - 1;
  q.limit = kPageRows + 1;  // one more tells whether an older page exists
  q.newestFirst = true;
  return q;
}

void HistoryView::ShowNewest() {
  pageStarts_.clear();
  ShowPage(0);
}

void HistoryView::ShowOlder() {
  if (more_) ShowPage(lastSeq_);
}

void HistoryView::ShowNewer() {
  if (pageStarts_.size() < 2) return;
  pageStarts_.pop_back();
  const int64_t before = pageStarts_.back();
  pageStarts_.pop_back();
  ShowPage(before);
}

void HistoryView::ShowPage(int64_t beforeSeq) {
  rows_->clear();
  EventQuery q = Filter();
  q.beforeSeq = beforeSeq;
  EventDb db;
  std::string error;
  std::vector<EventRow> page;
  const bool ok = db.OpenReadOnly(path_, &error) && db.Read(
                                                        q,
                                                        [&](const EventRow& r) {
                                                          page.push_back(r);
                                                          return true;
                                                        },
                                                        &error);
  if (!ok) {
    status_->setText(QString::fromStdString(error));
    more_ = false;
    older_->setEnabled(false);
    newer_->setEnabled(!pageStarts_.empty());
    return;
  }
  more_ = page.size() > size_t(kPageRows);
  if (more_) page.pop_back();
  pageStarts_.push_back(beforeSeq);
  QList<QTreeWidgetItem*> items;
  for (const EventRow& r : page) {
    const QString went = QString::fromUtf8(FateText(r.console)) +
                         (r.notice == EventFate::None ? QString()
                                                      : QStringLiteral(", клиент ") +
                                                            QString::fromUtf8(FateText(r.notice)));
    items.append(new QTreeWidgetItem(
        QStringList{QDateTime::fromMSecsSinceEpoch(r.receivedMs)
                        .toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")),
                    QString::fromStdString(r.road), QString::fromStdString(ReadableText(r.line)),
                    QString::fromStdString(r.peer), QString::fromStdString(ReadableText(r.account)),
                    QString::fromStdString(ReadableText(EventLineOf(r))), went}));
  }
  rows_->addTopLevelItems(items);
  lastSeq_ = page.empty() ? 0 : page.back().seq;
  status_->setText(QStringLiteral("Страница %1").arg(pageStarts_.size()));
  older_->setEnabled(more_);
  newer_->setEnabled(pageStarts_.size() > 1);
}

}  // namespace quell
