#pragma once
// The IP objects heard on the IP channels, one row per account, with the
// time each was last heard. Main thread; shown on the "Активные" page.
#include <QDateTime>
#include <string>
#include <vector>

namespace quell {

struct IpModuleRow {
  enum class Picture { None, Online, Lost };
  std::string caption;  // account, 4 characters; the row's key
  QDateTime lastSeen;
  qint64 lastSeenMs = 0;  // lastSeen as milliseconds since the epoch, for the loss check
  std::string timeText;   // "hh:nn:ss   dd/mm/yyyy"
  std::string event;      // "E" after ADM-CID, "H" after an SR keep-alive
  std::string receiver;
  std::string line;
  std::string state;  // "+" heard, "-" lost
  Picture picture = Picture::None;
};

class IpModuleList {
 public:
  const std::vector<IpModuleRow>& Rows() const { return rows_; }
  std::vector<IpModuleRow>& Rows() { return rows_; }
  IpModuleRow* Find(const std::string& caption);
  IpModuleRow& Add(const std::string& caption);
  void Clear() { rows_.clear(); }

 private:
  std::vector<IpModuleRow> rows_;
};

}  // namespace quell
