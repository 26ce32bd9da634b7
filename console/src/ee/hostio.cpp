#include "ee/hostio.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "core/config.h"
#include "core/diag.h"

namespace {

// Maps "host0:path" or "host:path" to a path below --host-dir.  Paths that
// climb out of it ("..") are refused so a game file name can never reach
// elsewhere on the host.
bool HostPath(const char* name, std::string& out)
{
    const char* rest = nullptr;
    if (std::strncmp(name, "host0:", 6) == 0)
        rest = name + 6;
    else if (std::strncmp(name, "host:", 5) == 0)
        rest = name + 5;
    if (!rest)
        return false;
    std::string rel(rest);
    for (char& c : rel)
        if (c == '\\')
            c = '/';
    while (!rel.empty() && rel[0] == '/')
        rel.erase(0, 1);
    if (rel.empty() || rel == ".." || rel.rfind("../", 0) == 0 || rel.find("/../") != std::string::npos ||
        (rel.size() >= 3 && rel.compare(rel.size() - 3, 3, "/..") == 0))
        return false;
    std::string dir = console::GetString("host-dir", ".");
    out = dir.empty() ? rel : dir + "/" + rel;
    return true;
}

}  // namespace

int sceOpen(const char* name, int flags, ...)
{
    std::string path;
    if (!name || !HostPath(name, path)) {
        console::Diag(console::Level::kWarning, "host", "sceOpen: not a host file name: %s", name ? name : "(null)");
        return -ENOENT;
    }
    int oflags = 0;
    switch (flags & 3) {
    case SCE_WRONLY: oflags = O_WRONLY; break;
    case SCE_RDWR: oflags = O_RDWR; break;
    default: oflags = O_RDONLY; break;
    }
    if (flags & SCE_APPEND)
        oflags |= O_APPEND;
    if (flags & SCE_CREAT)
        oflags |= O_CREAT;
    if (flags & SCE_TRUNC)
        oflags |= O_TRUNC;
    int fd = ::open(path.c_str(), oflags, 0644);
    if (fd < 0) {
        int err = errno;
        console::Diag(console::Level::kWarning, "host", "sceOpen %s: %s", path.c_str(), std::strerror(err));
        return -err;
    }
    return fd;
}

int sceWrite(int fd, const void* buf, int n)
{
    if (n < 0)
        return -EINVAL;
    const char* p = static_cast<const char*>(buf);
    int done = 0;
    while (done < n) {
        ssize_t w = ::write(fd, p + done, static_cast<size_t>(n - done));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return -errno;
        }
        done += static_cast<int>(w);
    }
    return done;
}

int sceRead(int fd, void* buf, int n)
{
    if (n < 0)
        return -EINVAL;
    ssize_t r = ::read(fd, buf, static_cast<size_t>(n));
    return r < 0 ? -errno : static_cast<int>(r);
}

int sceClose(int fd)
{
    return ::close(fd) < 0 ? -errno : 0;
}
