#include "platform/file_content.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

// Closes the descriptor when the read is over, whichever way it ends.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

Result<std::string> readWholeFile(const std::filesystem::path& path, uint64_t maxBytes) {
    const std::string name = path.string();
    FileDescriptor file(::open(name.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        return errno == ENOENT ? Failure{name + ": missing"} : systemFailure(name, errno);
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        return systemFailure(name, errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return Failure{name + ": a folder, not a file"};
    }
    std::string data;
    if (S_ISREG(info.st_mode) && static_cast<uint64_t>(info.st_size) <= maxBytes) {
        data.reserve(static_cast<size_t>(info.st_size));
    }
    // Read to the end rather than trusting the size: a file may grow, and pipes have none.
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return systemFailure(name, errno);
        }
        if (got == 0) {
            break;
        }
        if (data.size() + static_cast<uint64_t>(got) > maxBytes) {
            return Failure{name + ": larger than " + std::to_string(maxBytes) + " bytes"};
        }
        data.append(buffer, static_cast<size_t>(got));
    }
    return data;
}
