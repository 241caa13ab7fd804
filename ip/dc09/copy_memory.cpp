#include "ip/dc09/copy_memory.h"

#include <algorithm>

#include "core/clock.h"

namespace quell {
namespace {

std::string_view AccountOf(std::string_view key) {
  return key.substr(0, key.rfind(':'));
}

}  // namespace

std::string Dc09CopyKey(std::string_view account, const std::vector<std::string_view>& fields) {
  // FNV-1a, 64 bits: offset basis 14695981039346656037, prime 1099511628211.
  uint64_t h = 14695981039346656037ull;
  const auto add = [&h](uint8_t byte) {
    h ^= byte;
    h *= 1099511628211ull;
  };
  for (std::string_view f : fields) {
    for (int shift = 0; shift < 32; shift += 8) add(uint8_t(f.size() >> shift));
    for (char c : f) add(uint8_t(c));
  }
  static const char kDigits[] = "0123456789ABCDEF";
  std::string key(account);
  key += ':';
  for (int shift = 60; shift >= 0; shift -= 4) key += kDigits[(h >> shift) & 15];
  return key;
}

std::shared_ptr<Dc09CopyMemory::Entry> Dc09CopyMemory::Find(std::string_view key, uint32_t now) {
  const auto it = accounts_.find(AccountOf(key));
  if (it == accounts_.end()) return nullptr;
  for (const auto& e : it->second)
    if (e->key == key && TicksSince(now, e->tick) <= kWindowMs) return e;
  return nullptr;
}

std::shared_ptr<Dc09CopyMemory::Entry> Dc09CopyMemory::Add(std::string key, uint32_t now,
                                                           bool pending) {
  if (accounts_.size() >= kAccountsKept) Trim(now);
  auto entry = std::make_shared<Entry>();
  entry->key = std::move(key);
  entry->tick = now;
  entry->pending = pending;
  const std::string_view account = AccountOf(entry->key);
  auto it = accounts_.find(account);
  if (it == accounts_.end()) it = accounts_.emplace(std::string(account), Entries()).first;
  Entries& entries = it->second;
  entries.push_back(entry);
  if (entries.size() > kPerAccount) entries.pop_front();
  return entry;
}

void Dc09CopyMemory::Settle(const std::shared_ptr<Entry>& entry, bool stored) {
  entry->pending = false;
  if (!stored) {
    const auto it = accounts_.find(AccountOf(entry->key));
    if (it != accounts_.end()) {
      Entries& entries = it->second;
      entries.erase(std::remove(entries.begin(), entries.end(), entry), entries.end());
      if (entries.empty()) accounts_.erase(it);
    }
  }
  // The copies answer in their own order behind it; each is told once.
  std::vector<std::function<void(bool)>> waiters;
  waiters.swap(entry->waiters);
  for (auto& w : waiters) w(stored);
}

void Dc09CopyMemory::Trim(uint32_t now) {
  // Accounts whose newest frame left the window can hold no copy.
  for (auto it = accounts_.begin(); it != accounts_.end();) {
    const bool live = std::any_of(it->second.begin(), it->second.end(), [now](const auto& e) {
      return e->pending || TicksSince(now, e->tick) <= kWindowMs;
    });
    it = live ? std::next(it) : accounts_.erase(it);
  }
  if (accounts_.size() < kAccountsKept) return;
  // Still full (a flood of live accounts): drop those whose newest frame is oldest.
  std::vector<std::pair<uint32_t, std::string>> ages;
  for (const auto& [account, entries] : accounts_)
    if (!entries.back()->pending) ages.push_back({TicksSince(now, entries.back()->tick), account});
  std::sort(ages.begin(), ages.end(), std::greater<>());
  for (size_t i = 0; i < ages.size() && i < kAccountsKept / 4; ++i) accounts_.erase(ages[i].second);
}

}  // namespace quell
