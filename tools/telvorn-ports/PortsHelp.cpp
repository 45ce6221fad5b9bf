#include "PortsHelp.h"

void PrintPortsHelp(std::FILE* stream) {
    std::fprintf(stream,
                 "usage: telvorn-ports [PORT]\n"
                 "Lists the serial ports with the COM number to give telvorn (telvorn FILE -33\n"
                 "for COM33), what each port is, and whether telvorn could open it now: free,\n"
                 "held by another program, no permission, or cannot open and why.\n"
                 "PORT shows one port in detail: COM33, or a device such as /dev/ttyUSB0 or\n"
                 "ttyUSB0 (Linux). Nothing is changed and no port is taken from anyone.\n"
                 "Exit status: 0 listed, 1 no such port, 2 bad command line.\n");
}
