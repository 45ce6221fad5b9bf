#include "BenchFiles.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <map>

#include "config/ConfigFile.h"

namespace {

constexpr std::uint32_t kSeedStep = 2654435761u;  // spreads seeds over the byte values
constexpr unsigned kSeedShift = 24;

// Holds the files made so far and removes them, and their folder, when the process ends.
class FileFolder {
  public:
    FileFolder() {
        char pattern[] = "/tmp/telvorn-bench.XXXXXX";
        if (mkdtemp(pattern) != nullptr) {
            m_path = pattern;
        }
    }
    FileFolder(const FileFolder&) = delete;
    FileFolder& operator=(const FileFolder&) = delete;
    virtual ~FileFolder() {
        for (const auto& made : m_files) {
            unlink(made.second.c_str());
        }
        if (!m_path.empty()) {
            rmdir(m_path.c_str());
        }
    }

    const std::string& Path() const { return m_path; }
    // "" when no file of that many blocks was made yet.
    std::string Find(std::uint32_t blockCount) const {
        const auto made = m_files.find(blockCount);
        return made == m_files.end() ? std::string() : made->second;
    }
    void Remember(std::uint32_t blockCount, const std::string& path) { m_files[blockCount] = path; }

  private:
    std::string m_path;
    std::map<std::uint32_t, std::string> m_files;
};

bool WriteConfigFile(const std::string& path, std::uint32_t blockCount) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const std::uint8_t header[kHeaderSize] = {};
    bool written = std::fwrite(header, 1, kHeaderSize, file) == kHeaderSize &&
                   std::fwrite(kFileMagic, 1, kMarkerSize, file) == kMarkerSize;
    DataBlock block;
    for (std::uint32_t i = 0; written && i < blockCount; ++i) {
        FillValidBlock(&block, i);
        written = std::fwrite(block.bytes, 1, kBlockSize, file) == kBlockSize;
    }
    written = written && std::fwrite(kEndMarker, 1, kMarkerSize, file) == kMarkerSize;
    return std::fclose(file) == 0 && written;
}

}  // namespace

void FillValidBlock(DataBlock* block, std::uint32_t seed) {
    std::uint32_t state = seed * kSeedStep + 1;
    for (std::size_t i = 0; i < kPayloadSize; ++i) {
        state = state * kSeedStep + 1;
        block->bytes[i] = static_cast<std::uint8_t>(state >> kSeedShift);
    }
    StoreCheckWord(block, CheckWordFor(block->bytes));
}

std::string ConfigFileWithBlocks(std::uint32_t blockCount) {
    static FileFolder folder;
    const std::string known = folder.Find(blockCount);
    if (!known.empty() || folder.Path().empty()) {
        return known;
    }
    const std::string path = folder.Path() + "/blocks-" + std::to_string(blockCount) + ".bin";
    if (!WriteConfigFile(path, blockCount)) {
        unlink(path.c_str());
        return "";
    }
    folder.Remember(blockCount, path);
    return path;
}
