#include "ip/ip_module_supervision.h"

namespace quell {

namespace {
constexpr const char* kRestoreBody = "R35600000";
constexpr const char* kLossBody = "E35600000";
}  // namespace

std::string ModuleTimeText(const QDateTime& at) {
  return at.toString(QStringLiteral("hh:mm:ss   dd/MM/yyyy")).toStdString();
}

IpModuleSupervision::IpModuleSupervision(Clock& clock, IpModuleList& list,
                                         const IpModuleSettings& settings, NoticeList& noticeQueue,
                                         ConsoleOutput& output)
    : clock_(clock), list_(list), settings_(settings), notices_(noticeQueue), output_(output) {}

void IpModuleSupervision::Update(const std::string& account, ModuleMessageKind kind, bool create,
                                 const std::string& line, const std::string& receiver) {
  IpModuleRow* row = list_.Find(account);
  bool changed = false;
  if (!row) {
    if (!create) return;
    row = &list_.Add(account);
    changed = true;
  }
  const QDateTime now = clock_.Now();
  const qint64 nowMs = now.toMSecsSinceEpoch();
  // The shown time has whole seconds: within the same second it stays.
  if (!row->lastSeen.isValid() || nowMs / 1000 != row->lastSeenMs / 1000) {
    row->timeText = ModuleTimeText(now);
    changed = true;
  }
  row->lastSeen = now;
  row->lastSeenMs = nowMs;
  const char* event = kind == ModuleMessageKind::AdmCid ? "E" : "H";
  changed = changed || row->event != event || row->receiver != receiver || row->line != line ||
            row->picture != IpModuleRow::Picture::Online;
  row->event = event;
  // The restore carries the receiver and line of this message.
  row->receiver = receiver;
  row->line = line;
  if (row->picture == IpModuleRow::Picture::Lost && settings_.lossRestore)
    QueueEvent(*row, kRestoreBody);
  row->picture = IpModuleRow::Picture::Online;
  row->state = "+";
  // A module heard many times a second redraws the list once a second.
  if (changed) Changed();
}

void IpModuleSupervision::LossCheck() {
  // One time conversion per check: comparing QDateTimes row by row would
  // convert every row's local time again.
  const qint64 nowMs = clock_.Now().toMSecsSinceEpoch();
  const qint64 limitMs = qint64(settings_.silenceLimitSeconds) * 1000;
  bool changed = false;
  for (auto& row : list_.Rows()) {
    if (row.picture == IpModuleRow::Picture::Lost || !row.lastSeen.isValid()) continue;
    if (nowMs - row.lastSeenMs <= limitMs) continue;
    if (settings_.lossRestore) QueueEvent(row, kLossBody);
    row.picture = IpModuleRow::Picture::Lost;
    row.state = "-";
    ++lostCount_;
    changed = true;
  }
  if (changed) Changed();
}

void IpModuleSupervision::QueueEvent(const IpModuleRow& row, const char* body) {
  const std::string line = "5" + row.receiver + row.line + " 18" + row.caption + body;
  const std::string notice = "QuellServer;" + line + ";MLR_EVENT|";
  RowKey key;
  if (EventLog* log = output_.Log()) {
    // No sender to retry: stored without waiting, held while writes fail.
    EventRow r;
    r.receivedMs = clock_.Now().toMSecsSinceEpoch();
    r.road = "module";
    r.line = row.receiver + row.line;
    r.account = EventAccount(line);
    r.raw = line;
    r.consoleText = line;
    r.console = EventFate::Pending;
    r.noticeText = notice;
    r.notice = EventFate::Pending;
    key = log->Add(std::move(r), nullptr, true);
  }
  if (noticeLedger_) noticeLedger_->Track(notice, key);
  notices_.Append(NoticeOrigin::LossRestore, notice);
  output_.AppendEvent(line, key);
}

}  // namespace quell
