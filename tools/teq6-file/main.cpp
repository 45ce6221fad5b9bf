// teq6-file: makes, checks and shows TEQ6 configuration files. Exit status 0 on success, 1 on a
// refused file or a failed read or write, 2 on a bad command line (the usage goes to stderr).
#include <cstdio>
#include <cstring>

#include "ExitStatus.h"
#include "FileChecker.h"
#include "FileDump.h"
#include "FileMaker.h"

namespace {

constexpr int kOneFileArgs = 3;     // teq6-file check FILE
constexpr int kMakeArgs = 4;        // teq6-file make PAYLOAD OUT
constexpr int kMakeHeaderArgs = 6;  // teq6-file make PAYLOAD OUT --header FILE32
constexpr int kCommandArg = 1;
constexpr int kFirstOperand = 2;
constexpr int kHeaderOption = 4;
constexpr int kHeaderPath = 5;

int Usage() {
    std::fprintf(stderr,
                 "usage: teq6-file make PAYLOAD OUT [--header FILE32]\n"
                 "       teq6-file check FILE\n"
                 "       teq6-file show FILE\n"
                 "make cuts PAYLOAD into blocks of 2054 bytes, the last one padded with zeros.\n"
                 "The header is the text \"TEQ6 configuration\" padded with zeros, or the 32\n"
                 "bytes of FILE32. check and show exit with 1 on a file the program refuses.\n");
    return kExitUsage;
}

int Status(bool succeeded) {
    return succeeded ? kExitOk : kExitFailed;
}

bool Is(const char* argument, const char* word) {
    return std::strcmp(argument, word) == 0;
}

int Make(int argc, char** argv) {
    const char* headerPath = nullptr;
    if (argc == kMakeHeaderArgs && Is(argv[kHeaderOption], "--header")) {
        headerPath = argv[kHeaderPath];
    } else if (argc != kMakeArgs) {
        return Usage();
    }
    FileMaker maker(argv[kFirstOperand], argv[kFirstOperand + 1], headerPath);
    return Status(maker.Make());
}

int Check(const char* path) {
    FileChecker checker(path);
    bool valid = checker.Check() == Success;
    checker.PrintVerdict();
    return Status(valid);
}

int Show(const char* path) {
    FileDump dump(path);
    return Status(dump.Show());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc <= kCommandArg) {
        return Usage();
    }
    const char* command = argv[kCommandArg];
    if (Is(command, "make")) {
        return Make(argc, argv);
    }
    if (argc != kOneFileArgs) {
        return Usage();
    }
    if (Is(command, "check")) {
        return Check(argv[kFirstOperand]);
    }
    if (Is(command, "show")) {
        return Show(argv[kFirstOperand]);
    }
    return Usage();
}
