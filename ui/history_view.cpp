#include "ui/history_view.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "store/history_text.h"
#include "store/sqlite_history_source.h"

namespace quell {

HistoryView::HistoryView(std::string path, QWidget* parent)
    : HistoryView(std::make_unique<SqliteHistorySource>(std::move(path)), parent) {}

HistoryView::HistoryView(std::unique_ptr<HistorySource> source, QWidget* parent)
    : QWidget(parent), source_(std::move(source)) {
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
  QStringList headers{QStringLiteral("Время"),   QStringLiteral("Канал"),
                      QStringLiteral("Линия"),   QStringLiteral("Адрес"),
                      QStringLiteral("Объект"),  QStringLiteral("Событие"),
                      QStringLiteral("Доставка")};
  if (source_->Shared()) headers << QStringLiteral("Узел");
  rows_->setHeaderLabels(headers);

  auto* filter = new QHBoxLayout;
  filter->addWidget(new QLabel(QStringLiteral("Объект"), this));
  filter->addWidget(account_);
  if (source_->Shared()) {
    // A gateway's name in the shared history; empty: every gateway's rows.
    node_ = new QLineEdit(this);
    node_->setPlaceholderText(QStringLiteral("все"));
    node_->setMaxLength(64);
    node_->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[A-Za-z0-9_.-]*")), node_));
    filter->addWidget(new QLabel(QStringLiteral("Узел"), this));
    filter->addWidget(node_);
    connect(node_, &QLineEdit::returnPressed, this, &HistoryView::ShowNewest);
  }
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

HistoryRequest HistoryView::Request() const {
  HistoryRequest r;
  EventQuery& q = r.query;
  q.account = account_->text().trimmed().toStdString();
  q.sinceMs = since_->dateTime().toMSecsSinceEpoch();
  // The minute shown includes its seconds.
  q.untilMs = until_->dateTime().addSecs(60).toMSecsSinceEpoch() - 1;
  q.limit = kPageRows + 1;  // one more tells whether an older page exists
  q.newestFirst = true;
  if (node_) r.node = node_->text().trimmed().toStdString();
  return r;
}

void HistoryView::ShowNewest() {
  if (reading_) return;
  pageStarts_.clear();
  ShowPage(std::nullopt);
}

void HistoryView::ShowOlder() {
  if (more_ && !reading_) ShowPage(last_);
}

void HistoryView::ShowNewer() {
  if (reading_ || pageStarts_.size() < 2) return;
  pageStarts_.pop_back();
  const std::optional<HistoryKey> before = pageStarts_.back();
  pageStarts_.pop_back();
  ShowPage(before);
}

void HistoryView::ShowPage(std::optional<HistoryKey> before) {
  HistoryRequest request = Request();
  request.before = before;
  reading_ = true;
  status_->setText(QStringLiteral("Чтение…"));
  older_->setEnabled(false);
  newer_->setEnabled(false);
  // An events file answers at once; a server later, from its own thread.
  if (!source_->Fetch(request, [this, before](HistoryPage page) { Show(before, std::move(page)); }))
    reading_ = false;
}

void HistoryView::Show(std::optional<HistoryKey> before, HistoryPage page) {
  reading_ = false;
  rows_->clear();
  if (!page.ok) {
    status_->setText(source_->Shared() ? QStringLiteral("Сервер истории недоступен: ") +
                                             QString::fromStdString(page.error)
                                       : QString::fromStdString(page.error));
    more_ = false;
    older_->setEnabled(false);
    newer_->setEnabled(!pageStarts_.empty());
    Q_EMIT PageShown();
    return;
  }
  more_ = page.rows.size() > size_t(kPageRows);
  if (more_) page.rows.pop_back();
  pageStarts_.push_back(before);
  QList<QTreeWidgetItem*> items;
  for (const HistoryRow& h : page.rows) {
    const EventRow& r = h.row;
    const QString went = QString::fromUtf8(FateText(r.console)) +
                         (r.notice == EventFate::None ? QString()
                                                      : QStringLiteral(", клиент ") +
                                                            QString::fromUtf8(FateText(r.notice)));
    QStringList cells{QDateTime::fromMSecsSinceEpoch(r.receivedMs)
                          .toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")),
                      QString::fromStdString(r.road),
                      QString::fromStdString(ReadableText(r.line)),
                      QString::fromStdString(r.peer),
                      QString::fromStdString(ReadableText(r.account)),
                      QString::fromStdString(ReadableText(EventLineOf(r))),
                      went};
    if (source_->Shared()) cells << QString::fromStdString(h.node);
    items.append(new QTreeWidgetItem(cells));
  }
  rows_->addTopLevelItems(items);
  last_ = page.rows.empty() ? std::nullopt : std::optional<HistoryKey>(KeyOf(page.rows.back()));
  status_->setText(QStringLiteral("Страница %1").arg(pageStarts_.size()));
  older_->setEnabled(more_);
  newer_->setEnabled(pageStarts_.size() > 1);
  Q_EMIT PageShown();
}

}  // namespace quell
