#include "store/pg_conn.h"

#include <arpa/inet.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

namespace quell::pg {
namespace {

void Put32(std::string& out, uint32_t v) {
  v = htonl(v);
  out.append(reinterpret_cast<const char*>(&v), 4);
}

uint32_t Get32(const char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return ntohl(v);
}

std::string ArrayHead(Oid element, size_t count) {
  std::string out;
  Put32(out, count ? 1 : 0);  // dimensions
  Put32(out, 0);              // no nulls
  Put32(out, element);
  if (count) {
    Put32(out, uint32_t(count));
    Put32(out, 1);  // lower bound
  }
  return out;
}

std::string Trimmed(const char* message) {
  std::string s = message ? message : "";
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

}  // namespace

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string Int8(int64_t v) {
  std::string out;
  Put32(out, uint32_t(uint64_t(v) >> 32));
  Put32(out, uint32_t(uint64_t(v)));
  return out;
}

std::string Int2(int v) {
  const uint16_t n = htons(uint16_t(v));
  return std::string(reinterpret_cast<const char*>(&n), 2);
}

std::string Int8Array(const std::vector<int64_t>& values) {
  std::string out = ArrayHead(kInt8, values.size());
  out.reserve(out.size() + values.size() * 12);
  for (int64_t v : values) {
    Put32(out, 8);
    out += Int8(v);
  }
  return out;
}

std::string Int2Array(const std::vector<int>& values) {
  std::string out = ArrayHead(kInt2, values.size());
  for (int v : values) {
    Put32(out, 2);
    out += Int2(v);
  }
  return out;
}

namespace {

std::string BytesArray(Oid element, const std::vector<const std::string*>& values) {
  std::string out = ArrayHead(element, values.size());
  size_t total = out.size();
  for (const std::string* v : values) total += 4 + v->size();
  out.reserve(total);
  for (const std::string* v : values) {
    Put32(out, uint32_t(v->size()));
    out += *v;
  }
  return out;
}

}  // namespace

std::string ByteaArray(const std::vector<const std::string*>& values) {
  return BytesArray(kBytea, values);
}

std::string TextArray(const std::vector<const std::string*>& values) {
  return BytesArray(kText, values);
}

int64_t GetInt8(const PGresult* r, int row, int col) {
  const char* p = PQgetvalue(r, row, col);
  if (PQgetlength(r, row, col) != 8) return 0;
  return int64_t((uint64_t(Get32(p)) << 32) | Get32(p + 4));
}

int GetInt2(const PGresult* r, int row, int col) {
  const char* p = PQgetvalue(r, row, col);
  if (PQgetlength(r, row, col) != 2) return 0;
  uint16_t v;
  std::memcpy(&v, p, 2);
  return int16_t(ntohs(v));
}

int GetInt4(const PGresult* r, int row, int col) {
  if (PQgetlength(r, row, col) != 4) return 0;
  return int(Get32(PQgetvalue(r, row, col)));
}

bool GetBool(const PGresult* r, int row, int col) {
  return PQgetlength(r, row, col) == 1 && PQgetvalue(r, row, col)[0] != 0;
}

std::string GetBytes(const PGresult* r, int row, int col) {
  return std::string(PQgetvalue(r, row, col), size_t(PQgetlength(r, row, col)));
}

bool Conn::Wait(bool forWrite, int64_t deadlineMs) {
  const int64_t left = deadlineMs - NowMs();
  if (left <= 0) return false;
  pollfd p{PQsocket(conn_), short(forWrite ? POLLOUT | POLLIN : POLLIN), 0};
  const int n = ::poll(&p, 1, int(left));
  return n > 0 && !(p.revents & POLLNVAL);
}

bool Conn::Connect(const std::string& conninfo, int timeoutMs, std::string* error) {
  Close();
  const int64_t deadline = NowMs() + timeoutMs;
  conn_ = PQconnectStart(conninfo.c_str());
  if (!conn_ || PQstatus(conn_) == CONNECTION_BAD) {
    if (error) *error = conn_ ? Trimmed(PQerrorMessage(conn_)) : "out of memory";
    Close();
    return false;
  }
  for (PostgresPollingStatusType s = PGRES_POLLING_WRITING;;) {
    if (s == PGRES_POLLING_OK) break;
    if (s == PGRES_POLLING_FAILED) {
      if (error) *error = Trimmed(PQerrorMessage(conn_));
      Close();
      return false;
    }
    if (PQsocket(conn_) < 0 || !Wait(s == PGRES_POLLING_WRITING, deadline)) {
      if (error) *error = "no answer within " + std::to_string(timeoutMs) + " ms";
      Close();
      return false;
    }
    s = PQconnectPoll(conn_);
  }
  if (PQsetnonblocking(conn_, 1) != 0) {
    if (error) *error = Trimmed(PQerrorMessage(conn_));
    Close();
    return false;
  }
  // Server warnings (the wait for a synchronous standby cancelled) reach
  // the round trip that caused them.
  PQsetNoticeReceiver(
      conn_,
      [](void* self, const PGresult* r) {
        const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
        const char* text = PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY);
        auto& w = static_cast<Conn*>(self)->warning_;
        if (state && std::strncmp(state, "01", 2) == 0) w = text ? text : state;
      },
      this);
  pid_ = PQbackendPID(conn_);
  return true;
}

bool Conn::StillOpen() {
  if (!conn_) return false;
  // A closed session sends its last message, then the end of the stream:
  // each may need a read of its own.
  for (int reads = 0; reads < 4; ++reads) {
    pollfd p{PQsocket(conn_), POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) break;
    if (!PQconsumeInput(conn_) || PQstatus(conn_) == CONNECTION_BAD) {
      Close();
      return false;
    }
  }
  KeepNotifications();
  return true;
}

void Conn::KeepNotifications() {
  while (PGnotify* n = PQnotifies(conn_)) {
    if (notifications_.size() < kMostNotifications)
      notifications_.emplace_back(n->extra ? n->extra : "");
    else
      ++droppedNotifications_;
    PQfreemem(n);
  }
}

std::vector<std::string> Conn::TakeNotifications(size_t* dropped) {
  if (conn_) KeepNotifications();
  if (dropped) *dropped = std::exchange(droppedNotifications_, 0);
  return std::exchange(notifications_, {});
}

void Conn::Close() {
  if (conn_) PQfinish(conn_);
  conn_ = nullptr;
  pid_ = 0;
  prepared_.clear();
  notifications_.clear();
}

Conn::Outcome Conn::Run(const std::string& sql, const std::vector<Param>& params, int timeoutMs,
                        Result* result, std::string* error, bool* sent, std::string* warning) {
  return Exchange(nullptr, sql, params, timeoutMs, result, error, sent, warning);
}

Conn::Outcome Conn::RunPrepared(const char* name, const std::string& sql,
                                const std::vector<Param>& params, int timeoutMs, Result* result,
                                std::string* error, bool* sent, std::string* warning) {
  if (sent) *sent = false;
  if (conn_ && std::find(prepared_.begin(), prepared_.end(), name) == prepared_.end()) {
    // Prepared first, in a round trip of its own; nothing is written by it.
    std::vector<Oid> types;
    for (const Param& p : params) types.push_back(p.type);
    const int64_t deadline = NowMs() + timeoutMs;
    if (!PQsendPrepare(conn_, name, sql.c_str(), int(types.size()), types.data())) {
      if (error) *error = Trimmed(PQerrorMessage(conn_));
      Close();
      return Outcome::Broken;
    }
    Result last;
    for (;;) {
      const int f = PQflush(conn_);
      if (f == 0) break;
      if (f < 0 || !Wait(true, deadline) || !PQconsumeInput(conn_)) {
        if (error) *error = "preparing: no answer";
        Close();
        return Outcome::Broken;
      }
    }
    for (;;) {
      while (PQisBusy(conn_)) {
        if (!Wait(false, deadline) || !PQconsumeInput(conn_)) {
          if (error) *error = "preparing: no answer within " + std::to_string(timeoutMs) + " ms";
          Close();
          return Outcome::Broken;
        }
      }
      PGresult* r = PQgetResult(conn_);
      if (!r) break;
      last.reset(r);
    }
    if (!last || PQresultStatus(last.get()) != PGRES_COMMAND_OK) {
      if (error) *error = last ? Trimmed(PQresultErrorMessage(last.get())) : "preparing failed";
      if (PQstatus(conn_) == CONNECTION_BAD) {
        Close();
        return Outcome::Broken;
      }
      return Outcome::Failed;
    }
    prepared_.push_back(name);
  }
  return Exchange(name, sql, params, timeoutMs, result, error, sent, warning);
}

Conn::Outcome Conn::Exchange(const char* prepared, const std::string& sql,
                             const std::vector<Param>& params, int timeoutMs, Result* result,
                             std::string* error, bool* sent, std::string* warning) {
  if (sent) *sent = false;
  if (!conn_) {
    if (error) *error = "not connected";
    return Outcome::Broken;
  }
  const int64_t deadline = NowMs() + timeoutMs;
  std::vector<Oid> types;
  std::vector<const char*> values;
  std::vector<int> lengths, formats;
  for (const Param& p : params) {
    types.push_back(p.type);
    values.push_back(p.bytes.data());
    lengths.push_back(int(p.bytes.size()));
    formats.push_back(1);
  }
  warning_.clear();
  const auto broken = [&](const std::string& why) {
    if (error) *error = why;
    Close();
    return Outcome::Broken;
  };
  const bool queued = prepared
                          ? PQsendQueryPrepared(conn_, prepared, int(params.size()), values.data(),
                                                lengths.data(), formats.data(), 1)
                          : PQsendQueryParams(conn_, sql.c_str(), int(params.size()), types.data(),
                                              values.data(), lengths.data(), formats.data(), 1);
  if (!queued) return broken(Trimmed(PQerrorMessage(conn_)));
  for (;;) {
    const int f = PQflush(conn_);
    if (f < 0) return broken(Trimmed(PQerrorMessage(conn_)));
    if (f == 0) break;
    if (!Wait(true, deadline))
      return broken("no answer within " + std::to_string(timeoutMs) + " ms");
    if (!PQconsumeInput(conn_)) return broken(Trimmed(PQerrorMessage(conn_)));
  }
  if (sent) *sent = true;
  Result last;
  for (;;) {
    while (PQisBusy(conn_)) {
      if (!Wait(false, deadline))
        return broken("no answer within " + std::to_string(timeoutMs) + " ms");
      if (!PQconsumeInput(conn_)) return broken(Trimmed(PQerrorMessage(conn_)));
    }
    PGresult* r = PQgetResult(conn_);
    if (!r) break;
    last.reset(r);
  }
  if (PQstatus(conn_) == CONNECTION_BAD) return broken(Trimmed(PQerrorMessage(conn_)));
  if (warning) *warning = warning_;
  const ExecStatusType st = last ? PQresultStatus(last.get()) : PGRES_FATAL_ERROR;
  if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK) {
    if (result) *result = std::move(last);
    return Outcome::Ok;
  }
  std::string why = last ? Trimmed(PQresultErrorMessage(last.get())) : "no result";
  if (why.empty()) why = Trimmed(PQerrorMessage(conn_));
  // A fatal error without a server answer means the connection is gone.
  if (!last || PQstatus(conn_) == CONNECTION_BAD) return broken(why);
  if (error) *error = why;
  if (result) *result = std::move(last);  // for its error fields
  return Outcome::Failed;
}

}  // namespace quell::pg
