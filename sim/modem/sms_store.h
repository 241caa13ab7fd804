#pragma once
// The modem's message memory ("SM"), listed and read in text mode. Holds
// at most kCapacity messages; indices are 1..kCapacity, the lowest free one
// is used first.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quell::sim {

class SmsStore {
 public:
  static constexpr size_t kCapacity = 30;
  static constexpr size_t kMaxSender = 32;
  static constexpr size_t kMaxBody = 480;

  enum class Filter { Unread, Read, All, None };

  // Stores a message as unread; returns its index, or 0 when memory is full.
  int Add(std::string_view sender, std::string_view body, std::string stamp);
  // "+CMGL:" header and body lines for every message matching filter, in
  // index order; listed unread messages become read.
  std::vector<std::string> List(Filter filter);
  // "+CMGR:" header and body of one message, which becomes read; nullopt when
  // no message has that index.
  std::optional<std::vector<std::string>> Read(int index);
  void Delete(int index);
  void DeleteRead();
  void DeleteAll() { messages_.clear(); }

  size_t Size() const { return messages_.size(); }
  size_t UnreadCount() const;

 private:
  struct Message {
    int index;
    bool read;
    std::string sender, body, stamp;
  };
  std::vector<Message> messages_;  // sorted by index
};

// The AT+CMGL argument: none or "REC UNREAD"/0 for unread, "REC READ"/1,
// "STO UNSENT"/2 and "STO SENT"/3 (never stored here), "ALL"/4. nullopt
// when the argument is none of these.
std::optional<SmsStore::Filter> ParseListFilter(std::string_view arg);

}  // namespace quell::sim
