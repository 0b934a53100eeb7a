#include "repository/store/ClassStore.h"

#include "repository/core/Error.h"
#include "repository/store/Codec.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <unistd.h>

namespace morrowlen::repo {

namespace {

// Each entry brings the schema from the previous version to the next; never edit a shipped one.
const char* const Migrations[] = {
    // 0 -> 1
    R"sql(
    CREATE TABLE namespaces(
        id INTEGER PRIMARY KEY,
        parent_id INTEGER REFERENCES namespaces(id) ON DELETE CASCADE,
        name TEXT NOT NULL,
        name_key TEXT NOT NULL,
        access TEXT);
    CREATE UNIQUE INDEX namespaces_by_parent ON namespaces(ifnull(parent_id, 0), name_key);
    CREATE TABLE classes(
        id INTEGER PRIMARY KEY,
        ns_id INTEGER NOT NULL REFERENCES namespaces(id) ON DELETE CASCADE,
        name TEXT NOT NULL,
        name_key TEXT NOT NULL,
        super_key TEXT NOT NULL,
        definition BLOB NOT NULL,
        UNIQUE(ns_id, name_key));
    CREATE INDEX classes_by_super ON classes(ns_id, super_key);
    CREATE TABLE qualifier_decls(
        ns_id INTEGER NOT NULL REFERENCES namespaces(id) ON DELETE CASCADE,
        name_key TEXT NOT NULL,
        definition BLOB NOT NULL,
        PRIMARY KEY(ns_id, name_key));
    CREATE TABLE instances(
        id INTEGER PRIMARY KEY,
        ns_id INTEGER NOT NULL REFERENCES namespaces(id) ON DELETE CASCADE,
        class_key TEXT NOT NULL,
        definition BLOB NOT NULL);
    CREATE INDEX instances_by_class ON instances(ns_id, class_key);
    INSERT INTO namespaces(id, parent_id, name, name_key) VALUES (1, NULL, 'root', 'root');
    INSERT INTO namespaces(id, parent_id, name, name_key) VALUES (2, NULL, '__system', '__system');
    )sql",
    // 1 -> 2: the indexes of find: class names without the definitions, and the full-text index of
    // descriptions (ClassStore::Impl::fillDescriptions fills it for the classes already stored).
    R"sql(
    CREATE INDEX classes_names ON classes(ns_id, name);
    CREATE TABLE class_texts(
        id INTEGER PRIMARY KEY,
        class_id INTEGER NOT NULL REFERENCES classes(id) ON DELETE CASCADE,
        property TEXT NOT NULL,
        body TEXT NOT NULL);
    CREATE INDEX class_texts_by_class ON class_texts(class_id);
    CREATE VIRTUAL TABLE class_text_index USING fts5(body, content='class_texts', content_rowid='id',
                                                     tokenize='unicode61 remove_diacritics 2');
    CREATE TRIGGER class_texts_added AFTER INSERT ON class_texts BEGIN
        INSERT INTO class_text_index(rowid, body) VALUES (new.id, new.body);
    END;
    CREATE TRIGGER class_texts_removed AFTER DELETE ON class_texts BEGIN
        INSERT INTO class_text_index(class_text_index, rowid, body) VALUES ('delete', old.id, old.body);
    END;
    )sql",
    // 2 -> 3: the description index is no longer written row by row (FTS5 writes a segment at the
    // end of every statement that touches it, most of a compile's time): the store brings it up to
    // date in one statement before each commit (ClassStore::Impl::syncTextIndex). Nor does it keep
    // the sizes of texts, which only ranking reads and which cost a third of the indexing.
    R"sql(
    DROP TRIGGER class_texts_added;
    DROP TRIGGER class_texts_removed;
    DROP TABLE class_text_index;
    CREATE VIRTUAL TABLE class_text_index USING fts5(body, content='class_texts', content_rowid='id',
                                                     tokenize='unicode61 remove_diacritics 2', columnsize=0);
    INSERT INTO class_text_index(class_text_index) VALUES ('rebuild');
    )sql",
    // 3 -> 4: class_texts without its foreign key, whose check on every row cost more than writing
    // the row. A trigger deletes the texts of a deleted class instead (of one deleted with its
    // namespace too). The rows keep their ids, so the description index stays as it is. And the
    // index holds up to 8 MiB of new entries in memory rather than 1: ten schemas compiled at once
    // made twenty segments that FTS5 then merged, a seventh of that compile's work.
    R"sql(
    CREATE TABLE class_texts_4(
        id INTEGER PRIMARY KEY,
        class_id INTEGER NOT NULL,
        property TEXT NOT NULL,
        body TEXT NOT NULL);
    INSERT INTO class_texts_4(id, class_id, property, body) SELECT id, class_id, property, body FROM class_texts;
    DROP TABLE class_texts;
    ALTER TABLE class_texts_4 RENAME TO class_texts;
    CREATE INDEX class_texts_by_class ON class_texts(class_id);
    CREATE TRIGGER class_deleted AFTER DELETE ON classes BEGIN
        DELETE FROM class_texts WHERE class_id = old.id;
    END;
    INSERT INTO class_text_index(class_text_index, rank) VALUES ('hashsize', 8388608);
    )sql",
    // 4 -> 5: nothing to convert. A class definition written from now on leaves out the texts of its
    // descriptions, which class_texts holds anyway (codec::TextApart); one written before keeps
    // them and is read as it is. Earlier versions, which could not read the new ones, refuse the
    // file as newer.
    "",
};

// What a writing connection has changed in class_texts since its last commit, kept in its own
// temporary tables: the classes whose texts it wrote (none of them indexed yet), and the indexed
// rows it removed, with the text the index needs to forget them.
const char* const TextTracking = R"sql(
    CREATE TEMP TABLE IF NOT EXISTS texts_written(class_id INTEGER PRIMARY KEY);
    CREATE TEMP TABLE IF NOT EXISTS texts_removed(id INTEGER NOT NULL, body TEXT NOT NULL);
    CREATE TEMP TRIGGER IF NOT EXISTS track_removed AFTER DELETE ON main.class_texts BEGIN
        INSERT INTO texts_removed(id, body)
            SELECT old.id, old.body WHERE NOT EXISTS (SELECT 1 FROM texts_written WHERE class_id = old.class_id);
    END;
)sql";
constexpr int MigrationCount = static_cast<int>(sizeof Migrations / sizeof Migrations[0]);
static_assert(MigrationCount == ClassStore::SchemaVersion);

constexpr NamespaceId RootId = 1;
constexpr NamespaceId SystemId = 2;

std::int64_t pragmaInt(Database& db, const char* pragma) {
    Statement st = db.prepare(std::string("PRAGMA ") + pragma);
    return st.step() ? st.columnInt(0) : 0;
}

std::string joinAccess(const std::vector<std::string>& allowed) {
    std::string out;
    for (const auto& a : allowed) {
        if (!out.empty()) out += ',';
        out += a;
    }
    return out;
}

std::vector<std::string> splitAccess(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size() && !text.empty()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        if (comma > start) out.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return out;
}

// A description as the index keeps it: of the class (property "") or of one of its properties.
struct ClassText {
    std::string_view property;
    const Qualifier* qualifier;
    std::string body;
};

// The class's descriptions that are not empty, the class's own first, then its properties' in
// order: the rows of class_texts for the class, in the order of their ids.
std::vector<ClassText> descriptionTexts(const ClassDef& cls) {
    std::vector<ClassText> texts;
    const auto add = [&](std::string_view property, const std::vector<Qualifier>& qualifiers) {
        const Qualifier* q = findQualifier(qualifiers, "Description");
        if (!q || q->value.isNull() || q->value.isArray()) return;
        if (std::string body = q->value.toText(); !body.empty())
            texts.push_back({property, q, std::move(body)});
    };
    add("", cls.qualifiers);
    for (const PropertyDef& p : cls.properties)
        add(p.name, p.qualifiers);
    return texts;
}

// An FTS5 query asking for every word: each one quoted, so punctuation and operators stay text.
std::string allWordsQuery(std::string_view words) {
    std::string query;
    std::size_t i = 0;
    while (i < words.size()) {
        while (i < words.size() && std::isspace(static_cast<unsigned char>(words[i])))
            ++i;
        if (i == words.size()) break;
        query += query.empty() ? "\"" : " \"";
        for (; i < words.size() && !std::isspace(static_cast<unsigned char>(words[i])); ++i) {
            if (words[i] == '"') query += '"';
            query += words[i];
        }
        query += '"';
    }
    return query;
}

} // namespace

struct ClassStore::Impl {
    Database db;
    int version = SchemaVersion; // lower only for an older file opened read-only
    bool tracking = false;       // see trackTexts
    std::map<std::string, Statement, std::less<>> statements;

    explicit Impl(Database d) : db(std::move(d)) {}

    // The statement for sql, prepared on first use and kept; reset when the use ends.
    StatementUse use(std::string_view sql) {
        auto it = statements.find(sql);
        if (it == statements.end()) it = statements.emplace(std::string(sql), db.prepare(sql)).first;
        return StatementUse(it->second);
    }

    // replacing: the class was stored before and its texts go. (A new id has none: deleting a class
    // deletes its texts.)
    void indexDescriptions(std::int64_t classId, const std::vector<ClassText>& texts, bool replacing) {
        if (replacing) {
            auto del = use("DELETE FROM class_texts WHERE class_id = ?");
            del->bind(1, classId);
            del->run();
        }
        // After the delete, so that rows indexed before are noted as removed (see TextTracking).
        auto written = use("INSERT OR IGNORE INTO temp.texts_written(class_id) VALUES (?)");
        written->bind(1, classId);
        written->run();
        // Up to Batch rows per statement: a statement costs more than a row. (Bounded, as every
        // row count gets a kept statement of its own.) The rows get ids in the order of texts.
        constexpr std::size_t Batch = 32;
        for (std::size_t first = 0; first < texts.size(); first += Batch) {
            const std::size_t rows = std::min(Batch, texts.size() - first);
            std::string sql = "INSERT INTO class_texts(class_id, property, body) VALUES (?, ?, ?)";
            for (std::size_t i = 1; i < rows; ++i)
                sql += ", (?, ?, ?)";
            auto ins = use(sql);
            int parameter = 0;
            for (std::size_t i = first; i < first + rows; ++i) {
                ins->bind(++parameter, classId);
                ins->bind(++parameter, texts[i].property);
                ins->bind(++parameter, texts[i].body);
            }
            ins->run();
        }
    }

    void fillDescriptions() {
        Statement st = db.prepare("SELECT id, definition, name FROM classes ORDER BY id");
        while (st.step()) {
            const ClassDef cls = codec::decodeClass(st.columnBlob(1), "class " + st.columnText(2));
            indexDescriptions(st.columnInt(0), descriptionTexts(cls), false);
        }
    }

    // A class written outside any transaction gets one of its own, whose commit indexes it.
    void ownTransaction(std::optional<Transaction>& tx) {
        if (sqlite3_get_autocommit(db.handle())) tx.emplace(db);
    }

    // Brings the description index up to date with class_texts, in one statement each way (in
    // rowid order, as FTS5 starts a new segment whenever a rowid goes down).
    void syncTextIndex() {
        db.exec("INSERT INTO class_text_index(class_text_index, rowid, body) "
                "SELECT 'delete', id, body FROM temp.texts_removed ORDER BY id");
        // The texts written are found through their classes (CROSS JOIN keeps that order): a scan
        // of all texts cost a one-class compile into a large repository tens of milliseconds. When
        // most classes were written (a compile into a new repository), the scan costs less.
        std::int64_t written = 0, classes = 0;
        if (auto st = use("SELECT count(*) FROM temp.texts_written"); st->step()) written = st->columnInt(0);
        if (auto st = use("SELECT max(id) FROM classes"); st->step()) classes = st->columnInt(0);
        if (written > 0)
            db.exec(2 * written > classes
                        ? "INSERT INTO class_text_index(rowid, body) SELECT t.id, t.body FROM class_texts t "
                          "JOIN temp.texts_written w ON w.class_id = t.class_id ORDER BY t.id"
                        : "INSERT INTO class_text_index(rowid, body) SELECT t.id, t.body FROM "
                          "temp.texts_written w CROSS JOIN class_texts t ON t.class_id = w.class_id ORDER BY "
                          "t.id");
        db.exec("DELETE FROM temp.texts_removed; DELETE FROM temp.texts_written");
    }

    // For a connection that writes: changes to class_texts are tracked and indexed at commit.
    void trackTexts() {
        db.exec(TextTracking);
        db.setBeforeCommit([this] { syncTextIndex(); });
        tracking = true;
    }

    void migrateFrom(int version) {
        Transaction tx(db);
        for (int v = version; v < MigrationCount; ++v)
            db.exec(Migrations[v]);
        trackTexts();
        if (version < 2) fillDescriptions();
        db.exec("PRAGMA user_version = " + std::to_string(MigrationCount));
        db.exec("PRAGMA application_id = " + std::to_string(ApplicationId));
        tx.commit();
    }

    void configure(bool inMemory) {
        db.exec("PRAGMA foreign_keys = ON");
        // A rollback journal rather than a write-ahead log: a reader then needs nothing but the
        // file itself, so a repository can be browsed read-only, in a read-only folder too. A file
        // left in WAL mode by an older version is turned back here, on its first write.
        if (!inMemory) db.exec("PRAGMA journal_mode = DELETE");
        // A compile writes many pages in one transaction: with SQLite's default 2 MiB of cache it
        // writes them out early and reads them back. Pages are allocated as needed, up to this.
        if (!inMemory) db.exec("PRAGMA cache_size = -16384");
    }
};

ClassStore::ClassStore(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
ClassStore::ClassStore(ClassStore&&) noexcept = default;
ClassStore& ClassStore::operator=(ClassStore&&) noexcept = default;
ClassStore::~ClassStore() = default;

ClassStore ClassStore::openInMemory() {
    auto impl = std::make_unique<Impl>(Database(":memory:", Database::Mode::ReadWriteCreate));
    impl->configure(true);
    impl->migrateFrom(0);
    ClassStore store(std::move(impl));
    store.m_created = true;
    return store;
}

ClassStore ClassStore::openImage(std::string_view fileBytes) {
    auto impl = std::make_unique<Impl>(Database(":memory:", Database::Mode::ReadWriteCreate));
    const auto size = static_cast<sqlite3_int64>(fileBytes.size());
    auto* copy = static_cast<unsigned char*>(sqlite3_malloc64(static_cast<sqlite3_uint64>(size)));
    if (!copy) impl->db.fail(SQLITE_NOMEM, "reading a repository image");
    std::memcpy(copy, fileBytes.data(), fileBytes.size());
    const int rc = sqlite3_deserialize(impl->db.handle(), "main", copy, size, size,
                                       SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE);
    if (rc != SQLITE_OK) impl->db.fail(rc, "reading a repository image");
    if (pragmaInt(impl->db, "application_id") != ApplicationId ||
        pragmaInt(impl->db, "user_version") != SchemaVersion)
        throw Error(wbem::Failed, "The repository image is not a repository of this version");
    impl->configure(true);
    impl->trackTexts();
    return ClassStore(std::move(impl));
}

ClassStore ClassStore::copyInMemory() const {
    auto impl = std::make_unique<Impl>(Database(":memory:", Database::Mode::ReadWriteCreate));
    sqlite3_backup* backup = sqlite3_backup_init(impl->db.handle(), "main", m_impl->db.handle(), "main");
    if (!backup) impl->db.fail(sqlite3_errcode(impl->db.handle()), "copying the repository into memory");
    const int rc = sqlite3_backup_step(backup, -1);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) impl->db.fail(rc, "copying the repository into memory");
    impl->configure(true);
    // A copy of an older file (opened read-only) is brought to this schema, as a write would.
    if (m_impl->version < SchemaVersion)
        impl->migrateFrom(m_impl->version);
    else
        impl->trackTexts();
    return ClassStore(std::move(impl));
}

std::string ClassStore::image() const {
    sqlite3_int64 size = 0;
    unsigned char* bytes = sqlite3_serialize(m_impl->db.handle(), "main", &size, 0);
    if (!bytes) m_impl->db.fail(SQLITE_NOMEM, "writing out the repository");
    std::string out(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
    sqlite3_free(bytes);
    return out;
}

ClassStore ClassStore::open(const std::string& path, OpenMode mode) {
    namespace fs = std::filesystem;
    std::error_code ec;
    bool exists = fs::exists(path, ec);
    bool empty = exists && fs::is_regular_file(path, ec) && fs::file_size(path, ec) == 0;

    if (!exists && mode != OpenMode::Create)
        throw Error(wbem::Failed, "Repository " + path + " does not exist");
    if (exists && fs::is_directory(path, ec))
        throw Error(wbem::Failed, "Repository " + path + " is a folder, not a repository file");

    int version = 0;
    const std::string file = Database::plainPath(path);
    if (exists && !empty) {
        // Look before touching: nothing is written to a file that turns out not to be ours. SQLite's
        // own errors (locked, unreadable, damaged) say so themselves.
        Database probe(file, Database::Mode::ReadOnly);
        std::int64_t appId = 0;
        try {
            appId = pragmaInt(probe, "application_id");
        } catch (const DatabaseError& e) {
            // A compile that was killed left its journal: only a writer can roll it back, which
            // restores the file as it was before that compile. Then look again.
            if (e.code() != SQLITE_READONLY_ROLLBACK || ::access(file.c_str(), W_OK) != 0) throw;
            Database(file, Database::Mode::ReadWrite).exec("SELECT count(*) FROM sqlite_master");
            appId = pragmaInt(probe, "application_id");
        }
        version = static_cast<int>(pragmaInt(probe, "user_version"));
        Statement st = probe.prepare("SELECT count(*) FROM sqlite_master");
        const std::int64_t tables = st.step() ? st.columnInt(0) : 0;
        if (appId != ApplicationId) {
            if (appId == 0 && version == 0 && tables == 0) {
                empty = true; // an SQLite file with nothing in it
            } else {
                throw Error(wbem::Failed, "Repository " + path + " is not a Morrowlen repository");
            }
        } else if (version > SchemaVersion) {
            throw Error(wbem::Failed, "Repository " + path +
                                          " was written by a newer version of Morrowlen (schema " +
                                          std::to_string(version) + "; this version reads up to " +
                                          std::to_string(SchemaVersion) + ")");
        } else if (version < 1) {
            throw Error(wbem::Failed, "Repository " + path + " is damaged: it has no schema version");
        } else if (mode == OpenMode::OpenExisting || mode == OpenMode::Create) {
            // Writing into a damaged file would spread the damage: it must be sound first.
            Statement check = probe.prepare("PRAGMA quick_check(1)");
            const std::string verdict = check.step() ? check.columnText(0) : std::string();
            if (verdict != "ok")
                throw Error(wbem::Failed, "Repository " + path + " is damaged (" + verdict +
                                              "); it was left as it was. Restore it from a backup, or "
                                              "delete it to start afresh with the default set");
        }
    }
    if (mode == OpenMode::ReadOnly) {
        if (empty) throw Error(wbem::Failed, "Repository " + path + " is empty");
        // An older schema is read as it is: what it lacks (the description index of schema 2) is
        // refused when asked for.
        auto impl = std::make_unique<Impl>(Database(file, Database::Mode::ReadOnly));
        impl->db.exec("PRAGMA query_only = ON");
        impl->version = version;
        return ClassStore(std::move(impl));
    }
    if (!exists) {
        fs::path parent = fs::path(path).parent_path();
        if (!parent.empty()) {
            fs::create_directories(parent, ec);
            if (ec)
                throw Error(wbem::Failed, "Cannot create the folder " + parent.string() +
                                              " for the repository: " + ec.message());
        }
    }
    auto impl = std::make_unique<Impl>(
        Database(file, exists ? Database::Mode::ReadWrite : Database::Mode::ReadWriteCreate));
    bool fresh = !exists || empty;
    impl->configure(false);
    if (fresh || version < SchemaVersion)
        impl->migrateFrom(fresh ? 0 : version);
    else
        impl->trackTexts();
    ClassStore store(std::move(impl));
    store.m_created = fresh;
    return store;
}

const std::string& ClassStore::path() const {
    return m_impl->db.path();
}
Database& ClassStore::database() {
    return m_impl->db;
}
std::unique_ptr<ReadSnapshot> ClassStore::holdReads() const {
    return std::make_unique<ReadSnapshot>(m_impl->db);
}

Transaction ClassStore::transaction() {
    return Transaction(m_impl->db);
}

NamespaceId ClassStore::rootNamespace() const {
    return RootId;
}
NamespaceId ClassStore::systemNamespace() const {
    return SystemId;
}

std::optional<NamespaceId> ClassStore::findChild(NamespaceId parent, std::string_view name) const {
    auto st = m_impl->use("SELECT id FROM namespaces WHERE ifnull(parent_id, 0) = ? AND name_key = ?");
    st->bind(1, parent).bind(2, foldCase(name));
    std::optional<NamespaceId> id;
    if (st->step()) id = st->columnInt(0);
    return id;
}

std::optional<NamespaceId> ClassStore::findNamespace(std::string_view path) const {
    std::optional<NamespaceId> current;
    std::size_t start = 0;
    bool first = true;
    while (true) {
        std::size_t sep = path.find('\\', start);
        std::string_view part =
            path.substr(start, sep == std::string_view::npos ? std::string_view::npos : sep - start);
        if (part.empty()) return std::nullopt;
        if (first) {
            if (!equalsNoCase(part, "root")) return std::nullopt;
            current = RootId;
            first = false;
        } else {
            current = findChild(*current, part);
            if (!current) return std::nullopt;
        }
        if (sep == std::string_view::npos) return current;
        start = sep + 1;
    }
}

NamespaceId ClassStore::createNamespace(NamespaceId parent, std::string_view name) {
    if (auto existing = findChild(parent, name)) return *existing;
    auto st = m_impl->use("INSERT INTO namespaces(parent_id, name, name_key) VALUES (?, ?, ?)");
    st->bind(1, parent).bind(2, name).bind(3, foldCase(name));
    st->run();
    return m_impl->db.lastInsertRowId();
}

std::vector<std::pair<NamespaceId, std::string>> ClassStore::childNamespaces(NamespaceId ns) const {
    auto st = m_impl->use("SELECT id, name FROM namespaces WHERE ifnull(parent_id, 0) = ? ORDER BY id");
    st->bind(1, ns);
    std::vector<std::pair<NamespaceId, std::string>> out;
    while (st->step())
        out.emplace_back(st->columnInt(0), st->columnText(1));
    return out;
}

std::string ClassStore::namespaceName(NamespaceId ns) const {
    auto st = m_impl->use("SELECT name FROM namespaces WHERE id = ?");
    st->bind(1, ns);
    std::string name;
    if (st->step()) name = st->columnText(0);
    return name;
}

std::optional<NamespaceId> ClassStore::parentNamespace(NamespaceId ns) const {
    auto st = m_impl->use("SELECT parent_id FROM namespaces WHERE id = ?");
    st->bind(1, ns);
    std::optional<NamespaceId> parent;
    if (st->step() && !st->isNull(0)) parent = st->columnInt(0);
    return parent;
}

std::string ClassStore::namespacePath(NamespaceId ns) const {
    std::string path = namespaceName(ns);
    for (auto p = parentNamespace(ns); p; p = parentNamespace(*p))
        path = namespaceName(*p) + "\\" + path;
    return path;
}

void ClassStore::setNamespaceAccess(NamespaceId ns, std::optional<std::vector<std::string>> allowed) {
    auto st = m_impl->use("UPDATE namespaces SET access = ? WHERE id = ?");
    if (allowed)
        st->bind(1, joinAccess(*allowed));
    else
        st->bindNull(1);
    st->bind(2, ns);
    st->run();
}

std::optional<std::vector<std::string>> ClassStore::namespaceAccess(NamespaceId ns) const {
    auto st = m_impl->use("SELECT access FROM namespaces WHERE id = ?");
    st->bind(1, ns);
    std::optional<std::vector<std::string>> out;
    if (st->step() && !st->isNull(0)) out = splitAccess(st->columnText(0));
    return out;
}

std::optional<ClassDef> ClassStore::getClass(NamespaceId ns, std::string_view name) const {
    auto st = m_impl->use("SELECT id, definition FROM classes WHERE ns_id = ? AND name_key = ?");
    st->bind(1, ns).bind(2, foldCase(name));
    std::optional<ClassDef> out;
    if (st->step()) {
        try {
            const std::string_view bytes = st->columnBlob(1);
            std::vector<std::string> texts;
            if (codec::textsApart(bytes)) {
                auto read = m_impl->use("SELECT body FROM class_texts WHERE class_id = ? ORDER BY id");
                read->bind(1, st->columnInt(0));
                while (read->step())
                    texts.push_back(read->columnText(0));
            }
            out = codec::decodeClass(bytes, "class " + std::string(name), texts);
        } catch (const Error& e) {
            // Name the file and the namespace too, so the user knows which repository to restore.
            throw Error(e.number(), "Repository " + path() + " is damaged: the stored definition of class " +
                                        std::string(name) + " in namespace " + namespacePath(ns) +
                                        " cannot be read");
        }
    }
    return out;
}

bool ClassStore::hasClass(NamespaceId ns, std::string_view name) const {
    auto st = m_impl->use("SELECT 1 FROM classes WHERE ns_id = ? AND name_key = ?");
    st->bind(1, ns).bind(2, foldCase(name));
    bool found = st->step();
    return found;
}

void ClassStore::putClass(NamespaceId ns, const ClassDef& cls) {
    std::optional<Transaction> own;
    m_impl->ownTransaction(own);
    {
        // A look-up, then a plain insert or update: an upsert with RETURNING costs twice as much.
        const std::string key = foldCase(cls.name);
        std::optional<std::int64_t> id;
        {
            auto find = m_impl->use("SELECT id FROM classes WHERE ns_id = ? AND name_key = ?");
            find->bind(1, ns).bind(2, key);
            if (find->step()) id = find->columnInt(0);
        }
        // A description is stored once, in class_texts; the definition holds its place there.
        const std::vector<ClassText> texts = descriptionTexts(cls);
        std::vector<codec::TextApart> apart;
        for (std::size_t i = 0; i < texts.size(); ++i)
            if (std::holds_alternative<std::string>(texts[i].qualifier->value.scalarValue()))
                apart.push_back({texts[i].qualifier, static_cast<std::uint32_t>(i)});
        const std::string definition = codec::encode(cls, apart);
        auto st = id ? m_impl->use("UPDATE classes SET name = ?, super_key = ?, definition = ? WHERE id = ?")
                     : m_impl->use("INSERT INTO classes(name, super_key, definition, ns_id, name_key) "
                                   "VALUES (?, ?, ?, ?, ?)");
        st->bind(1, cls.name).bind(2, foldCase(cls.superclass));
        st->bindBlob(3, definition);
        if (id)
            st->bind(4, *id);
        else
            st->bind(4, ns).bind(5, key);
        st->run();
        m_impl->indexDescriptions(id ? *id : m_impl->db.lastInsertRowId(), texts, id.has_value());
    }
    if (own) own->commit();
}

std::vector<DescriptionHit> ClassStore::searchDescriptions(std::string_view words) const {
    if (m_impl->version < 2)
        throw Error(wbem::Failed,
                    "Repository " + path() +
                        " has no description index yet; it is added the next time the repository is "
                        "opened for writing");
    // Inside a write transaction the index first catches up with what it wrote.
    if (m_impl->tracking && !sqlite3_get_autocommit(m_impl->db.handle())) m_impl->syncTextIndex();
    std::vector<DescriptionHit> out;
    const std::string query = allWordsQuery(words);
    if (query.empty()) return out;
    auto st = m_impl->use("SELECT c.ns_id, c.name, t.property FROM class_text_index f "
                          "JOIN class_texts t ON t.id = f.rowid JOIN classes c ON c.id = t.class_id "
                          "WHERE class_text_index MATCH ?");
    st->bind(1, query);
    while (st->step())
        out.push_back({st->columnInt(0), st->columnText(1), st->columnText(2)});
    return out;
}

std::size_t ClassStore::deleteClass(NamespaceId ns, std::string_view name) {
    std::optional<Transaction> own;
    m_impl->ownTransaction(own);
    {
        auto st = m_impl->use("DELETE FROM classes WHERE ns_id = ? AND name_key = ?");
        st->bind(1, ns).bind(2, foldCase(name));
        st->run();
    }
    std::size_t instances = 0;
    {
        auto st = m_impl->use("DELETE FROM instances WHERE ns_id = ? AND class_key = ?");
        st->bind(1, ns).bind(2, foldCase(name));
        st->run();
        instances = static_cast<std::size_t>(sqlite3_changes(m_impl->db.handle()));
    }
    if (own) own->commit();
    return instances;
}

std::vector<std::string> ClassStore::classNames(NamespaceId ns) const {
    auto st = m_impl->use("SELECT name FROM classes WHERE ns_id = ? ORDER BY id");
    st->bind(1, ns);
    std::vector<std::string> out;
    while (st->step())
        out.push_back(st->columnText(0));
    return out;
}

std::vector<std::pair<std::string, std::string>> ClassStore::classesWithSuperclass(NamespaceId ns) const {
    auto st = m_impl->use("SELECT name, super_key FROM classes WHERE ns_id = ? ORDER BY id");
    st->bind(1, ns);
    std::vector<std::pair<std::string, std::string>> out;
    while (st->step())
        out.emplace_back(st->columnText(0), st->columnText(1));
    return out;
}

std::vector<std::string> ClassStore::subclassNames(NamespaceId ns, std::string_view superclass) const {
    auto st = m_impl->use("SELECT name FROM classes WHERE ns_id = ? AND super_key = ? ORDER BY id");
    st->bind(1, ns).bind(2, foldCase(superclass));
    std::vector<std::string> out;
    while (st->step())
        out.push_back(st->columnText(0));
    return out;
}

std::optional<QualifierDecl> ClassStore::getQualifierDecl(NamespaceId ns, std::string_view name) const {
    auto st = m_impl->use("SELECT definition FROM qualifier_decls WHERE ns_id = ? AND name_key = ?");
    st->bind(1, ns).bind(2, foldCase(name));
    std::optional<QualifierDecl> out;
    if (st->step()) out = codec::decodeQualifierDecl(st->columnBlob(0), "qualifier " + std::string(name));
    return out;
}

void ClassStore::putQualifierDecl(NamespaceId ns, const QualifierDecl& decl) {
    auto st =
        m_impl->use("INSERT OR REPLACE INTO qualifier_decls(ns_id, name_key, definition) VALUES (?, ?, ?)");
    st->bind(1, ns).bind(2, foldCase(decl.name)).bindBlob(3, codec::encode(decl));
    st->run();
}

std::vector<QualifierDecl> ClassStore::qualifierDecls(NamespaceId ns) const {
    auto st = m_impl->use("SELECT definition, name_key FROM qualifier_decls WHERE ns_id = ? ORDER BY rowid");
    st->bind(1, ns);
    std::vector<QualifierDecl> out;
    while (st->step())
        out.push_back(codec::decodeQualifierDecl(st->columnBlob(0), "qualifier " + st->columnText(1)));
    return out;
}

void ClassStore::putInstance(NamespaceId ns, const InstanceDef& instance) {
    auto st = m_impl->use("INSERT INTO instances(ns_id, class_key, definition) VALUES (?, ?, ?)");
    st->bind(1, ns).bind(2, foldCase(instance.className)).bindBlob(3, codec::encode(instance));
    st->run();
}

std::size_t ClassStore::deleteInstances(NamespaceId ns, std::string_view className,
                                        const std::function<bool(const InstanceDef&)>& match) {
    std::vector<std::int64_t> doomed;
    {
        auto st =
            m_impl->use("SELECT id, definition FROM instances WHERE ns_id = ? AND class_key = ? ORDER BY id");
        st->bind(1, ns).bind(2, foldCase(className));
        while (st->step())
            if (match(codec::decodeInstance(st->columnBlob(1), "an instance of " + std::string(className))))
                doomed.push_back(st->columnInt(0));
    }
    auto del = m_impl->use("DELETE FROM instances WHERE id = ?");
    for (const std::int64_t id : doomed) {
        del->bind(1, id);
        del->run();
    }
    return doomed.size();
}

std::vector<InstanceDef> ClassStore::instancesOf(NamespaceId ns, std::string_view className) const {
    auto st = m_impl->use("SELECT definition FROM instances WHERE ns_id = ? AND class_key = ? ORDER BY id");
    st->bind(1, ns).bind(2, foldCase(className));
    std::vector<InstanceDef> out;
    while (st->step())
        out.push_back(codec::decodeInstance(st->columnBlob(0), "an instance of " + std::string(className)));
    return out;
}

} // namespace morrowlen::repo
