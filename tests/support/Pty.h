#pragma once
// A pseudo-terminal pair of the test process: the test plays the device on the master
// side, the code under test opens the slave by its path.

#include <string>

namespace testsupport {

// Sets a tty raw (no echo, no line editing, 8 bits).
void MakeRaw(int fd);

// The slave starts raw.
struct Pty {
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    void CloseMaster();
    void Send(const std::string& bytes) const;
    // What the device received: up to want bytes, waiting at most timeoutMs for the next one.
    std::string Receive(size_t want, int timeoutMs = 2000) const;

    int master = -1;
    std::string slave;
};

} // namespace testsupport
