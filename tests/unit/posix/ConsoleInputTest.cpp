#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "serial/Platform.h"

namespace {

enum { kReadEnd, kWriteEnd, kPipeEnds };

}  // namespace

// The keyboard watcher must see each typed character and then the end of input, which ends it.
TEST(ConsoleInput, ReadsEachCharacterThenReportsTheEndOfInput) {
    int ends[kPipeEnds];
    ASSERT_EQ(0, pipe2(ends, O_CLOEXEC));
    const int savedInput = dup(STDIN_FILENO);
    ASSERT_GE(savedInput, 0);
    ASSERT_EQ(STDIN_FILENO, dup2(ends[kReadEnd], STDIN_FILENO));
    close(ends[kReadEnd]);
    ASSERT_EQ(2, write(ends[kWriteEnd], "xX", 2));
    close(ends[kWriteEnd]);

    char first = 0;
    char second = 0;
    char after = 0;
    EXPECT_TRUE(platform::ReadInputChar(&first));
    EXPECT_TRUE(platform::ReadInputChar(&second));
    EXPECT_FALSE(platform::ReadInputChar(&after));
    EXPECT_EQ('x', first);
    EXPECT_EQ('X', second);

    dup2(savedInput, STDIN_FILENO);
    close(savedInput);
}
