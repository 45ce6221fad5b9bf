/* The real-kernel tier's view of a serial port, through the same kernel calls a user's
 * `stty -a` cannot make: the whole termios2 (rates that have no standard code included), the
 * exclusive mode, and whether a next opener could lock it.
 *   ttystate DEV        print one line: the state, then "excl=N lock=free|held"
 *   ttystate DEV odd    leave DEV at 250000 baud (termios2) with flags no program would choose
 *   ttystate DEV odd R  the same at R baud
 *   ttystate run CMD... CMD with SIGINT and SIGQUIT at their defaults, as an interactive shell
 *                       starts it: a script's background job has them ignored, and telvorn
 *                       keeps a signal ignored that it was started with */
#include <asm/termbits.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

int main(int argc, char **argv) {
    if (argc < 2) return 2;
    if (argc > 2 && strcmp(argv[1], "run") == 0) {
        signal(SIGINT, SIG_DFL);
        signal(SIGQUIT, SIG_DFL);
        execvp(argv[2], argv + 2);
        perror(argv[2]);
        return 127;
    }
    int fd = open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK);
    struct termios2 t;
    if (fd < 0 || ioctl(fd, TCGETS2, &t) != 0) { perror(argv[1]); return 1; }
    if (argc > 2) {
        t.c_cflag = (t.c_cflag & ~(CBAUD | (CBAUD << IBSHIFT) | CSIZE | CRTSCTS)) | BOTHER |
                    (BOTHER << IBSHIFT) | CS7 | PARENB | PARODD | CSTOPB | CLOCAL | CREAD;
        t.c_ispeed = t.c_ospeed = argc > 3 ? (unsigned)atoi(argv[3]) : 250000;
        t.c_iflag = IXON | IXOFF | ICRNL | INPCK | ISTRIP;
        t.c_oflag = OPOST | ONLCR | OCRNL;
        t.c_lflag = ISIG | ICANON | ECHO | ECHOE | IEXTEN;
        t.c_cc[VMIN] = 4;
        t.c_cc[VTIME] = 7;
        t.c_cc[VINTR] = 0x0b;
        return ioctl(fd, TCSETS2, &t) != 0;
    }
    int excl = -1;
    ioctl(fd, TIOCGEXCL, &excl);
    printf("iflag=%o oflag=%o cflag=%o lflag=%o line=%d ispeed=%u ospeed=%u cc=", t.c_iflag,
           t.c_oflag, t.c_cflag, t.c_lflag, t.c_line, t.c_ispeed, t.c_ospeed);
    for (unsigned i = 0; i < NCCS; i++) printf("%02x", t.c_cc[i]);
    printf(" excl=%d lock=%s\n", excl, flock(fd, LOCK_EX | LOCK_NB) == 0 ? "free" : "held");
    return 0;
}
