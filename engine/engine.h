#pragma once
// The gateway without its window: lines, listening sockets, the three main
// timers, the shared lists and the configuration read at start-up. The
// window owns one Engine and shows it; tests and headless runs use it alone.
#include <QObject>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "core/alarm_sound.h"
#include "core/clock.h"
#include "core/delivery_ledger.h"
#include "core/journal.h"
#include "core/notice_list.h"
#include "core/operator_prompt.h"
#include "core/settings.h"
#include "core/shared_list.h"
#include "core/trace_view.h"
#include "ip/ip_module_list.h"
#include "lines/line_context.h"
#include "lines/line_list.h"
#include "lines/port_names.h"
#include "lines/port_recovery.h"
#include "store/event_backend.h"
#include "store/store_settings.h"

namespace quell {

class AdmCidParser;
class BacklogWatch;
class ClientAccess;
class ClientPorts;
class ClientRequests;
class ConsoleOutput;
class ConsolePort;
class Dc09Receiver;
class EventStore;
class PgEventStore;
class EngineMonitoring;
class Meter;
class LoopbackClient;
class RelayListener;
class StandardDc09;
class IpModuleSupervision;
class IpReceivers;
class LineConsoleDevice;
class LineListFile;
class NoticeDrain;
class RefusalJournal;
class TraceFile;

struct EngineOptions {
  std::string workDir;  // the working directory; every file name is relative to it
  PortSettings ports;
};

class Engine : public QObject {
  Q_OBJECT

 public:
  Engine(Clock& clock, OperatorPrompt& prompt, AlarmSound& sound, EngineOptions options,
         QObject* parent = nullptr);
  ~Engine() override;

  // The start-up sequence: listeners, the console line, the configuration
  // files in their fixed order. False (with the reason) when start-up must end.
  bool Start(std::string* error);
  // Runs the three timers on the event loop (tests call the handlers instead).
  void StartTimers();
  // Closes every port and pauses every worker; removes the virtual port.
  void Close();

  // Timer handlers.
  void SupervisionTick();    // 2000 ms
  void NoticeDrainTick();    // 500 ms
  void ConsoleOutputTick();  // 1000 ms

  // Operator commands on a line of the list (the window's selection).
  void StartLineCommand(size_t index);
  void StopLineCommand(size_t index);
  // The hidden test button: a receiver event text into the notice stream.
  void AppendTestEvent();

  // What the line and settings commands (line_commands.h) build on.
  OperatorPrompt& prompt() { return prompt_; }
  // Creates the line's worker, suspended, as the line list loader does.
  void CreateLineWorker(TLineGSM& line) { CreateWorker(line); }
  // Rewrites the line list file in display order; false when the list was
  // never loaded or the file could not be written.
  bool SaveLines();

  // What the window shows.
  Clock& clock() { return clock_; }
  Journal& journal() { return journal_; }
  SharedTextList& journalQueue() { return journalQueue_; }
  TraceView& trace() { return trace_; }
  NoticeList& noticeQueue() { return noticeQueue_; }
  SharedTextList& consoleQueue() { return consoleQueue_; }
  LineList& lines() { return lines_; }
  TLineGSM& consoleLine() { return *consoleLine_; }
  IpModuleList& ipModules() { return ipModules_; }
  ConsoleOutput& consoleOutput() { return *consoleOutput_; }
  EventBackend& eventStore() { return *store_; }
  // The events file (also named when the history is on a server).
  const std::string& eventsPath() const { return eventsPath_; }
  // What EventStore.ini says (the history page reads the same store).
  const StoreSettings& storeSettings() const { return storeSettings_; }
  ConsolePort& consolePort() { return *consolePort_; }
  PortNames& portNames() { return portNames_; }
  const LineContext& lineContext() const { return lineContext_; }
  ClientPorts& clientPorts() { return *clientPorts_; }
  IpReceivers& ipReceivers() { return *ipReceivers_; }
  Dc09Receiver& dc09Receiver() { return *dc09Receiver_; }
  // Null unless "\DC09.ini" switched the standard DC-09 receiver on.
  StandardDc09* standardDc09() { return standardDc09_.get(); }
  RelayListener& relayListener() { return *relayListener_; }
  IpModuleSupervision& ipModuleSupervision() { return *ipModuleSupervision_; }
  // Null unless "\Monitoring.ini" switched monitoring on; the receivers
  // count their replies through meter().
  EngineMonitoring* monitoring() { return monitoring_.get(); }
  Meter* meter();
  ClientAccess& access() { return *access_; }
  // Journal lines about refused frames, one a minute per account and reason.
  RefusalJournal& refusals() { return *refusals_; }
  // Null until the first supervision tick starts it (object table mode only).
  LoopbackClient* loopbackClient() { return loopbackClient_.get(); }
  ConsoleSettings& consoleSettings() { return consoleSettings_; }
  IpModuleSettings& ipSettings() { return ipSettings_; }
  const PortSettings& ports() const { return options_.ports; }
  const std::string& workDir() const { return options_.workDir; }
  bool traceVisible() const { return traceVisible_; }
  bool objectMode() const { return objectMode_; }
  bool startupComplete() const { return startupComplete_; }
  bool supervisionEnabled() const { return supervisionEnabled_; }
  const std::vector<std::string>& portChoices() const { return portChoices_; }
  const std::vector<std::string>& modemTypes() const { return modemTypes_; }
  const std::string& statusText() const { return statusText_; }

 Q_SIGNALS:
  void statusChanged();     // status bar text
  void linesChanged();      // icons or line state
  void ipModulesChanged();  // the active objects list
  void startupCompleted();  // the first supervision tick opened the lines

 private:
  void StartupTick();
  void DrainJournalQueue();
  void SetStatus(const std::string& text);
  void CreateWorker(TLineGSM& line);
  void SwitchConsoleOnAtStartup();
  void JournalOpenPorts();
  void StartMonitoring();
  void ListenMonitoring();
  // Queues rows a store kept undelivered; late: ahead of what is queued.
  void QueuePending(const std::vector<EventRow>& rows, bool late);
  // Opens the event store and queues what it kept undelivered.
  void StartStore();
  // Journals a store that cannot write, at most once a minute, with the alarm.
  void WatchStore();
  // Journals what the store did to its storage: a damaged file set aside, an
  // earlier version's file brought up to date.
  void JournalStoreNotes();

  Clock& clock_;
  OperatorPrompt& prompt_;
  AlarmSound& sound_;
  EngineOptions options_;

  Journal journal_;
  SharedTextList journalQueue_;
  TraceView trace_;
  NoticeList noticeQueue_;
  SharedTextList consoleQueue_;
  LineList lines_;
  std::unique_ptr<TLineGSM> consoleLine_;
  IpModuleList ipModules_;
  ConsoleSettings consoleSettings_;
  IpModuleSettings ipSettings_;
  CodeTable codes_;
  std::vector<std::string> objects_;
  std::vector<std::string> panels_;  // "\info.slv"
  std::vector<std::string> portChoices_;
  std::vector<std::string> modemTypes_;
  std::unique_ptr<LineListFile> lineFile_;

  // Lets the console output reach the client ports built after it.
  class ClientFeedRelay;
  std::unique_ptr<ClientFeedRelay> feed_;
  std::unique_ptr<TraceFile> traceFile_;
  std::unique_ptr<EngineMonitoring> monitoring_;
  std::unique_ptr<EventBackend> store_;
  EventStore* sqliteStore_ = nullptr;  // the store when it is the events file
  PgEventStore* pgStore_ = nullptr;    // the store when it is on a PostgreSQL server
  std::string eventsPath_;
  DeliveryLedger noticeLedger_;  // rows of NoticeQueue entries
  StoreSettings storeSettings_;  // from EventStore.ini, or the defaults
  uint32_t storeTroubleTick_ = 0;
  bool storeTroubleShown_ = false;
  std::unique_ptr<LineConsoleDevice> consoleDevice_;
  std::unique_ptr<ConsoleOutput> consoleOutput_;
  std::unique_ptr<ClientPorts> clientPorts_;
  std::unique_ptr<ClientRequests> clientRequests_;
  std::unique_ptr<IpModuleSupervision> ipModuleSupervision_;
  std::unique_ptr<AdmCidParser> admCidParser_;
  std::unique_ptr<IpReceivers> ipReceivers_;
  std::unique_ptr<Dc09Receiver> dc09Receiver_;
  std::unique_ptr<StandardDc09> standardDc09_;
  std::vector<RecentCopy> recentCopies_;  // read with the store, until the DC-09 receiver has them
  std::unique_ptr<RelayListener> relayListener_;
  std::unique_ptr<LoopbackClient> loopbackClient_;
  std::unique_ptr<ClientAccess> access_;
  std::unique_ptr<RefusalJournal> refusals_;
  std::unique_ptr<BacklogWatch> backlog_;  // journals events waiting for the console
  std::unique_ptr<NoticeDrain> noticeDrain_;
  std::unique_ptr<ConsolePort> consolePort_;
  PortNames portNames_;
  PortRecovery portRecovery_;
  LineContext lineContext_;

  QTimer supervisionTimer_;
  QTimer noticeTimer_;
  QTimer consoleTimer_;
  bool supervisionEnabled_ = false;
  bool startupComplete_ = false;
  bool traceVisible_ = false;
  bool objectMode_ = false;
  std::string statusText_;
};

}  // namespace quell
