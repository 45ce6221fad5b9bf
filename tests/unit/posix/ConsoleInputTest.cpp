#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "serial/Platform.h"

// The keyboard watcher must see each typed character and then the end of input, which ends it.
TEST(ConsoleInput, ReadsEachCharacterThenReportsTheEndOfInput) {
    int ends[2];
    ASSERT_EQ(0, pipe2(ends, O_CLOEXEC));
    const int savedInput = dup(STDIN_FILENO);
    ASSERT_EQ(STDIN_FILENO, dup2(ends[0], STDIN_FILENO));
    close(ends[0]);
    ASSERT_EQ(2, write(ends[1], "xX", 2));
    close(ends[1]);
    char read[3] = {};
    EXPECT_TRUE(platform::ReadInputChar(&read[0]));
    EXPECT_TRUE(platform::ReadInputChar(&read[1]));
    EXPECT_FALSE(platform::ReadInputChar(&read[2]));
    EXPECT_STREQ("xX", read);
    dup2(savedInput, STDIN_FILENO);
    close(savedInput);
}
