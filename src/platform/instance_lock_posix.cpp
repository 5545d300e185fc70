#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <utility>

#include "platform/instance_lock.h"

InstanceLock::InstanceLock(std::string path) : path_(std::move(path)) {}

InstanceLock::~InstanceLock() {
    release();
}

InstanceLock::State InstanceLock::acquire() {
    if (handle_ >= 0) {
        return State::Held;
    }
    // A lock of the open file description (flock): the kernel drops it with the last handle,
    // that is when the process ends; O_CLOEXEC keeps it out of the encoder and other children.
    const int handle = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (handle < 0) {
        return State::Unavailable;
    }
    int result;
    do {
        result = ::flock(handle, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        handle_ = handle;
        return State::Held;
    }
    const bool heldElsewhere = errno == EWOULDBLOCK;
    ::close(handle);
    return heldElsewhere ? State::HeldElsewhere : State::Unavailable;
}

void InstanceLock::release() {
    if (handle_ >= 0) {
        ::close(handle_);
        handle_ = -1;
    }
}
