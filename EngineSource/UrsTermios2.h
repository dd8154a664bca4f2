// The kernel's termios2 record and its ioctl numbers, for baud rates that
// termios has no constant for (14400): with BOTHER in c_cflag the rate is
// given in bits per second in c_ispeed/c_ospeed. <asm/termbits.h> cannot be
// included beside <termios.h>, hence this copy of the kernel's layout. Only
// platform code (the serial layer, the simulator, tests) includes it.
#ifndef NORVANE_ENGINESOURCE_URSTERMIOS2_H
#define NORVANE_ENGINESOURCE_URSTERMIOS2_H

#include <sys/ioctl.h>
#include <termios.h>

struct urs_Termios2 {
    tcflag_t c_iflag;    // input modes
    tcflag_t c_oflag;    // output modes
    tcflag_t c_cflag;    // control modes
    tcflag_t c_lflag;    // local modes
    cc_t c_line;         // line discipline
    cc_t c_cc[19];       // control characters (the kernel's NCCS)
    speed_t c_ispeed;    // input rate in bits per second
    speed_t c_ospeed;    // output rate in bits per second
};
static_assert(sizeof(urs_Termios2) == 44, "termios2 layout of the kernel");

constexpr tcflag_t urs_kBother = 0010000;           // rate given in c_ispeed/c_ospeed
constexpr tcflag_t urs_kInputBaudShift = 16;        // IBSHIFT: where the input rate bits sit
constexpr tcflag_t urs_kInputBaudMask = 002003600000;  // CIBAUD
constexpr unsigned long urs_kTcGets2 = _IOR('T', 0x2A, urs_Termios2);
constexpr unsigned long urs_kTcSets2 = _IOW('T', 0x2B, urs_Termios2);

#endif
