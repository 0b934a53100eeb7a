#include "repository/store/BatchedWrites.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>

namespace morrowlen::repo {

namespace {

// The system layer writes no more than 128 KiB in one call (larger lengths are cut to their low 17
// bits); runs of 64 KiB already write and sync as fast as runs of a megabyte.
constexpr int BatchBytes = 64 << 10;

// SQLite allocates szOsFile bytes per open file: this, followed by the system layer's own file.
struct BatchedFile {
    sqlite3_file base;
    sqlite3_file* system; // the system layer's file, right after this object
    char* pending;        // BatchBytes once something was collected
    sqlite3_int64 start;  // where pending goes in the file
    int size;             // bytes in pending
    bool collects;        // a database or journal file; other files are written as they come
};

sqlite3_vfs* systemVfs() {
    static sqlite3_vfs* const vfs = sqlite3_vfs_find(nullptr);
    return vfs;
}

BatchedFile* batched(sqlite3_file* file) {
    return reinterpret_cast<BatchedFile*>(file);
}
sqlite3_file* systemFile(sqlite3_file* file) {
    return batched(file)->system;
}

int flush(BatchedFile* f) {
    if (f->size == 0) return SQLITE_OK;
    const int size = f->size;
    f->size = 0;
    return f->system->pMethods->xWrite(f->system, f->pending, size, f->start);
}
int flush(sqlite3_file* file) {
    return flush(batched(file));
}

int writeFile(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
    BatchedFile* f = batched(file);
    if (f->collects && f->size > 0 && offset == f->start + f->size && amount <= BatchBytes - f->size) {
        std::memcpy(f->pending + f->size, data, static_cast<std::size_t>(amount));
        f->size += amount;
        return SQLITE_OK;
    }
    if (const int rc = flush(f); rc != SQLITE_OK) return rc;
    if (f->collects && amount < BatchBytes) {
        if (!f->pending) f->pending = static_cast<char*>(sqlite3_malloc(BatchBytes));
        if (f->pending) {
            std::memcpy(f->pending, data, static_cast<std::size_t>(amount));
            f->start = offset;
            f->size = amount;
            return SQLITE_OK;
        }
    }
    return f->system->pMethods->xWrite(f->system, data, amount, offset);
}

int closeFile(sqlite3_file* file) {
    BatchedFile* f = batched(file);
    const int flushed = flush(f);
    const int closed = f->system->pMethods->xClose(f->system);
    sqlite3_free(f->pending);
    f->pending = nullptr;
    return flushed != SQLITE_OK ? flushed : closed;
}

// Everything else goes to the system layer: after what was collected when the call could look at
// or depend on the file's content. A failed write is then what the call returns, and SQLite rolls
// the transaction back (closing and unlocking flush only when SQLite wrote without syncing).
int readFile(sqlite3_file* file, void* data, int amount, sqlite3_int64 offset) {
    if (const int rc = flush(file); rc != SQLITE_OK) return rc;
    return systemFile(file)->pMethods->xRead(systemFile(file), data, amount, offset);
}
int truncateFile(sqlite3_file* file, sqlite3_int64 size) {
    if (const int rc = flush(file); rc != SQLITE_OK) return rc;
    return systemFile(file)->pMethods->xTruncate(systemFile(file), size);
}
int syncFile(sqlite3_file* file, int flags) {
    if (const int rc = flush(file); rc != SQLITE_OK) return rc;
    return systemFile(file)->pMethods->xSync(systemFile(file), flags);
}
int fileSize(sqlite3_file* file, sqlite3_int64* size) {
    if (const int rc = flush(file); rc != SQLITE_OK) return rc;
    return systemFile(file)->pMethods->xFileSize(systemFile(file), size);
}
int lockFile(sqlite3_file* file, int level) {
    if (const int rc = flush(file); rc != SQLITE_OK) return rc;
    return systemFile(file)->pMethods->xLock(systemFile(file), level);
}
int unlockFile(sqlite3_file* file, int level) {
    if (const int rc = flush(file); rc != SQLITE_OK) return rc;
    return systemFile(file)->pMethods->xUnlock(systemFile(file), level);
}
int checkReservedLock(sqlite3_file* file, int* out) {
    return systemFile(file)->pMethods->xCheckReservedLock(systemFile(file), out);
}
// Not after what was collected: SQLite ignores what some of these calls return (size hints), so a
// write that failed here could be lost unnoticed. None of them reads the file's content.
int fileControl(sqlite3_file* file, int op, void* arg) {
    return systemFile(file)->pMethods->xFileControl(systemFile(file), op, arg);
}
int sectorSize(sqlite3_file* file) {
    return systemFile(file)->pMethods->xSectorSize(systemFile(file));
}
int deviceCharacteristics(sqlite3_file* file) {
    return systemFile(file)->pMethods->xDeviceCharacteristics(systemFile(file));
}
int shmMap(sqlite3_file* file, int region, int size, int extend, void volatile** out) {
    return systemFile(file)->pMethods->xShmMap(systemFile(file), region, size, extend, out);
}
int shmLock(sqlite3_file* file, int offset, int n, int flags) {
    return systemFile(file)->pMethods->xShmLock(systemFile(file), offset, n, flags);
}
void shmBarrier(sqlite3_file* file) {
    systemFile(file)->pMethods->xShmBarrier(systemFile(file));
}
int shmUnmap(sqlite3_file* file, int deleteFlag) {
    return systemFile(file)->pMethods->xShmUnmap(systemFile(file), deleteFlag);
}
int fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out) {
    if (const int rc = flush(file); rc != SQLITE_OK) return rc;
    return systemFile(file)->pMethods->xFetch(systemFile(file), offset, amount, out);
}
int unfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
    return systemFile(file)->pMethods->xUnfetch(systemFile(file), offset, page);
}

// One table per version of the system layer's file methods, so that SQLite asks for no more
// than the system file offers.
constexpr sqlite3_io_methods methods(int version) {
    return {version,
            closeFile,
            readFile,
            writeFile,
            truncateFile,
            syncFile,
            fileSize,
            lockFile,
            unlockFile,
            checkReservedLock,
            fileControl,
            sectorSize,
            deviceCharacteristics,
            shmMap,
            shmLock,
            shmBarrier,
            shmUnmap,
            fetch,
            unfetch};
}
constexpr sqlite3_io_methods MethodsByVersion[] = {methods(1), methods(2), methods(3)};

int openFile(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    BatchedFile* f = batched(file);
    f->system = reinterpret_cast<sqlite3_file*>(f + 1);
    f->pending = nullptr;
    f->start = 0;
    f->size = 0;
    f->collects = (flags & (SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_MAIN_JOURNAL)) != 0;
    const int rc = systemVfs()->xOpen(systemVfs(), name, f->system, flags, outFlags);
    const sqlite3_io_methods* system = f->system->pMethods;
    if (rc != SQLITE_OK || !system) {
        f->base.pMethods = nullptr;
        return rc;
    }
    f->base.pMethods = &MethodsByVersion[std::clamp(system->iVersion, 1, 3) - 1];
    return SQLITE_OK;
}

} // namespace

const char* batchedWritesVfs() {
    static const char* const name = [] {
        // The system layer's functions for everything but opening a file (they read nothing of
        // the structure but its application data, which is copied along).
        static sqlite3_vfs vfs = *systemVfs();
        vfs.pNext = nullptr;
        vfs.zName = "morrowlen-batched-writes";
        vfs.szOsFile = static_cast<int>(sizeof(BatchedFile)) + systemVfs()->szOsFile;
        vfs.xOpen = openFile;
        sqlite3_vfs_register(&vfs, 0);
        return vfs.zName;
    }();
    return name;
}

} // namespace morrowlen::repo
