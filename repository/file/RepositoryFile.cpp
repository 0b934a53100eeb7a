#include "repository/file/RepositoryFile.h"

#include "repository/core/Error.h"
#include "repository/file/DefaultSet.h"
#include "repository/mof/SystemClasses.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace morrowlen::repo {

namespace {

void installIfEmpty(repo::ClassStore& store) {
    // Also repairs a file whose creation stopped before the system classes were in.
    if (store.wasCreated() || store.classNames(store.systemNamespace()).empty())
        mof::installSystemClasses(store);
}

// Removes a file being built and what SQLite keeps beside it.
void removeWithJournal(const std::string& file) {
    std::error_code ec;
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        std::filesystem::remove(file + suffix, ec);
}

// Removes what creations by processes that no longer run left beside the repository ("<name>.new-PID").
void removeStaleCreations(const std::filesystem::path& path) {
    namespace fs = std::filesystem;
    const std::string prefix = path.filename().string() + ".new-";
    std::error_code ec;
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) != 0) continue;
        const std::string pid = name.substr(prefix.size(), name.find('-', prefix.size()) - prefix.size());
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos || pid.size() > 9)
            continue;
        if (::kill(static_cast<pid_t>(std::stol(pid)), 0) == 0 || errno != ESRCH) continue;
        std::error_code ignored;
        fs::remove(it->path(), ignored);
    }
}

// Writes the default repository, made when the program was built, as a new file; on disk before
// it is moved into place, as SQLite's own commit would have it.
void writeImage(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        throw Error(wbem::Failed, "Cannot create the repository " + path + ": " + std::strerror(errno));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    const bool ok = done == bytes.size() && ::fdatasync(fd) == 0;
    const int err = errno;
    ::close(fd);
    if (!ok) throw Error(wbem::Failed, "Cannot write the repository " + path + ": " + std::strerror(err));
}

} // namespace

repo::ClassStore openOrCreateRepository(const std::string& path, NewRepository contents) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const bool exists = fs::exists(path, ec);
    const bool empty = exists && fs::is_regular_file(path, ec) && fs::file_size(path, ec) == 0;
    if (exists && !empty) {
        repo::ClassStore store = repo::ClassStore::open(path, repo::ClassStore::OpenMode::OpenExisting);
        installIfEmpty(store);
        return store;
    }
    const fs::path parent = fs::path(path).parent_path();
    if (!parent.empty()) {
        fs::create_directories(parent, ec);
        if (ec)
            throw Error(wbem::Failed, "Cannot create the folder " + parent.string() +
                                          " for the repository: " + ec.message());
    }
    removeStaleCreations(path);
    const std::string temp = path + ".new-" + std::to_string(::getpid());
    removeWithJournal(temp);
    try {
        // Made when the program was built, and written in one go: a file nobody sees yet needs no
        // journal.
        writeImage(temp, contents == NewRepository::DefaultSet ? defaultRepositoryImage()
                                                               : systemRepositoryImage());
    } catch (...) {
        removeWithJournal(temp);
        throw;
    }
    // An empty file may be replaced; anything else that appeared meanwhile is kept and used.
    int rc = empty ? std::rename(temp.c_str(), path.c_str()) : ::link(temp.c_str(), path.c_str());
    int err = errno;
    if (rc != 0 && (err == EPERM || err == ENOTSUP || err == EXDEV)) {
        // A file system without hard links: only a plain move is left.
        rc = std::rename(temp.c_str(), path.c_str());
        err = errno;
    }
    fs::remove(temp, ec);
    if (rc != 0 && err != EEXIST)
        throw Error(wbem::Failed, "Cannot create the repository " + path + ": " + std::strerror(err));
    // The file in place is the one written above, unless another one was there first (EEXIST); only
    // that one needs the check before a write (reading the whole default repository took 10-20 ms).
    repo::ClassStore store = repo::ClassStore::open(path, rc == 0 ? repo::ClassStore::OpenMode::JustWritten
                                                                  : repo::ClassStore::OpenMode::OpenExisting);
    if (rc == 0) store.markCreated();
    return store;
}

repo::ClassStore openRepositoryForReading(const std::string& path, bool createWhenMissing) {
    std::error_code ec;
    namespace fs = std::filesystem;
    const bool missing = !fs::exists(path, ec) || (fs::is_regular_file(path, ec) && !fs::file_size(path, ec));
    if (missing && createWhenMissing) openOrCreateRepository(path);
    return repo::ClassStore::open(path, repo::ClassStore::OpenMode::ReadOnly);
}

repo::ClassStore createInMemoryRepository(NewRepository contents) {
    return repo::ClassStore::openImage(contents == NewRepository::DefaultSet ? defaultRepositoryImage()
                                                                             : systemRepositoryImage());
}

} // namespace morrowlen::repo
