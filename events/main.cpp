// quell-events: prints the stored events in acceptance order, one a line.
//   quell-events [--workdir DIR] [--account XXXX] [--since T] [--until T]
//                [--format text|csv] [--node NAME] | --help
// It opens the events file read-only and may run beside the gateway; with
// Backend=postgresql it lists the shared history from the server.
#include <QCoreApplication>
#include <cstdio>

#include "store/event_db.h"
#include "store/history_text.h"
#include "store/pg_history.h"
#include "store/store_settings.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const auto options = quell::ParseHistoryOptions(args, &error);
  if (!options) {
    std::fprintf(stderr,
                 "quell-events: %s\nusage: quell-events [--workdir DIR] [--account XXXX] "
                 "[--since T] [--until T] [--format text|csv]\n"
                 "T is local time YYYY-MM-DD[ HH:MM[:SS]]; --node NAME: one gateway's rows of a "
                 "shared history\n",
                 error.c_str());
    return 2;
  }
  if (options->help) {
    std::fputs(quell::HistoryUsage().c_str(), stdout);
    return 0;
  }
  const quell::StoreSettings settings = quell::ReadStoreSettings(options->workDir);
  if (!settings.problem.empty()) {
    std::fprintf(stderr, "quell-events: EventStore.ini: %s\n", settings.problem.c_str());
    return 1;
  }
  if (settings.backend == quell::StoreBackend::Postgresql) {
    // The shared history on the server, every node's unless --node.
    if (options->format == quell::HistoryFormat::Csv)
      std::printf("%s\n", quell::HistoryCsvHeader().c_str());
    const bool ok = quell::PgHistory::Read(
        settings.conninfo, options->query, options->node,
        [&](const quell::PgHistoryRow& h) {
          std::printf("%s\n", quell::HistoryLine(h.row, options->format).c_str());
          return true;
        },
        &error);
    if (!ok) std::fprintf(stderr, "quell-events: the server: %s\n", error.c_str());
    return ok ? 0 : 1;
  }
  const std::string& path = settings.path;
  quell::EventDb db;
  if (!db.OpenReadOnly(path, &error)) {
    std::fprintf(stderr, "quell-events: %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  std::printf("%s\n", (options->format == quell::HistoryFormat::Csv ? quell::HistoryCsvHeader()
                                                                    : quell::HistoryTextHeader())
                          .c_str());
  const bool ok = db.Read(
      options->query,
      [&](const quell::EventRow& row) {
        std::printf("%s\n", quell::HistoryLine(row, options->format).c_str());
        return true;
      },
      &error);
  if (!ok) {
    std::fprintf(stderr, "quell-events: %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  return 0;
}
