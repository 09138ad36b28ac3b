// Whole-file writes on POSIX systems, for every implementation there.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/paths.h"

namespace plat {
namespace {

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string& err) {
    const std::string target = ToFsPath(path);
    const std::string tmp = PartialFileName(target);
    const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        err = std::strerror(errno);
        return false;
    }
    bool ok = WriteAll(fd, bytes) && fsync(fd) == 0;
    const int writeErr = errno;
    ok = close(fd) == 0 && ok;
    if (ok && std::rename(tmp.c_str(), target.c_str()) == 0)
        return true;
    err = std::strerror(ok ? errno : writeErr);
    unlink(tmp.c_str());
    return false;
}

}  // namespace plat
