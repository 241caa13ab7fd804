#include "ip/ip_module_list.h"

namespace quell {

IpModuleRow* IpModuleList::Find(const std::string& caption) {
  for (auto& row : rows_)
    if (row.caption == caption) return &row;
  return nullptr;
}

IpModuleRow& IpModuleList::Add(const std::string& caption) {
  rows_.push_back(IpModuleRow{});
  rows_.back().caption = caption;
  return rows_.back();
}

}  // namespace quell
