#pragma once
// A small RAII wrapper over the SQLite C API. Failures throw morrowlen::Error carrying SQLite's
// code and message and the file they concern.
#include "repository/core/Error.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace morrowlen::repo {

class Statement;

// A failure reported by SQLite, with its (extended) result code.
class DatabaseError : public Error {
  public:
    DatabaseError(int code, std::string description)
        : Error(wbem::Failed, std::move(description)), m_code(code) {}
    int code() const noexcept { return m_code; }
    // True for a file SQLite finds damaged or not a database at all.
    bool isDamage() const noexcept;

  private:
    int m_code;
};

class Database {
  public:
    enum class Mode { ReadOnly, ReadWrite, ReadWriteCreate };

    Database(const std::string& path, Mode mode);
    ~Database();
    Database(Database&& other) noexcept;
    Database& operator=(Database&& other) noexcept;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void exec(std::string_view sql);
    Statement prepare(std::string_view sql);
    std::int64_t lastInsertRowId() const;
    const std::string& path() const { return m_path; }
    sqlite3* handle() const { return m_db; }
    // Work a Transaction does inside itself just before it commits (writes deferred to then).
    void setBeforeCommit(std::function<void()> work) { m_beforeCommit = std::move(work); }

    // A path SQLite takes as a plain file name, never as a URI ("file:x" becomes "./file:x").
    static std::string plainPath(const std::string& path);

    // Throws a DatabaseError for SQLite result code rc, naming what was being done; a locked, damaged
    // or unwritable file gets a message that says so in plain words.
    [[noreturn]] void fail(int rc, std::string_view what) const;

  private:
    friend class Transaction;
    sqlite3* m_db = nullptr;
    std::string m_path;
    std::function<void()> m_beforeCommit;
};

// A prepared statement. Kept statements are used through StatementUse, which resets them.
class Statement {
  public:
    Statement() = default;
    Statement(Database& db, std::string_view sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Parameters are 1-based, as SQLite numbers them; binding beyond the statement's count throws.
    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, std::string_view text);
    Statement& bindBlob(int index, std::string_view bytes);
    Statement& bindNull(int index);

    // Steps once: true while a row is available.
    bool step();
    // Steps to completion, for statements that return no rows.
    void run();
    void reset() noexcept;

    bool isNull(int column) const;
    std::int64_t columnInt(int column) const;
    std::string columnText(int column) const;
    std::string_view columnBlob(int column) const;

  private:
    Database* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
    int m_paramCount = 0;
};

// Borrows a prepared statement for one use and resets it (never throwing) when the borrow ends, so a
// statement kept for reuse is ready again even when reading its rows threw.
class StatementUse {
  public:
    explicit StatementUse(Statement& statement) : m_statement(&statement) {}
    ~StatementUse() { m_statement->reset(); }
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;
    Statement* operator->() const { return m_statement; }

  private:
    Statement* m_statement;
};

// Holds one read transaction while it lives, so that a run of reads takes SQLite's lock (and looks
// for a journal to recover) once instead of once per statement. Inside a transaction already, or
// when the transaction cannot begin, it does nothing and the reads go on as before.
class ReadSnapshot {
  public:
    explicit ReadSnapshot(Database& db);
    ~ReadSnapshot();
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;

  private:
    Database* m_db = nullptr;
};

// Begins a transaction; rolls it back on destruction unless committed.
class Transaction {
  public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

  private:
    Database* m_db;
    bool m_done = false;
};

} // namespace morrowlen::repo
