#include "repository/store/Database.h"

#include "repository/core/Error.h"
#include "repository/store/BatchedWrites.h"

#include <sqlite3.h>

#include <utility>

namespace morrowlen::repo {

namespace {
std::string describe(sqlite3* db, int rc, std::string_view what, const std::string& path) {
    const std::string name = "Repository " + (path.empty() ? std::string("(memory)") : path);
    const std::string detail =
        std::string(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)) + ", SQLite code " + std::to_string(rc);
    switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return name + " is in use by another program (a compile may be running); try again when it is done";
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return name + ": " + std::string(what) + " failed: the file or its folder cannot be " +
               ((rc & 0xFF) == SQLITE_CANTOPEN ? "opened" : "written") + " (" + detail +
               "); check the permissions of both";
    case SQLITE_FULL:
        return name + ": " + std::string(what) + " failed: the disk is full (" + detail + ")";
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return name + " is damaged or not a Morrowlen repository (" + detail +
               "). Restore it from a backup, or delete it to start afresh with the default set";
    default:
        return name + ": " + std::string(what) + " failed: " + detail;
    }
}
} // namespace

bool DatabaseError::isDamage() const noexcept {
    return (m_code & 0xFF) == SQLITE_NOTADB || (m_code & 0xFF) == SQLITE_CORRUPT;
}

std::string Database::plainPath(const std::string& path) {
    // SQLite may be built to read "file:" names as URIs; a relative path that could be one, or
    // that starts with ':' (":memory:"), is made explicitly relative.
    const bool uriLike = path.size() >= 5 && sqlite3_strnicmp(path.c_str(), "file:", 5) == 0;
    return (uriLike || (!path.empty() && path[0] == ':')) ? "./" + path : path;
}

Database::Database(const std::string& path, Mode mode) : m_path(path) {
    // SQLite counts the memory it uses behind a global mutex, taken for every allocation (about
    // 200,000 in a schema's compile); nothing here reads the count. This has to come before SQLite
    // starts; should something else have started it already, the count simply stays on.
    static const int noMemoryCount = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    (void)noMemoryCount;
    int flags = SQLITE_OPEN_NOMUTEX;
    switch (mode) {
    case Mode::ReadOnly:
        flags |= SQLITE_OPEN_READONLY;
        break;
    case Mode::ReadWrite:
        flags |= SQLITE_OPEN_READWRITE;
        break;
    case Mode::ReadWriteCreate:
        flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
        break;
    }
    const bool inMemory = path == ":memory:";
    if (inMemory) flags |= SQLITE_OPEN_MEMORY;
    int rc = sqlite3_open_v2(path.c_str(), &m_db, flags, inMemory ? nullptr : batchedWritesVfs());
    if (rc != SQLITE_OK) {
        std::string msg = describe(m_db, rc, "opening the file", path);
        sqlite3_close(m_db);
        m_db = nullptr;
        throw DatabaseError(rc, msg);
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, 2000);
}

Database::~Database() {
    sqlite3_close_v2(m_db);
}

Database::Database(Database&& other) noexcept
    : m_db(std::exchange(other.m_db, nullptr)), m_path(std::move(other.m_path)),
      m_beforeCommit(std::move(other.m_beforeCommit)) {}

Database& Database::operator=(Database&& other) noexcept {
    if (this != &other) {
        sqlite3_close_v2(m_db);
        m_db = std::exchange(other.m_db, nullptr);
        m_path = std::move(other.m_path);
        m_beforeCommit = std::move(other.m_beforeCommit);
    }
    return *this;
}

void Database::fail(int rc, std::string_view what) const {
    throw DatabaseError(rc, describe(m_db, rc, what, m_path));
}

void Database::exec(std::string_view sql) {
    std::string text(sql);
    char* err = nullptr;
    int rc = sqlite3_exec(m_db, text.c_str(), nullptr, nullptr, &err);
    sqlite3_free(err);
    if (rc != SQLITE_OK) fail(rc, "executing '" + text.substr(0, 60) + "'");
}

Statement Database::prepare(std::string_view sql) {
    return Statement(*this, sql);
}

std::int64_t Database::lastInsertRowId() const {
    return sqlite3_last_insert_rowid(m_db);
}

Statement::Statement(Database& db, std::string_view sql) : m_db(&db) {
    int rc = sqlite3_prepare_v3(db.handle(), sql.data(), static_cast<int>(sql.size()),
                                SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr);
    if (rc != SQLITE_OK) db.fail(rc, "preparing '" + std::string(sql.substr(0, 60)) + "'");
    m_paramCount = sqlite3_bind_parameter_count(m_stmt);
}

Statement::~Statement() {
    sqlite3_finalize(m_stmt);
}

Statement::Statement(Statement&& other) noexcept
    : m_db(other.m_db), m_stmt(std::exchange(other.m_stmt, nullptr)), m_paramCount(other.m_paramCount) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(m_stmt);
        m_db = other.m_db;
        m_stmt = std::exchange(other.m_stmt, nullptr);
        m_paramCount = other.m_paramCount;
    }
    return *this;
}

namespace {
void checkIndex(const Database* db, int index, int count) {
    if (index < 1 || index > count)
        throw Error(wbem::Failed, "Repository " + db->path() + ": binding parameter " +
                                      std::to_string(index) + " of a statement with " +
                                      std::to_string(count));
}
} // namespace

Statement& Statement::bind(int index, std::int64_t value) {
    checkIndex(m_db, index, m_paramCount);
    int rc = sqlite3_bind_int64(m_stmt, index, value);
    if (rc != SQLITE_OK) m_db->fail(rc, "binding a value");
    return *this;
}

Statement& Statement::bind(int index, std::string_view text) {
    checkIndex(m_db, index, m_paramCount);
    int rc = sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) m_db->fail(rc, "binding a value");
    return *this;
}

Statement& Statement::bindBlob(int index, std::string_view bytes) {
    checkIndex(m_db, index, m_paramCount);
    int rc = sqlite3_bind_blob(m_stmt, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) m_db->fail(rc, "binding a value");
    return *this;
}

Statement& Statement::bindNull(int index) {
    checkIndex(m_db, index, m_paramCount);
    int rc = sqlite3_bind_null(m_stmt, index);
    if (rc != SQLITE_OK) m_db->fail(rc, "binding a value");
    return *this;
}

bool Statement::step() {
    int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    reset();
    m_db->fail(rc, "running a statement");
}

void Statement::run() {
    while (step()) {
    }
    reset();
}

void Statement::reset() noexcept {
    if (m_stmt) {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

std::int64_t Statement::columnInt(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

std::string Statement::columnText(int column) const {
    auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column))) : std::string();
}

std::string_view Statement::columnBlob(int column) const {
    auto* p = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
    return p ? std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
             : std::string_view();
}

ReadSnapshot::ReadSnapshot(Database& db) {
    if (sqlite3_get_autocommit(db.handle()) &&
        sqlite3_exec(db.handle(), "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK)
        m_db = &db;
}

ReadSnapshot::~ReadSnapshot() {
    if (m_db) sqlite3_exec(m_db->handle(), "COMMIT", nullptr, nullptr, nullptr);
}

Transaction::Transaction(Database& db) : m_db(&db) {
    m_db->exec("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (!m_done) sqlite3_exec(m_db->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit() {
    if (m_db->m_beforeCommit) m_db->m_beforeCommit();
    m_db->exec("COMMIT");
    m_done = true;
}

} // namespace morrowlen::repo
