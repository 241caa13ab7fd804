#include "ip/dc09/standard_dc09.h"

#include "core/cp1251.h"

namespace quell {

std::string Dc09FileSummary(const Dc09Config& c, const SiaToCidTable& sia) {
  size_t keyed = 0;
  for (const Dc09Account& a : c.accounts) keyed += a.key.empty() ? 0 : 1;
  std::string text = W("DC-09: прочитан DC09.ini (читается при запуске): счетов ") +
                     std::to_string(c.accounts.size()) + W(", из них с ключом ") +
                     std::to_string(keyed);
  if (c.anyAccount) text += W(", и любые открытые");
  text += c.tcpPort ? W(", TCP ") + std::to_string(c.tcpPort) : W(", без TCP");
  text += W(", таблица SIA: ") + (sia.present ? W("встроенная и SiaToCid.txt") : W("встроенная")) +
          W(" (кодов: ") + std::to_string(sia.codes.size()) + ")";
  text +=
      c.unmappedSia ? W(", прочие коды как Contact ID ") + *c.unmappedSia : W(", прочие коды: DUH");
  return text;
}

StandardDc09::StandardDc09(StandardDc09Receiver::Parts parts, Dc09Config config, SiaToCidTable sia)
    : receiver_(parts, std::move(config), std::move(sia)) {}

std::unique_ptr<StandardDc09> StandardDc09::Start(const std::string& workDir,
                                                  StandardDc09Receiver::Parts parts,
                                                  Dc09Receiver& udp,
                                                  const std::vector<int>& portsInUse,
                                                  ClientAccess* access) {
  std::optional<Dc09File> file = ReadDc09File(workDir, portsInUse);
  if (!file) return nullptr;
  SiaToCidFile sia = ReadSiaToCidFile(workDir);
  for (const auto& text : file->problems) parts.journal.Append(text);
  for (const auto& text : sia.problems) parts.journal.Append(text);
  parts.journal.Append(Dc09FileSummary(file->config, sia.table));
  auto dc09 = std::make_unique<StandardDc09>(parts, std::move(file->config), std::move(sia.table));
  StandardDc09Receiver& receiver = dc09->receiver_;
  udp.SetStandard([&receiver, &udp](std::string_view datagram, const Dc09Receiver::Reply& reply,
                                    const std::string& sender) {
    receiver.Serve(datagram, reply, sender, std::to_string(udp.Port()));
  });
  if (const int port = receiver.config().tcpPort; port != 0) {
    dc09->tcp_ =
        std::make_unique<Dc09TcpListener>(parts.clock, parts.journal, parts.trace, receiver);
    dc09->tcp_->SetAccess(access);
    dc09->tcp_->Listen(port);
  }
  return dc09;
}

}  // namespace quell
