// The outcome of every Downloader operation; 0 is success. The texts live in ErrorText only.
#pragma once

#include <cstdint>

enum ResultCode : std::uint8_t {
    Success = 0,
    NotImplemented = 1,
    InvalidFilename = 2,
    OutOfMemory = 3,
    FileNotFound = 4,
    InvalidFile = 5,
    ReadError = 6,
    InvalidBaudRate = 7,
    InvalidPort = 8,
    CannotOpenPort = 9,
    CannotConnect = 10,
    CannotSend = 11,
    CannotDisconnect = 12,
};

// Any value outside the table, 13 to 255, reads "Unknown error".
const char* ErrorText(unsigned code);
