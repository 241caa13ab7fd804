#pragma once
// A database of its own on the PostgreSQL test server the ctest fixture
// started (tools/pg_test_server.sh), made for one test process and dropped
// at its end. Without the server the reason says why the cases are skipped.
#include <libpq-fe.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace quell::test {

class PgTestDb {
 public:
  PgTestDb() {
#ifdef QUELL_PG_STATE
    std::ifstream state(QUELL_PG_STATE);
    if (!std::getline(state, server_) || server_.empty()) {
      why_ = "no PostgreSQL test server (initdb missing, or run outside ctest's fixture)";
      return;
    }
#else
    why_ = "built without the PostgreSQL test server";
    return;
#endif
    name_ = "quell_test_" + std::to_string(::getpid());
    Admin("DROP DATABASE IF EXISTS " + name_);
    if (!Admin("CREATE DATABASE " + name_)) {
      why_ = "cannot make a test database: " + error_;
      name_.clear();
    }
  }
  ~PgTestDb() {
    if (!name_.empty()) Admin("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
  }
  PgTestDb(const PgTestDb&) = delete;
  PgTestDb& operator=(const PgTestDb&) = delete;

  bool Ready() const {
    return !name_.empty();
  }
  const std::string& WhyNot() const {
    return why_;
  }
  // The connection string of the test database.
  std::string Conninfo() const {
    return server_ + " dbname=" + name_;
  }
  // The server's host and port alone.
  const std::string& Server() const {
    return server_;
  }

  // Runs statements on the test database (or the server's own); false with
  // the error kept on failure.
  bool Exec(const std::string& sql, bool onServer = false) {
    PGconn* c = PQconnectdb((onServer ? server_ + " dbname=postgres" : Conninfo()).c_str());
    bool ok = PQstatus(c) == CONNECTION_OK;
    PQsetNoticeProcessor(
        c, [](void*, const char*) {}, nullptr);  // "does not exist, skipping"
    if (ok) {
      PGresult* r = PQexec(c, sql.c_str());
      ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
      if (!ok) error_ = PQresultErrorMessage(r);
      PQclear(r);
    } else {
      error_ = PQerrorMessage(c);
    }
    PQfinish(c);
    return ok;
  }
  // The first field of the first row of a query as text ("" on failure).
  std::string Value(const std::string& sql) {
    PGconn* c = PQconnectdb(Conninfo().c_str());
    std::string v;
    if (PQstatus(c) == CONNECTION_OK) {
      PGresult* r = PQexec(c, sql.c_str());
      if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0) v = PQgetvalue(r, 0, 0);
      PQclear(r);
    }
    PQfinish(c);
    return v;
  }
  const std::string& Error() const {
    return error_;
  }

 private:
  bool Admin(const std::string& sql) {
    return Exec(sql, true);
  }

  std::string server_, name_, why_, error_;
};

}  // namespace quell::test
