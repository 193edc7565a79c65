// Line speeds without a termios constant go through termios2 and BOTHER. The kernel's
// own termios header clashes with the C library's, so it lives in a file of its own.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdint>

bool SetLineSpeed(int fd, std::uint32_t baud) {
  struct termios2 t {};
  if (::ioctl(fd, TCGETS2, &t) != 0) return false;
  t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ospeed = baud;
  t.c_ispeed = baud;
  return ::ioctl(fd, TCSETS2, &t) == 0;
}

std::uint32_t LineSpeed(int fd) {
  struct termios2 t {};
  if (::ioctl(fd, TCGETS2, &t) != 0) return 0;
  return t.c_ospeed;
}
