#pragma once

// Any baud rate on a Linux tty through termios2. Kept apart from <termios.h>, whose
// definitions clash with the kernel's <asm/termbits.h>.

#include <cstdint>

// Sets both directions of the open tty fd to exactly `baud`; 0 or an errno value.
int SetTtyBaudRate(int fd, uint32_t baud);
// The output rate of the tty fd into *baud; 0 or an errno value.
int GetTtyBaudRate(int fd, uint32_t* baud);
