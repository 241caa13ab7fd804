#include "sim/modem/sms_store.h"

#include <algorithm>

#include "sim/modem/at_syntax.h"

namespace quell::sim {
namespace {

std::string StatusText(bool read) {
  return read ? "\"REC READ\"" : "\"REC UNREAD\"";
}

}  // namespace

int SmsStore::Add(std::string_view sender, std::string_view body, std::string stamp) {
  if (messages_.size() >= kCapacity) return 0;
  int index = 1;
  auto at = messages_.begin();
  while (at != messages_.end() && at->index == index) ++at, ++index;
  messages_.insert(at, Message{index, false, std::string(sender.substr(0, kMaxSender)),
                               std::string(body.substr(0, kMaxBody)), std::move(stamp)});
  return index;
}

std::vector<std::string> SmsStore::List(Filter filter) {
  std::vector<std::string> lines;
  for (Message& m : messages_) {
    bool match = filter == Filter::All || (filter == Filter::Unread && !m.read) ||
                 (filter == Filter::Read && m.read);
    if (!match) continue;
    lines.push_back("+CMGL: " + std::to_string(m.index) + "," + StatusText(m.read) + ",\"" +
                    m.sender + "\",,\"" + m.stamp + "\"");
    lines.push_back(m.body);
    m.read = true;
  }
  return lines;
}

std::optional<std::vector<std::string>> SmsStore::Read(int index) {
  for (Message& m : messages_) {
    if (m.index != index) continue;
    std::vector<std::string> lines{
        "+CMGR: " + StatusText(m.read) + ",\"" + m.sender + "\",,\"" + m.stamp + "\"", m.body};
    m.read = true;
    return lines;
  }
  return std::nullopt;
}

void SmsStore::Delete(int index) {
  std::erase_if(messages_, [index](const Message& m) { return m.index == index; });
}

void SmsStore::DeleteRead() {
  std::erase_if(messages_, [](const Message& m) { return m.read; });
}

size_t SmsStore::UnreadCount() const {
  return size_t(
      std::count_if(messages_.begin(), messages_.end(), [](const Message& m) { return !m.read; }));
}

std::optional<SmsStore::Filter> ParseListFilter(std::string_view arg) {
  struct Name {
    std::string_view text, code;
    SmsStore::Filter filter;
  };
  static constexpr Name kNames[] = {
      {"", "", SmsStore::Filter::Unread},        {"REC UNREAD", "0", SmsStore::Filter::Unread},
      {"REC READ", "1", SmsStore::Filter::Read}, {"STO UNSENT", "2", SmsStore::Filter::None},
      {"STO SENT", "3", SmsStore::Filter::None}, {"ALL", "4", SmsStore::Filter::All}};
  const std::string upper = Upper(Unquoted(arg));
  for (const Name& n : kNames)
    if (upper == n.text || upper == n.code) return n.filter;
  return std::nullopt;
}

}  // namespace quell::sim
