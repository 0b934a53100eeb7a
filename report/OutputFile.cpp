#include "report/OutputFile.h"

#include "report/PageWriter.h"
#include "repository/core/Error.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace morrowlen::report {

namespace {

constexpr std::uint32_t FileAccessError = 75;

[[noreturn]] void refuse(const std::filesystem::path& path, const std::string& why) {
    throw Error(FileAccessError, "Path/File access error: " + path.string() + " " + why);
}

// Follows symbolic links on the last component, so that the file they end at is the one replaced.
std::filesystem::path followLinks(std::filesystem::path path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0) throwFileError(errno, "cannot read the symbolic link", path);
        target.resize(static_cast<std::size_t>(n));
        path = std::filesystem::path(target).is_absolute() ? std::filesystem::path(target)
                                                           : path.parent_path() / target;
    }
    refuse(path, "is a loop of symbolic links");
}

} // namespace

OutputFile::OutputFile(std::filesystem::path path, bool synced) : m_path(std::move(path)), m_synced(synced) {
    if (m_path.empty()) refuse(m_path, "is not a file name");
    struct stat st {};
    const bool exists = ::stat(m_path.c_str(), &st) == 0;
    if (!exists && errno == ELOOP) refuse(m_path, "is a loop of symbolic links");
    if (!exists && errno != ENOENT) throwFileError(errno, "cannot look at", m_path);
    if (exists && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))) {
        m_fd = ::open(m_path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (m_fd < 0) throwFileError(errno, "cannot open", m_path);
        return;
    }
    if (exists && S_ISDIR(st.st_mode)) refuse(m_path, "is a folder, not a file");
    if (exists && !S_ISREG(st.st_mode))
        refuse(m_path, "is neither a regular file, a character device nor a pipe");

    m_target = followLinks(m_path);
    std::random_device random;
    for (int attempt = 0; m_fd < 0; ++attempt) {
        m_temp = m_target;
        m_temp += "." + std::to_string(random()) + ".tmp";
        // A new file gets the usual permissions; an existing one's are copied below.
        m_fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                      exists ? 0600 : 0666);
        if (m_fd < 0 && (errno != EEXIST || attempt == 20)) {
            const int err = errno;
            m_temp.clear();
            throwFileError(err, "cannot create a file beside", m_target);
        }
    }
    if (exists) {
        if (::geteuid() == 0) (void)!::fchown(m_fd, st.st_uid, st.st_gid);
        if (::fchmod(m_fd, st.st_mode & 07777) != 0)
            throwFileError(errno, "cannot set the permissions of", m_temp);
    }
}

OutputFile::~OutputFile() {
    if (m_fd >= 0) ::close(m_fd);
    if (!m_committed && !m_temp.empty()) ::unlink(m_temp.c_str());
}

void OutputFile::write(std::string_view bytes) {
    m_buffer.append(bytes);
    if (m_buffer.size() >= 1 << 16) flush();
}

void OutputFile::flush() {
    std::size_t done = 0;
    while (done < m_buffer.size()) {
        const ssize_t n = ::write(m_fd, m_buffer.data() + done, m_buffer.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throwFileError(n < 0 ? errno : EIO, "cannot write", m_path);
        done += static_cast<std::size_t>(n);
    }
    m_buffer.clear();
}

void OutputFile::commit() {
    if (m_committed) return;
    flush();
    if (m_synced && !isDirect() && ::fsync(m_fd) != 0) throwFileError(errno, "cannot finish", m_path);
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0 && errno != EINTR) throwFileError(errno, "cannot finish", m_path);
    if (!isDirect()) {
        if (std::rename(m_temp.c_str(), m_target.c_str()) != 0)
            throwFileError(errno, "cannot replace", m_target);
        // The rename itself reaches the disk with the folder.
        const std::filesystem::path folder = m_target.has_parent_path() ? m_target.parent_path() : ".";
        if (const int dir = m_synced ? ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
            dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    m_committed = true;
}

} // namespace morrowlen::report
