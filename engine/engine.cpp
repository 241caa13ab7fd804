#include "engine/engine.h"

#include "console/backlog_watch.h"
#include "console/console_device.h"
#include "console/console_output.h"
#include "console/console_port.h"
#include "console/key_translation.h"
#include "core/config/client_access_file.h"
#include "core/config/client_port_file.h"
#include "core/config/config_digest.h"
#include "core/config/console_port_file.h"
#include "core/config/dc09_file.h"
#include "core/config/file_names.h"
#include "core/config/ip_module_file.h"
#include "core/config/sections.h"
#include "core/config/sia_to_cid_file.h"
#include "core/config/table_files.h"
#include "core/config/text_file.h"
#include "core/cp1251.h"
#include "core/refusal_journal.h"
#include "core/text.h"
#include "core/trace_file.h"
#include "engine/engine_monitoring.h"
#include "ip/adm_cid_parser.h"
#include "ip/client_access.h"
#include "ip/client_ports.h"
#include "ip/client_requests.h"
#include "ip/dc09/standard_dc09.h"
#include "ip/dc09_receiver.h"
#include "ip/ip_module_supervision.h"
#include "ip/ip_receivers.h"
#include "ip/loopback_client.h"
#include "ip/notice_drain.h"
#include "ip/relay_listener.h"
#include "lines/line_loader.h"
#include "lines/line_port.h"
#include "lines/line_steps.h"
#include "lines/supervision.h"
#include "lines/worker.h"
#include "monitoring/monitoring_file.h"
#include "store/event_store.h"
#include "store/pg_event_store.h"
#include "store/refusing_store.h"
#include "store/store_settings.h"

namespace quell {

namespace {
constexpr size_t kJournalLimit = 300;

// The origin of a stored notice queued again at start-up, from the road its
// event came by: a caller-ID result is translated into its key once sent.
NoticeOrigin StoredNoticeOrigin(const EventRow& row) {
  if (row.road == "xcall")
    return row.noticeText.ends_with(";|") ? NoticeOrigin::CallerIdPlainResult
                                          : NoticeOrigin::CallerIdKeyResult;
  if (row.road == "sms") return NoticeOrigin::ShortMessage;
  if (row.road == "module") return NoticeOrigin::LossRestore;
  if (row.road == "tcp" || row.road == "dc09") return NoticeOrigin::IpEvent;
  return NoticeOrigin::SerialReceiver;  // "mlr", "vorti"
}

// The files a gateway is started with, for the digest written with its row
// in a shared history.
std::vector<std::string_view> ConfigFileNames() {
  return {kLineListFileName,    kLineSetFileName,    kModemTypeFileName,    kIpModuleFileName,
          kConsolePortFileName, kClientPortFileName, kTraceSwitchFileName,  kObjectTableFileName,
          kCodeTableFileName,   kPanelTableFileName, kClientAccessFileName, kDc09FileName,
          kSiaToCidFileName,    kMonitoringFileName, "\\EventStore.ini",    PortNames::kFileName};
}
}  // namespace

class Engine::ClientFeedRelay final : public ClientFeed {
 public:
  ClientFeed* target = nullptr;
  int WardexClientCount() const override { return target ? target->WardexClientCount() : 0; }
  bool SendToFirstWardex(NoticeOrigin origin, const std::string& text) override {
    return target && target->SendToFirstWardex(origin, text);
  }
  int Console2ClientCount() const override { return target ? target->Console2ClientCount() : 0; }
  void SendToFirstConsole2(const std::string& text) override {
    if (target) target->SendToFirstConsole2(text);
  }
  void SendToFirstConsole2Tracked(const std::string& text,
                                  std::function<void(bool sent)> sent) override {
    if (target) return target->SendToFirstConsole2Tracked(text, std::move(sent));
    sent(false);
  }
};

Engine::Engine(Clock& clock, OperatorPrompt& prompt, AlarmSound& sound, EngineOptions options,
               QObject* parent)
    : QObject(parent),
      clock_(clock),
      prompt_(prompt),
      sound_(sound),
      options_(std::move(options)),
      consoleLine_(std::make_unique<TLineGSM>(clock.TickCount())),
      feed_(std::make_unique<ClientFeedRelay>()) {
  traceFile_ = std::make_unique<TraceFile>(clock_, options_.workDir);
  trace_.SetFlusher(traceFile_->DeferredFlusher());

  storeSettings_ = ReadStoreSettings(options_.workDir);
  const StoreSettings& storeSettings = storeSettings_;
  eventsPath_ = storeSettings.path;
  const auto late = [this](std::vector<EventRow> rows) { QueuePending(rows, true); };
  if (!storeSettings.problem.empty()) {
    store_ = std::make_unique<RefusingStore>("EventStore.ini: " + storeSettings.problem, this);
  } else if (storeSettings.backend == StoreBackend::Postgresql) {
    // The DC-09 frames acknowledged lately arrive once the server first
    // answers, on the event loop, after Start made the receiver (none: no
    // DC-09 receiver to tell).
    const auto copies = [this](std::vector<RecentCopy> copies) {
      if (standardDc09_)
        standardDc09_->receiver().RememberCopies(copies, clock_.Now().toMSecsSinceEpoch());
    };
    auto pg = std::make_unique<PgEventStore>(
        PgEventStore::Options{storeSettings.conninfo,
                              storeSettings.node,
                              storeSettings.keepDays,
                              {},
                              [this](const std::string& text) { journal_.InsertTop(text); },
                              copies,
                              Dc09CopyMemory::kWindowMs,
                              ConfigDigest(options_.workDir, ConfigFileNames())},
        this, late);
    pgStore_ = pg.get();
    store_ = std::move(pg);
  } else {
    auto sqlite = std::make_unique<EventStore>(storeSettings.path, this, late);
    sqlite->SetRetention(storeSettings.keepDays);
    sqliteStore_ = sqlite.get();
    store_ = std::move(sqlite);
  }

  consoleLine_->LineType = "VCOM";
  consoleDevice_ = std::make_unique<LineConsoleDevice>(*consoleLine_);
  consoleOutput_ = std::make_unique<ConsoleOutput>(consoleQueue_, *consoleDevice_, *feed_, trace_,
                                                   consoleSettings_, ipSettings_, codes_);
  clientPorts_ = std::make_unique<ClientPorts>(journal_, trace_, *consoleOutput_, options_.ports);
  feed_->target = clientPorts_.get();
  ipModuleSupervision_ = std::make_unique<IpModuleSupervision>(clock_, ipModules_, ipSettings_,
                                                               noticeQueue_, *consoleOutput_);
  ipModuleSupervision_->onChanged = [this] { Q_EMIT ipModulesChanged(); };
  admCidParser_ =
      std::make_unique<AdmCidParser>(*ipModuleSupervision_, *consoleOutput_, ipSettings_);
  ipReceivers_ = std::make_unique<IpReceivers>(
      clock_, journal_, trace_, *consoleOutput_, *consoleDevice_, consoleSettings_, ipSettings_,
      options_.ports, *clientPorts_, *admCidParser_, *ipModuleSupervision_);
  dc09Receiver_ =
      std::make_unique<Dc09Receiver>(clock_, journal_, trace_, *consoleOutput_, *consoleDevice_,
                                     ipSettings_, options_.ports, *clientPorts_, *admCidParser_);
  relayListener_ =
      std::make_unique<RelayListener>(trace_, noticeQueue_, *clientPorts_, options_.ports);
  consoleOutput_->SetIpSupervision(ipReceivers_.get());
  consoleOutput_->SetEventLog(store_.get());
  ipReceivers_->SetEventLog(store_.get());
  dc09Receiver_->SetEventLog(store_.get());
  consoleOutput_->SetStatusSink([this](const std::string& text) { SetStatus(text); });
  noticeDrain_ =
      std::make_unique<NoticeDrain>(clock_, trace_, journal_, noticeQueue_, *clientPorts_);

  lineContext_.clock = &clock_;
  lineContext_.consoleQueue = &consoleQueue_;
  lineContext_.journalQueue = &journalQueue_;
  lineContext_.trace = &trace_;
  lineContext_.clients = feed_.get();
  lineContext_.consoleAcknowledged = &consoleOutput_->ConsoleAcknowledged();
  lineContext_.sound = &sound_;
  lineContext_.panels = &panels_;
  lineContext_.events = store_.get();
  lineContext_.consoleLedger = &consoleOutput_->Ledger();
  lineContext_.noticeLedger = &noticeLedger_;
  noticeDrain_->SetDeliveryRecord(store_.get(), &noticeLedger_);
  ipModuleSupervision_->SetNoticeLedger(&noticeLedger_);

  clientRequests_ = std::make_unique<ClientRequests>(lines_, trace_, clock_);
  clientPorts_->SetRequestHandler(
      [this](const std::string& request, const ClientPorts::Reply& reply) {
        clientRequests_->Handle(request, reply);
      });
  noticeDrain_->SetResultHook([this](const std::string& notice) {
    const std::string event = KeyTranslation(notice, lines_, objectMode_, consoleQueue_);
    if (IsFalse(event)) return;
    // A key has no sender to retry: stored without waiting.
    EventRow row;
    row.receivedMs = clock_.Now().toMSecsSinceEpoch();
    row.road = "key";
    row.line = FieldAt(notice, 1, ";");
    row.account = EventAccount(event);
    row.raw = notice;
    row.consoleText = event;
    row.console = EventFate::Pending;
    consoleOutput_->Ledger().Track(event, store_->Add(std::move(row), nullptr, true));
  });
  // Ring notices reach the loopback client in-process, and only when its
  // connection is the one that was sent the notice.
  noticeDrain_->SetRingHook([this](const std::string& notice) {
    if (loopbackClient_ && clientPorts_->FirstWardexIsOwn()) loopbackClient_->AnswerRing(notice);
  });
  access_ = std::make_unique<ClientAccess>(clock_, journal_);
  access_->SetOwnConnectionTest([this](const QTcpSocket& accepted) {
    return loopbackClient_ &&
           loopbackClient_->IsOwnPeer(accepted.peerAddress(), accepted.peerPort());
  });
  clientPorts_->SetAccess(access_.get());
  ipReceivers_->SetAccess(access_.get());
  refusals_ = std::make_unique<RefusalJournal>(clock_, journal_);
  backlog_ = std::make_unique<BacklogWatch>(clock_, journal_);
  ipReceivers_->SetRefusals(refusals_.get());
  dc09Receiver_->SetRefusals(refusals_.get());
  dc09Receiver_->SetAccess(access_.get());
  relayListener_->SetAccess(access_.get());
  consolePort_ = std::make_unique<ConsolePort>(
      *consoleLine_, portNames_, clock_, trace_, journal_, journalQueue_, prompt_, consoleSettings_,
      options_.workDir, [this](TLineGSM& line) { CreateWorker(line); });

  // The names appear in the trace when a timer handler raises an error.
  supervisionTimer_.setObjectName(QStringLiteral("SupervisionTimer"));
  noticeTimer_.setObjectName(QStringLiteral("NoticeTimer"));
  consoleTimer_.setObjectName(QStringLiteral("ConsoleOutputTimer"));
  supervisionTimer_.setInterval(2000);
  noticeTimer_.setInterval(500);
  consoleTimer_.setInterval(1000);
  connect(&supervisionTimer_, &QTimer::timeout, this, &Engine::SupervisionTick);
  connect(&noticeTimer_, &QTimer::timeout, this, &Engine::NoticeDrainTick);
  connect(&consoleTimer_, &QTimer::timeout, this, &Engine::ConsoleOutputTick);
}

Engine::~Engine() {
  // The store's thread posts completions to this object: end it first.
  store_.reset();
  // Workers refer to the shared lists; stop them before the lists go.
  lines_.Clear();
  consolePort_.reset();
  consoleLine_->Worker.reset();
  // Every trace line written so far reaches the file: the view's last lines
  // (fewer than a flush's worth) and the blocks still waiting for the loop.
  trace_.FlushAll();
  traceFile_->WriteDeferred();
}

void Engine::CreateWorker(TLineGSM& line) {
  line.Worker = std::make_unique<TMyTimer>(line, MakeStepTable(lineContext_), &trace_);
}

bool Engine::Start(std::string* error) {
  const std::string& wd = options_.workDir;

  // Who may connect is known before any listener opens.
  access_->Load(ReadClientAccessFile(wd));
  StartMonitoring();
  // What the store kept undelivered goes back to the console queue before
  // any new event can arrive.
  StartStore();

  // The fixed listeners start with the window's components.
  ipReceivers_->Listen();
  dc09Receiver_->Listen();
  clientPorts_->ListenConsole2();
  relayListener_->Listen();

  // Tables, then the line list with its settings and command files.
  panels_ = ReadPanelTable(wd);
  codes_ = ReadCodeTable(wd);
  portNames_.Load(wd);
  portChoices_ = PortChoiceList(portNames_, &trace_);
  const auto lineSet = ReadTextLines(ConfigPath(wd, kLineSetFileName));
  const auto modemTypes = ReadTextLines(ConfigPath(wd, kModemTypeFileName));
  if (modemTypes) modemTypes_ = CollectModemTypeNames(*modemTypes);
  lineFile_ = std::make_unique<LineListFile>(LineListFile::InWorkDir(wd));
  LineLoadContext context;
  context.noticeQueue = &noticeQueue_;
  context.lineSet = lineSet ? &*lineSet : nullptr;
  context.modemTypes = modemTypes ? &*modemTypes : nullptr;
  context.trace = &trace_;
  context.nowTick = clock_.TickCount();
  context.createWorker = [this](TLineGSM& line) { CreateWorker(line); };
  const LineLoadResult loaded = LoadLineList(*lineFile_, lines_, context);
  if (loaded.status == LineLoadStatus::BadRecord) {
    if (error) *error = loaded.error;
    return false;
  }
  supervisionEnabled_ = loaded.status == LineLoadStatus::Loaded;

  ipSettings_ = ReadIpModuleSettings(wd);

  const ConsolePortFile console = ReadConsolePortFile(wd);
  ApplyConsolePortFile(*consoleLine_, console);
  if (console.exists) {
    consoleSettings_.protocol = console.protocol;
    consoleSettings_.portKind = console.portKind;
  }

  if (options_.ports.wardexFromFile) {
    if (auto port = ReadClientPort(wd)) options_.ports.wardex = *port;
  }
  clientPorts_->ListenWardex();
  // With port 0 (tests) the system picks a free port; show the one in use.
  const int wardexPort =
      clientPorts_->WardexListening() ? clientPorts_->WardexPort() : options_.ports.wardex;
  const PortSettings& p = options_.ports;
  standardDc09_ = StandardDc09::Start(
      wd,
      {clock_, journal_, trace_, *consoleOutput_, *consoleDevice_, ipSettings_, *clientPorts_,
       *ipModuleSupervision_},
      *dc09Receiver_,
      {wardexPort, p.console2, p.relay, p.sia, p.ip8097, p.ip8098, p.ip8096, p.ip8095},
      access_.get());
  if (standardDc09_) {
    standardDc09_->receiver().SetEventLog(store_.get());
    standardDc09_->receiver().SetMeter(meter());
    standardDc09_->receiver().RememberCopies(recentCopies_, clock_.Now().toMSecsSinceEpoch());
  }
  recentCopies_.clear();
  if (monitoring_) ListenMonitoring();
  JournalOpenPorts();
  journal_.Append(W("Порт клиента WX: ") + std::to_string(wardexPort));

  objects_ = ReadObjectTable(wd);
  for (const auto& record : objects_) trace_.Append(record);
  objectMode_ = !objects_.empty();

  traceVisible_ = TraceViewRequested(wd);
  if (monitoring_) monitoring_->Publish(*this);
  Q_EMIT linesChanged();
  return true;
}

void Engine::StartTimers() {
  noticeTimer_.start();
  consoleTimer_.start();
  if (supervisionEnabled_) supervisionTimer_.start();
}

void Engine::Close() {
  supervisionTimer_.stop();
  consolePort_->StopRetrying();
  for (size_t i = 0; i < lines_.Size(); ++i) {
    TLineGSM* line = lines_.At(i).Line.get();
    if (!line) continue;
    CloseLinePort(*line);
    line->PortOpen = false;
    line->Started = false;
    if (line->Worker) line->Worker->Suspend();
  }
  if (consoleLine_->PortOpen) {
    CloseLinePort(*consoleLine_);
    consoleLine_->PortOpen = false;
    consoleLine_->Started = false;
    if (consoleLine_->Worker) consoleLine_->Worker->Suspend();
  }
  consolePort_->RemoveVirtualPort();
}

void Engine::SupervisionTick() {
  if (journal_.Size() > kJournalLimit) journal_.Clear();
  if (!startupComplete_) {
    StartupTick();
    return;
  }
  // Ports that went away are opened again before the workers are paced.
  portRecovery_.Tick(lines_, portNames_, clock_, &trace_);
  SuperviseLines(lines_, noticeQueue_, sound_, clock_);
  DrainJournalQueue();
  Q_EMIT linesChanged();
}

void Engine::StartupTick() {
  startupComplete_ = true;
  // Without client software of its own the station's calls are answered
  // from the object table.
  if (objectMode_ && clientPorts_->WardexListening()) {
    loopbackClient_ = std::make_unique<LoopbackClient>(journal_, trace_, objects_);
    loopbackClient_->Start(clientPorts_->WardexPort());
  }
  for (size_t i = 0; i < lines_.Size(); ++i) {
    TLineGSM* line = lines_.At(i).Line.get();
    if (!line) continue;
    OpenLinePort(*line, portNames_, clock_, &trace_);
    line->Started = true;  // also when the open failed: the operator may retry
  }
  SwitchConsoleOnAtStartup();
  Q_EMIT linesChanged();
  Q_EMIT startupCompleted();
}

void Engine::SwitchConsoleOnAtStartup() {
  // "ONLINE" in "paramv" was recorded in the console line's PortOpen.
  if (!consoleLine_->PortOpen) return;
  trace_.Append("VLine->active");
  if (consoleSettings_.portKind == "VP" &&
      !consolePort_->CreateVirtualPort(std::to_string(consoleLine_->PortNumber) + ";0")) {
    prompt_.Ask(W("Ошибка создания виртуального порта!!!"), W("Виртуальный порт"),
                PromptButtons::Ok, PromptIcon::None);
    journalQueue_.PutHead("Quell Server ComPort: Error ");
    consoleSettings_.portKind = "RP";
  }
  consolePort_->SwitchOn();
}

void Engine::StartStore() {
  std::vector<EventRow> pending;
  std::string error;
  if (sqliteStore_) {
    // The DC-09 frames acknowledged lately: a panel's retry after a restart
    // is not delivered twice.
    const int64_t copiesSince = clock_.Now().toMSecsSinceEpoch() - Dc09CopyMemory::kWindowMs;
    if (!sqliteStore_->Start(&pending, &error, &recentCopies_, copiesSince))
      journal_.InsertTop("Events store: cannot open: " + error);
  } else if (pgStore_) {
    // Its pending rows and the DC-09 copy keys arrive once the server
    // first answers.
    pgStore_->Start();
  } else {
    journal_.InsertTop("Events store: cannot open: " + store_->LastError());
  }
  JournalStoreNotes();
  if (storeSettings_.fromFile)
    journal_.InsertTop("EventStore.ini read: events file " + storeSettings_.path +
                       ", delivered events kept " + std::to_string(storeSettings_.keepDays) +
                       " days");
  QueuePending(pending, false);
}

void Engine::QueuePending(const std::vector<EventRow>& rows, bool late) {
  if (late) {
    // Ahead of what was queued meanwhile, in their own order.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
      if (it->console == EventFate::Pending) {
        consoleOutput_->Ledger().Track(it->consoleText, it->Key());
        consoleQueue_.PutHead(it->consoleText);
      }
      if (it->notice == EventFate::Pending) {
        noticeLedger_.Track(it->noticeText, it->Key());
        noticeQueue_.PutHead(Notice{StoredNoticeOrigin(*it), it->noticeText});
      }
    }
  }
  for (const EventRow& row : late ? std::vector<EventRow>{} : rows) {
    if (row.console == EventFate::Pending) consoleOutput_->AppendEvent(row.consoleText, row.Key());
    if (row.notice == EventFate::Pending) {
      noticeLedger_.Track(row.noticeText, row.Key());
      noticeQueue_.Append(StoredNoticeOrigin(row), row.noticeText);
    }
  }
  if (!rows.empty()) {
    trace_.Append("Events store: " + std::to_string(rows.size()) + " undelivered queued again");
    journal_.InsertTop("Events store: " + std::to_string(rows.size()) +
                       " undelivered events queued again");
  }
}

void Engine::JournalStoreNotes() {
  for (const std::string& note : store_->TakeNotes()) journal_.InsertTop("Events store: " + note);
}

void Engine::WatchStore() {
  constexpr uint32_t kTroubleIntervalMs = 60'000;
  JournalStoreNotes();
  if (store_->Writable()) {
    storeTroubleShown_ = false;
    return;
  }
  const uint32_t now = clock_.TickCount();
  if (storeTroubleShown_ && TicksSince(now, storeTroubleTick_) < kTroubleIntervalMs) return;
  storeTroubleShown_ = true;
  storeTroubleTick_ = now;
  journal_.InsertTop("Events store: cannot write, events are not acknowledged: " +
                     store_->LastError());
  sound_.Play();
}

void Engine::DrainJournalQueue() {
  // Producers put entries at the head; taking from the head and inserting
  // at the top leaves each batch oldest-on-top.
  while (auto text = journalQueue_.TakeFirst()) journal_.InsertTop(std::move(*text));
}

void Engine::NoticeDrainTick() {
  noticeDrain_->Tick();
}

void Engine::ConsoleOutputTick() {
  WatchStore();
  // A console port switched on that did not open is tried again.
  if (consolePort_->RetryTick()) Q_EMIT linesChanged();
  consoleOutput_->Tick();
  backlog_->Tick(consoleQueue_.Size(), consoleLine_->Alive);
  access_->FlushRefusals();
  if (monitoring_) monitoring_->Publish(*this);
}

Meter* Engine::meter() {
  return monitoring_ ? monitoring_->meter() : nullptr;
}

// With "\Monitoring.ini": the meter reaches the store and the receivers
// before any of them starts.
void Engine::StartMonitoring() {
  const PortSettings& p = options_.ports;
  monitoring_ = EngineMonitoring::Create(
      options_.workDir, journal_,
      {p.wardex, p.console2, p.relay, p.sia, p.ip8097, p.ip8098, p.ip8096, p.ip8095});
  if (!monitoring_) return;
  Meter* m = monitoring_->meter();
  if (sqliteStore_) sqliteStore_->SetMeter(m);
  if (pgStore_) pgStore_->SetMeter(m);
  ipReceivers_->SetMeter(m);
  dc09Receiver_->SetMeter(m);
  access_->SetMeter(m);
}

void Engine::ListenMonitoring() {
  std::vector<int> inUse;
  const auto add = [&](quint16 port) {
    if (port) inUse.push_back(port);
  };
  add(clientPorts_->WardexPort());
  add(clientPorts_->Console2Port());
  add(relayListener_->Port());
  for (IpListener l : {IpListener::P8095, IpListener::P8096, IpListener::P8097, IpListener::P8098})
    add(ipReceivers_->Port(l));
  add(dc09Receiver_->Port());
  if (standardDc09_ && standardDc09_->tcp()) add(standardDc09_->tcp()->Port());
  monitoring_->Listen(inUse, access_->Networks(AccessGroup::Monitoring), journal_, journalQueue_);
}

// Once at start-up: the ports that "\ClientAccess.ini" leaves open to any
// address (all of them without the file).
void Engine::JournalOpenPorts() {
  std::string open;
  auto add = [&](AccessGroup group, const std::string& port) {
    if (access_->Open(group)) open += (open.empty() ? "" : ", ") + port;
  };
  const auto number = [](quint16 listening, int configured) {
    return std::to_string(listening ? int(listening) : configured);
  };
  const PortSettings& p = options_.ports;
  add(AccessGroup::Clients, number(clientPorts_->WardexPort(), p.wardex));
  add(AccessGroup::Clients, number(clientPorts_->Console2Port(), p.console2));
  add(AccessGroup::Relay, number(relayListener_->Port(), p.relay));
  add(AccessGroup::Modules, number(ipReceivers_->Port(IpListener::P8097), p.ip8097));
  add(AccessGroup::Modules, number(ipReceivers_->Port(IpListener::P8098), p.ip8098));
  add(AccessGroup::Modules, number(ipReceivers_->Port(IpListener::P8096), p.ip8096));
  add(AccessGroup::Modules, number(ipReceivers_->Port(IpListener::P8095), p.ip8095));
  add(AccessGroup::Modules, "UDP " + number(dc09Receiver_->Port(), p.sia));
  if (standardDc09_ && standardDc09_->tcp())
    add(AccessGroup::Modules, std::to_string(standardDc09_->tcp()->Port()));
  if (monitoring_)
    for (int port : monitoring_->ListeningPorts())
      add(AccessGroup::Monitoring, std::to_string(port) + " (monitoring)");
  if (!open.empty()) journal_.Append("Any address is accepted on ports " + open);
}

void Engine::StartLineCommand(size_t index) {
  if (index >= lines_.Size() || !lines_.At(index).Line) return;
  TLineGSM& line = *lines_.At(index).Line;
  const std::string text = line.PortOpen ? W(" Перезапустить  линию ") + line.LineName + " ?"
                                         : W(" Активировать линию ") + line.LineName + " ?";
  if (prompt_.Ask(text, W(" Запуск линии "), PromptButtons::OkCancel, PromptIcon::Information) !=
      PromptAnswer::Ok)
    return;
  // The worker is resumed by the next supervision tick once the port is open.
  OpenLinePort(line, portNames_, clock_, &trace_);
  line.Started = true;
  Q_EMIT linesChanged();
}

void Engine::StopLineCommand(size_t index) {
  if (index >= lines_.Size() || !lines_.At(index).Line) return;
  TLineGSM& line = *lines_.At(index).Line;
  if (prompt_.Ask(W(" Отключить  линию ") + line.LineName + " ?", W(" Запуск линии "),
                  PromptButtons::OkCancel, PromptIcon::Stop) != PromptAnswer::Ok)
    return;
  CloseLinePort(line);
  line.PortOpen = false;
  line.Started = false;
  if (line.Worker) line.Worker->Suspend();
  Q_EMIT linesChanged();
}

void Engine::AppendTestEvent() {
  AppendRelayTestText(noticeQueue_);
}

bool Engine::SaveLines() {
  return lineFile_ && SaveLineList(*lineFile_, lines_);
}

void Engine::SetStatus(const std::string& text) {
  if (text == statusText_) return;
  statusText_ = text;
  Q_EMIT statusChanged();
}

}  // namespace quell
