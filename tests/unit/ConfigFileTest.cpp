#include "config/ConfigFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "config/DataBlock.h"
#include "config/DataBuffer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Enough blocks to make the store grow more than once.
constexpr std::uint8_t kManyBlocks = 25;

// The bytes of a configuration file, put together part by part.
class FileImage {
  public:
    // Not zeros, and holding the signature, to show that the header is never looked at.
    FileImage& Header() {
        for (std::size_t i = 0; i < kHeaderSize; ++i) {
            m_bytes.push_back(kFileMagic[i % kMarkerSize]);
        }
        return *this;
    }
    FileImage& Signature() { return Raw(kFileMagic, kMarkerSize); }
    FileImage& EndMarker() { return Raw(kEndMarker, kMarkerSize); }
    FileImage& Start() { return Header().Signature(); }
    // A valid block whose payload depends on seed, so blocks can be told apart.
    FileImage& Block(std::uint8_t seed) { return Raw(MakeBlock(seed).bytes, kBlockSize); }
    FileImage& BlockWithCheckWordOffByOne(std::uint8_t seed) {
        DataBlock block = MakeBlock(seed);
        StoreCheckWord(&block, static_cast<std::uint16_t>(StoredCheckWord(block) + 1));
        return Raw(block.bytes, kBlockSize);
    }
    FileImage& Raw(std::initializer_list<std::uint8_t> bytes) {
        m_bytes.insert(m_bytes.end(), bytes);
        return *this;
    }
    FileImage& Raw(const std::uint8_t* bytes, std::size_t length) {
        m_bytes.insert(m_bytes.end(), bytes, bytes + length);
        return *this;
    }
    FileImage& Fill(std::size_t length, std::uint8_t value) {
        m_bytes.insert(m_bytes.end(), length, value);
        return *this;
    }
    FileImage& CutTo(std::size_t length) {
        m_bytes.resize(length);
        return *this;
    }
    const Bytes& bytes() const { return m_bytes; }

    static DataBlock MakeBlock(std::uint8_t seed) {
        DataBlock block;
        for (std::size_t i = 0; i < kPayloadSize; ++i) {
            block.bytes[i] = static_cast<std::uint8_t>(seed + i);
        }
        StoreCheckWord(&block, CheckWordFor(block.bytes));
        return block;
    }

  private:
    Bytes m_bytes;
};

// Each test writes its files under a name of its own: tests run in parallel, also from other
// build trees sharing the same temporary directory.
std::string UniqueTempPath() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "_" + test->name();
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    std::random_device random;
    return ::testing::TempDir() + "telvorn_" + name + "_" + std::to_string(random()) + ".cfg";
}

class ConfigFileTest : public ::testing::Test {
  protected:
    void SetUp() override { m_path = UniqueTempPath(); }
    void TearDown() override { std::remove(m_path.c_str()); }

    void Write(const FileImage& image) {
        std::FILE* file = std::fopen(m_path.c_str(), "wb");
        ASSERT_NE(file, nullptr) << m_path;
        const Bytes& bytes = image.bytes();
        EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
        ASSERT_EQ(std::fclose(file), 0);
    }

    ResultCode Load(const FileImage& image) {
        Write(image);
        return ReadConfigFile(m_path.c_str(), &m_store, &m_report);
    }

    // Fills the store with two blocks from a good file, to see whether a later load touches it.
    void Preload() {
        ASSERT_EQ(Load(FileImage().Start().Block(1).Block(2).EndMarker()), Success);
        ASSERT_EQ(m_store.Count(), 2u);
        m_firstPreloaded = m_store.At(0);
    }

    std::string m_path;
    DataBuffer m_store;
    LoadReport m_report;
    DataBlock* m_firstPreloaded = nullptr;
};

struct FileCase {
    const char* name;
    FileImage (*image)();
    ResultCode result;
    std::uint32_t blocksStored;
    LoadStop stop;
    std::size_t lastReadLength;  // of the last block-sized read, when there was one
};

std::ostream& operator<<(std::ostream& out, const FileCase& entry) {
    return out << entry.name;
}

const FileCase kFileCases[] = {
    {"Empty", [] { return FileImage(); }, InvalidFile, 0, LoadStop::kHeader, 0},
    {"HeaderCutShort", [] { return FileImage().Header().CutTo(kHeaderSize - 1); }, InvalidFile, 0,
     LoadStop::kHeader, 0},
    {"HeaderOnly", [] { return FileImage().Header(); }, InvalidFile, 0, LoadStop::kSignature, 0},
    {"SignatureCutShort", [] { return FileImage().Start().CutTo(kHeaderSize + kMarkerSize - 1); },
     InvalidFile, 0, LoadStop::kSignature, 0},
    {"SignatureReversed", [] { return FileImage().Header().EndMarker().Block(1).EndMarker(); },
     InvalidFile, 0, LoadStop::kSignature, 0},
    {"SignatureOffByOneByte",
     [] {
         return FileImage().Header().Raw({0x03, 0x12, 0x00, 0xFE}).EndMarker();
     },
     InvalidFile, 0, LoadStop::kSignature, 0},
    // The read after the signature returns nothing: only a trailer ends a file.
    {"NothingAfterSignature", [] { return FileImage().Start(); }, ReadError, 0, LoadStop::kBlock,
     0},
    {"EndMarkerWithoutBlock", [] { return FileImage().Start().EndMarker(); }, Success, 0,
     LoadStop::kTrailer, kMarkerSize},
    {"OtherTrailerWithoutBlock",
     [] {
         return FileImage().Start().Raw({0xFF, 0x00, 0x12, 0x04});
     },
     ReadError, 0, LoadStop::kBlock, kMarkerSize},
    {"SignatureAsTrailerWithoutBlock", [] { return FileImage().Start().Signature(); }, ReadError, 0,
     LoadStop::kBlock, kMarkerSize},
    {"OneBlockEndMarker", [] { return FileImage().Start().Block(1).EndMarker(); }, Success, 1,
     LoadStop::kTrailer, kMarkerSize},
    {"OneBlockAnyTrailer",
     [] {
         return FileImage().Start().Block(1).Raw({1, 2, 3, 4});
     },
     Success, 1, LoadStop::kTrailer, kMarkerSize},
    {"OneBlockNoTrailer", [] { return FileImage().Start().Block(1); }, ReadError, 1,
     LoadStop::kBlock, 0},
    {"BytesAfterTrailer", [] { return FileImage().Start().Block(1).EndMarker().EndMarker(); },
     ReadError, 1, LoadStop::kBlock, 2 * kMarkerSize},
    {"ManyBlocks",
     [] {
         FileImage image;
         image.Start();
         for (std::uint8_t seed = 0; seed < kManyBlocks; ++seed) {
             image.Block(seed);
         }
         return image.EndMarker();
     },
     Success, kManyBlocks, LoadStop::kTrailer, kMarkerSize},
    {"FirstBlockCheckWordOffByOne",
     [] { return FileImage().Start().BlockWithCheckWordOffByOne(1).EndMarker(); }, InvalidFile, 0,
     LoadStop::kBlock, kBlockSize},
    // The blocks before the bad one stay in the store.
    {"ThirdBlockCheckWordOffByOne",
     [] {
         return FileImage()
             .Start()
             .Block(1)
             .Block(2)
             .BlockWithCheckWordOffByOne(3)
             .Block(4)
             .EndMarker();
     },
     InvalidFile, 2, LoadStop::kBlock, kBlockSize},
    {"AllZeroBlock", [] { return FileImage().Start().Fill(kBlockSize, 0x00).EndMarker(); }, Success,
     1, LoadStop::kTrailer, kMarkerSize},
    {"AllFFBlock",
     [] {
         return FileImage().Start().Fill(kPayloadSize, 0xFF).Raw({0x06, 0x02}).EndMarker();
     },
     Success, 1, LoadStop::kTrailer, kMarkerSize},
    {"AllFFBlockCheckWordBigEndian",
     [] {
         return FileImage().Start().Fill(kPayloadSize, 0xFF).Raw({0x02, 0x06}).EndMarker();
     },
     InvalidFile, 0, LoadStop::kBlock, kBlockSize},
};

class ConfigFileShapes : public ConfigFileTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(ConfigFileShapes, LoadsOrRefuses) {
    const FileCase& expected = GetParam();
    ResultCode result = Load(expected.image());
    EXPECT_EQ(result, expected.result) << ErrorText(result);
    EXPECT_EQ(m_store.Count(), expected.blocksStored);
    EXPECT_EQ(m_report.stop, expected.stop);
    EXPECT_EQ(m_report.lastReadLength, expected.lastReadLength);
}

INSTANTIATE_TEST_SUITE_P(Files, ConfigFileShapes, ::testing::ValuesIn(kFileCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Where a block should start, any read that is neither a whole block nor a 4-byte trailer is
// cut short, whether or not a block came before it.
class ConfigFileCutShort : public ConfigFileTest,
                           public ::testing::WithParamInterface<std::size_t> {};

TEST_P(ConfigFileCutShort, IsAReadError) {
    std::size_t length = GetParam();
    for (std::uint32_t blocksBefore : {0u, 1u}) {
        SCOPED_TRACE(testing::Message() << blocksBefore << " blocks before");
        FileImage image;
        image.Start();
        for (std::uint32_t i = 0; i < blocksBefore; ++i) {
            image.Block(static_cast<std::uint8_t>(i));
        }
        // Starting with the end marker does not make a longer read a trailer.
        image.EndMarker().Fill(kBlockSize, 0xEE);
        image.CutTo(image.bytes().size() - kBlockSize - kMarkerSize + length);
        EXPECT_EQ(Load(image), ReadError);
        EXPECT_EQ(m_store.Count(), blocksBefore);
        EXPECT_EQ(m_report.lastReadLength, length);
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, ConfigFileCutShort,
                         ::testing::Values(1, 2, 3, 5, 6, kPayloadSize, kBlockSize - 1));

TEST_F(ConfigFileTest, StoresEveryBlockByteForByteInFileOrder) {
    const std::uint8_t kSeeds[] = {7, 0, 200, 7, 13};
    FileImage image;
    image.Start();
    for (std::uint8_t seed : kSeeds) {
        image.Block(seed);
    }
    ASSERT_EQ(Load(image.EndMarker()), Success);
    ASSERT_EQ(m_store.Count(), sizeof(kSeeds));
    for (std::uint32_t i = 0; i < m_store.Count(); ++i) {
        DataBlock expected = FileImage::MakeBlock(kSeeds[i]);
        EXPECT_EQ(std::memcmp(m_store.At(i)->bytes, expected.bytes, kBlockSize), 0)
            << "block " << i + 1;
    }
}

TEST_F(ConfigFileTest, MissingFileIsNotFound) {
    std::remove(m_path.c_str());
    EXPECT_EQ(ReadConfigFile(m_path.c_str(), &m_store, &m_report), FileNotFound);
    EXPECT_EQ(m_report.stop, LoadStop::kOpen);
}

TEST_F(ConfigFileTest, ReportIsOptional) {
    Write(FileImage().Start().Block(1).EndMarker());
    EXPECT_EQ(ReadConfigFile(m_path.c_str(), &m_store), Success);
    EXPECT_EQ(m_store.Count(), 1u);
}

// Until the signature has been accepted, the store keeps what an earlier load put there.
TEST_F(ConfigFileTest, RefusalBeforeTheBlocksLeavesTheStoreAlone) {
    Preload();
    EXPECT_EQ(Load(FileImage().Header().CutTo(kHeaderSize / 2)), InvalidFile);
    EXPECT_EQ(Load(FileImage().Header().EndMarker().EndMarker()), InvalidFile);
    std::remove(m_path.c_str());
    EXPECT_EQ(ReadConfigFile(m_path.c_str(), &m_store, &m_report), FileNotFound);
    EXPECT_EQ(m_store.Count(), 2u);
    EXPECT_EQ(m_store.At(0), m_firstPreloaded);
}

TEST_F(ConfigFileTest, GoodSignatureClearsTheStore) {
    Preload();
    EXPECT_EQ(Load(FileImage().Start().EndMarker()), Success);
    EXPECT_EQ(m_store.Count(), 0u);

    Preload();
    EXPECT_EQ(Load(FileImage().Start().Block(9).BlockWithCheckWordOffByOne(9)), InvalidFile);
    ASSERT_EQ(m_store.Count(), 1u) << "only the block of this file that was read";
    DataBlock expected = FileImage::MakeBlock(9);
    EXPECT_EQ(std::memcmp(m_store.At(0)->bytes, expected.bytes, kBlockSize), 0);
}

}  // namespace
