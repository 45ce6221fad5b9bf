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

// A valid block told apart by its seed; off by one, its check word is one too high.
Bytes MakeBlock(std::uint8_t seed, bool offByOne = false) {
    DataBlock block;
    for (std::size_t i = 0; i < kPayloadSize; ++i) {
        block.bytes[i] = static_cast<std::uint8_t>(seed + i);
    }
    StoreCheckWord(&block, static_cast<std::uint16_t>(CheckWordFor(block.bytes) + offByOne));
    return Bytes(block.bytes, block.bytes + kBlockSize);
}

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
        } else {
            part = MakeBlock(static_cast<std::uint8_t>(std::stoi(word.substr(1))), word[0] == 'X');
        }
        file.insert(file.end(), part.begin(), part.end());
    }
    return file;
}

class ConfigFileTest : public ::testing::Test {
  protected:
    // Tests run in parallel, also from other build trees sharing the temporary directory.
    std::string m_path =
        ::testing::TempDir() + "telvorn_" + std::to_string(std::random_device()()) + ".cfg";
    void TearDown() override { std::remove(m_path.c_str()); }

    ResultCode Load(const Bytes& file) {
        std::FILE* out = std::fopen(m_path.c_str(), "wb");
        EXPECT_NE(out, nullptr) << m_path;
        EXPECT_EQ(std::fwrite(file.data(), 1, file.size(), out), file.size());
        EXPECT_EQ(std::fclose(out), 0);
        return ReadConfigFile(m_path.c_str(), &m_store, &m_report);
    }

    void ExpectStored(const Bytes& seeds) {
        ASSERT_EQ(m_store.Count(), seeds.size());
        for (std::uint32_t i = 0; i < seeds.size(); ++i) {
            EXPECT_EQ(Bytes(m_store.At(i)->bytes, m_store.At(i)->bytes + kBlockSize),
                      MakeBlock(seeds[i]))
                << "block " << i + 1;
        }
    }

    DataBuffer m_store;
    LoadReport m_report;
};

TEST_F(ConfigFileTest, LoadsOrRefusesEachShape) {
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
        // The read after the signature returns nothing: only a trailer ends a file.
        {"H S", ReadError, 0, LoadStop::kBlock, 0},
        {"H S E", Success, 0, LoadStop::kTrailer, kMarkerSize},
        // Before the first block only the end marker is a trailer; after it, any four bytes are.
        {"H S #FF001204", ReadError, 0, LoadStop::kBlock, kMarkerSize},
        {"H S B1 E", Success, 1, LoadStop::kTrailer, kMarkerSize},
        {"H S B1 #01020304", Success, 1, LoadStop::kTrailer, kMarkerSize},
        {"H S B1", ReadError, 1, LoadStop::kBlock, 0},
        // Where a block should start, any read that is neither a whole block nor four bytes is
        // cut short, even when it starts with the end marker.
        {"H S E #EE", ReadError, 0, LoadStop::kBlock, 5},
        {"H S B1 -1", ReadError, 0, LoadStop::kBlock, kBlockSize - 1},
        {"H S B1 #FF0012", ReadError, 1, LoadStop::kBlock, 3},
        {"H S X1 E", InvalidFile, 0, LoadStop::kBlock, kBlockSize},
        // The blocks before the bad one stay in the store.
        {"H S B1 B2 X3 B4 E", InvalidFile, 2, LoadStop::kBlock, kBlockSize},
    };
    for (const auto& expected : cases) {
        SCOPED_TRACE(expected.words);
        const ResultCode result = Load(File(expected.words));
        EXPECT_EQ(result, expected.result) << ErrorText(result);
        EXPECT_EQ(m_store.Count(), expected.blocksStored);
        EXPECT_EQ(m_report.stop, expected.stop);
        EXPECT_EQ(m_report.lastReadLength, expected.lastReadLength);
    }
}

// Enough blocks for the store to grow more than once; the report may be left out.
TEST_F(ConfigFileTest, StoresEveryBlockByteForByteInFileOrder) {
    Bytes seeds = {7, 0, 200, 7, 13};
    std::string words = "H S B7 B0 B200 B7 B13";
    for (std::uint8_t seed = 20; seed < 40; ++seed) {
        seeds.push_back(seed);
        words += " B" + std::to_string(seed);
    }
    ASSERT_EQ(Load(File(words + " E")), Success);
    ExpectStored(seeds);
    // Again into the store's kept slots.
    EXPECT_EQ(ReadConfigFile(m_path.c_str(), &m_store), Success);
    ExpectStored(seeds);
}

}  // namespace
