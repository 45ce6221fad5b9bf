#include "config/ConfigFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "config/DataBlock.h"
#include "config/DataBuffer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The bytes of a file, word by word: H the header, S the signature, E the end marker, B<n> block
// n, X<n> block n with its check word off by one, #<hex> raw bytes, -<n> drop the last n bytes.
Bytes File(const std::string& words) {
    Bytes file;
    std::istringstream in(words);
    for (std::string word; in >> word;) {
        Bytes part;
        if (word == "H") {  // not zeros, and holding the signature: the header is never looked at
            for (std::size_t i = 0; i < kHeaderSize; ++i) {
                part.push_back(kFileMagic[i % kMarkerSize]);
            }
        } else if (word == "S" || word == "E") {
            const std::uint8_t* marker = word == "S" ? kFileMagic : kEndMarker;
            part.assign(marker, marker + kMarkerSize);
        } else if (word[0] == '#') {
            for (std::size_t i = 1; i + 1 < word.size(); i += 2) {
                part.push_back(static_cast<std::uint8_t>(std::stoi(word.substr(i, 2), 0, 16)));
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
            part.assign(block.bytes, block.bytes + kBlockSize);
        }
        file.insert(file.end(), part.begin(), part.end());
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
        const Bytes file = File(expected.words);
        std::FILE* out = std::fopen(path.c_str(), "wb");
        ASSERT_NE(out, nullptr) << path;
        ASSERT_EQ(std::fwrite(file.data(), 1, file.size(), out), file.size());
        ASSERT_EQ(std::fclose(out), 0);
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
