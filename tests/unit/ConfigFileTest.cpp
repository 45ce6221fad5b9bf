#include "config/ConfigFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "config/DataBlock.h"
#include "config/DataBuffer.h"

namespace {

// The bytes of a file, word by word: H the header (the signature over and over, no zeros: it is
// never looked at), S the signature, E the end marker, B<n> block n, X<n> block n with its check
// word off by one, #<hex> raw bytes, -<n> drop the last n bytes.
std::string File(const std::string& words) {
    std::string file;
    std::istringstream in(words);
    for (std::string word; in >> word;) {
        if (word == "H" || word == "S" || word == "E") {
            const std::uint8_t* marker = word == "E" ? kEndMarker : kFileMagic;
            for (std::size_t i = 0; i < (word == "H" ? kHeaderSize : kMarkerSize); ++i) {
                file.push_back(static_cast<char>(marker[i % kMarkerSize]));
            }
        } else if (word[0] == '#') {
            for (std::size_t i = 1; i + 1 < word.size(); i += 2) {
                file.push_back(static_cast<char>(std::stoi(word.substr(i, 2), 0, 16)));
            }
        } else if (word[0] == '-') {
            file.resize(file.size() - std::stoul(word.substr(1)));
        } else {  // a valid block told apart by its seed n, or with its check word one too high
            DataBlock block;
            for (std::size_t i = 0; i < kPayloadSize; ++i) {
                block.bytes[i] = static_cast<std::uint8_t>(std::stoi(word.substr(1)) + i);
            }
            const auto checkWord = CheckWordFor(block.bytes) + (word[0] == 'X');
            StoreCheckWord(&block, static_cast<std::uint16_t>(checkWord));
            file.append(block.bytes, block.bytes + kBlockSize);
        }
    }
    return file;
}

TEST(ConfigFile, LoadsOrRefusesEachShape) {
    // Tests run in parallel, also from other build trees sharing the temporary directory.
    const std::string path =
        ::testing::TempDir() + "telvorn_" + std::to_string(std::random_device()()) + ".cfg";
    const struct {
        const char* words;
        ResultCode result;
        std::uint32_t blocksStored;
        LoadStop stop;
        std::size_t lastReadLength;  // of the last block-sized read, when there was one
    } cases[] = {
        {"H -1", InvalidFile, 0, LoadStop::kHeader, 0},
        {"H S -1", InvalidFile, 0, LoadStop::kSignature, 0},
        {"H #031200FE E", InvalidFile, 0, LoadStop::kSignature, 0},
        // The read after the last block returns nothing: only a trailer ends a file.
        {"H S B1", ReadError, 1, LoadStop::kBlock, 0},
        {"H S E", Success, 0, LoadStop::kTrailer, kMarkerSize},
        // Before the first block only the end marker is a trailer; after it, any four bytes are.
        {"H S #FF001204", ReadError, 0, LoadStop::kBlock, kMarkerSize},
        {"H S B1 E", Success, 1, LoadStop::kTrailer, kMarkerSize},
        {"H S B1 #01020304", Success, 1, LoadStop::kTrailer, kMarkerSize},
        // Where a block should start, any read that is neither a whole block nor four bytes is
        // cut short, even when it starts with the end marker.
        {"H S E #EE", ReadError, 0, LoadStop::kBlock, 5},
        {"H S B1 -1", ReadError, 0, LoadStop::kBlock, kBlockSize - 1},
        {"H S X1 E", InvalidFile, 0, LoadStop::kBlock, kBlockSize},
        // The blocks before the bad one stay in the store.
        {"H S B1 B2 X3 B4 E", InvalidFile, 2, LoadStop::kBlock, kBlockSize},
    };
    // One store for every shape: each load must start it afresh.
    DataBuffer store;
    for (const auto& expected : cases) {
        SCOPED_TRACE(expected.words);
        ASSERT_TRUE(std::ofstream(path, std::ios::binary) << File(expected.words)) << path;
        LoadReport report;
        const ResultCode result = ReadConfigFile(path.c_str(), &store, &report);
        EXPECT_EQ(result, expected.result) << ErrorText(result);
        EXPECT_EQ(store.Count(), expected.blocksStored);
        EXPECT_EQ(report.stop, expected.stop);
        EXPECT_EQ(report.lastReadLength, expected.lastReadLength);
    }
    std::remove(path.c_str());
}

}  // namespace
