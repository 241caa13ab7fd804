#pragma once
// One libpq connection used without blocking: every round trip waits on the
// socket with poll and a deadline, and a round trip past its deadline
// closes the connection (a query is never cancelled). Parameters and
// results are binary, so bytes pass unchanged whatever the encodings.
#include <libpq-fe.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quell::pg {

// Type ids of the parameters the store sends.
enum : Oid {
  kBytea = 17,
  kInt8 = 20,
  kInt2 = 21,
  kText = 25,
  kInt8Array = 1016,
  kInt2Array = 1005,
  kByteaArray = 1001,
  kTextArray = 1009,
};

struct Param {
  Oid type = kBytea;
  std::string bytes;  // binary form
};

std::string Int8(int64_t v);
std::string Int2(int v);
// One-dimensional binary arrays without nulls.
std::string Int8Array(const std::vector<int64_t>& values);
std::string Int2Array(const std::vector<int>& values);
std::string ByteaArray(const std::vector<const std::string*>& values);
// Text sent as its bytes: only for ASCII (node names).
std::string TextArray(const std::vector<const std::string*>& values);

struct ResultFree {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultFree>;

// Reads a binary result's fields.
int64_t GetInt8(const PGresult* r, int row, int col);
int GetInt2(const PGresult* r, int row, int col);
int GetInt4(const PGresult* r, int row, int col);
bool GetBool(const PGresult* r, int row, int col);
std::string GetBytes(const PGresult* r, int row, int col);

class Conn {
 public:
  enum class Outcome {
    Ok,      // the statement ran
    Failed,  // the server refused it; the connection stays usable
    Broken,  // the connection broke or the deadline passed: it is closed
  };

  Conn() = default;
  ~Conn() { Close(); }
  Conn(const Conn&) = delete;
  Conn& operator=(const Conn&) = delete;

  // Connects within timeoutMs; false (closed, error set) otherwise.
  bool Connect(const std::string& conninfo, int timeoutMs, std::string* error);
  void Close();
  bool IsOpen() const { return conn_ != nullptr; }
  // Reads what the server sent meanwhile without waiting; a connection the
  // server has closed (restart, session ended) is closed here, so the next
  // round trip reconnects first instead of going into doubt. False then.
  // Notifications read are kept for TakeNotifications.
  bool StillOpen();
  // The payloads of the notifications received since the last call (a
  // session that LISTENs), oldest first; at most kMostNotifications are
  // kept, the rest counted in *dropped (if given).
  static constexpr size_t kMostNotifications = 4096;
  std::vector<std::string> TakeNotifications(size_t* dropped = nullptr);
  int Socket() const { return conn_ ? PQsocket(conn_) : -1; }
  int BackendPid() const { return pid_; }
  PGconn* get() const { return conn_; }

  // Sends one statement and waits at most timeoutMs for its result. sent
  // (if given) becomes true once every byte was handed to the socket. A
  // result with a warning is reported through warning (if given). When the
  // server refused it (Failed), result holds the error's result.
  Outcome Run(const std::string& sql, const std::vector<Param>& params, int timeoutMs,
              Result* result, std::string* error, bool* sent = nullptr,
              std::string* warning = nullptr);
  // The same with a statement prepared once per connection under name:
  // the server parses and plans it once, not at every round trip.
  Outcome RunPrepared(const char* name, const std::string& sql, const std::vector<Param>& params,
                      int timeoutMs, Result* result, std::string* error, bool* sent = nullptr,
                      std::string* warning = nullptr);

 private:
  // Waits for the socket until deadline; false when it passed or poll failed.
  bool Wait(bool forWrite, int64_t deadlineMs);
  Outcome Exchange(const char* prepared, const std::string& sql, const std::vector<Param>& params,
                   int timeoutMs, Result* result, std::string* error, bool* sent,
                   std::string* warning);

  // Moves libpq's queued notifications into notifications_.
  void KeepNotifications();

  PGconn* conn_ = nullptr;
  int pid_ = 0;
  std::vector<std::string> notifications_;
  size_t droppedNotifications_ = 0;
  std::string warning_;
  std::vector<std::string> prepared_;  // statement names prepared on this connection
};

// Milliseconds of a monotonic clock.
int64_t NowMs();

}  // namespace quell::pg
