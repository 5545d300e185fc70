#pragma once
// The lock that marks the one running instance of the program for a user. The system releases
// it when the holding process ends, however it ends, so a crashed instance never blocks the
// next start. A child process started by the holder does not inherit it.

#include <string>

class InstanceLock {
public:
    enum class State {
        Held,           // this process holds the lock: it is the running instance
        HeldElsewhere,  // another running process holds it
        Unavailable,    // the lock file cannot be opened or locked: run without the guard
    };

    // `path`: the lock file; created when missing, never removed.
    explicit InstanceLock(std::string path);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Tries once to take the lock, without waiting.
    State acquire();
    // Gives the lock up (also done by the destructor).
    void release();

private:
    std::string path_;
    int handle_ = -1;
};
