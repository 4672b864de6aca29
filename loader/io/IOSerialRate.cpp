#include "loader/io/IOSerialRate.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

int SetTtyBaudRate(int fd, uint32_t baud)
{
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) return errno;
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    if (::ioctl(fd, TCSETS2, &t) != 0) return errno;
    return 0;
}

int GetTtyBaudRate(int fd, uint32_t* baud)
{
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) return errno;
    *baud = t.c_ospeed;
    return 0;
}
