#pragma once
// Keeps the IP module list: marks a module heard on every message and lost
// once it has been silent longer than the silence limit. Losses and restores
// become 356 events for the Wardex client and the console when enabled.
#include <functional>
#include <string>

#include "console/console_output.h"
#include "core/clock.h"
#include "core/delivery_ledger.h"
#include "core/notice_list.h"
#include "core/settings.h"
#include "ip/ip_module_list.h"

namespace quell {

enum class ModuleMessageKind { AdmCid, KeepAlive };

class IpModuleSupervision {
 public:
  IpModuleSupervision(Clock& clock, IpModuleList& list, const IpModuleSettings& settings,
                      NoticeList& noticeQueue, ConsoleOutput& output);
  IpModuleSupervision(const IpModuleSupervision&) = delete;
  IpModuleSupervision& operator=(const IpModuleSupervision&) = delete;

  // Records a message of the module with this account. A module without a
  // row gets one only when create is true.
  void Update(const std::string& account, ModuleMessageKind kind, bool create,
              const std::string& line, const std::string& receiver);

  // Once per console output tick: reports modules silent past the limit.
  void LossCheck();
  // Modules found lost since start.
  uint64_t LostCount() const { return lostCount_; }

  // Called whenever something shown of a row changed (for the "Активные"
  // page): not again for a module heard within the same second.
  std::function<void()> onChanged;

  // Loss and restore events are stored (without waiting) and their notice
  // entries remembered in noticeLedger for the delivery record.
  void SetNoticeLedger(DeliveryLedger* noticeLedger) { noticeLedger_ = noticeLedger; }

 private:
  void QueueEvent(const IpModuleRow& row, const char* body);
  DeliveryLedger* noticeLedger_ = nullptr;
  void Changed() {
    if (onChanged) onChanged();
  }

  Clock& clock_;
  IpModuleList& list_;
  const IpModuleSettings& settings_;
  NoticeList& notices_;
  ConsoleOutput& output_;
  uint64_t lostCount_ = 0;
};

// "hh:nn:ss   dd/mm/yyyy", the "Время" column.
std::string ModuleTimeText(const QDateTime& at);

}  // namespace quell
