// Temporary-file storage: names, mappings, block copies, and that no file is
// left behind, not even by a process killed outright.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

#include "imaging/core/ie_bitmap.h"
#include "tool_support.h"

namespace fs = std::filesystem;
using imaging_test::FixtureFolder;

namespace {

// The files a process holds open in folder, by the names they were opened
// with (the system marks removed names " (deleted)").
std::vector<std::string> OpenFilesIn(pid_t pid, const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
        std::error_code error;
        fs::path target = fs::read_symlink(entry.path(), error);
        if (!error && target.string().rfind(folder.string(), 0) == 0) names.push_back(target.string());
    }
    return names;
}

// folder + "/" + prefix + "-" + eight upper-case hexadecimal digits + ".tmp" + suffix.
bool HasNameForm(const std::string& name, const std::string& folder, const std::string& prefix,
                 const std::string& suffix = "") {
    std::string head = folder + "/" + prefix + "-";
    if (name.size() != head.size() + 8 + 4 + suffix.size() || name.rfind(head, 0) != 0) return false;
    for (size_t i = head.size(); i < head.size() + 8; ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i])) && !(name[i] >= 'A' && name[i] <= 'F')) return false;
    return name.compare(head.size() + 8, std::string::npos, ".tmp" + suffix) == 0;
}

bool FolderEmpty(const fs::path& folder) { return fs::is_empty(folder); }

class TempFolder {
public:
    explicit TempFolder(const std::string& name) : folder_(FixtureFolder(name)), saved_(IETempFolder) {
        IETempFolder = folder_.string() + "/";
    }
    ~TempFolder() { IETempFolder = saved_; }
    const fs::path& Path() const { return folder_; }

private:
    fs::path folder_;
    std::string saved_;
};

}  // namespace

TEST(TemporaryFiles, AnImageFileHasItsNameFormAndIsGoneWithTheImage) {
    TempFolder temp("tempfiles");
    {
        TIEBitmap bitmap;
        bitmap.MemoryThreshold = 1000;
        ASSERT_TRUE(bitmap.Allocate(100, 100, ie24RGB));
        ASSERT_EQ(bitmap.GetLocation(), ieFile);
        auto open = OpenFilesIn(getpid(), temp.Path());
        ASSERT_EQ(open.size(), 1u);
        EXPECT_TRUE(HasNameForm(open[0], temp.Path().string(), "IMG", " (deleted)")) << open[0];
        // The name is removed from the folder at once; the data stays with the handle.
        EXPECT_TRUE(FolderEmpty(temp.Path()));
        EXPECT_EQ(bitmap.FileBuffer().FileName(), open[0].substr(0, open[0].size() - 10));
        bitmap.FreeImage(true);
        EXPECT_TRUE(OpenFilesIn(getpid(), temp.Path()).empty());
        ASSERT_TRUE(bitmap.Allocate(100, 100, ie24RGB));
        EXPECT_EQ(OpenFilesIn(getpid(), temp.Path()).size(), 1u);
    }
    EXPECT_TRUE(OpenFilesIn(getpid(), temp.Path()).empty());
    EXPECT_TRUE(FolderEmpty(temp.Path()));
}

TEST(TemporaryFiles, NothingIsLeftByAProcessKilledWithSigkill) {
    TempFolder temp("tempfiles-kill");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ready[0]);
        TIEBitmap bitmap;
        bitmap.MemoryThreshold = 0;
        bool ok = bitmap.Allocate(300, 300, ie24RGB) && bitmap.GetLocation() == ieFile;
        std::memset(bitmap.GetScanline(5), 1, 900);
        char byte = ok ? 'y' : 'n';
        if (write(ready[1], &byte, 1) != 1) _exit(2);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    EXPECT_EQ(byte, 'y');
    EXPECT_EQ(OpenFilesIn(child, temp.Path()).size(), 1u);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(FolderEmpty(temp.Path()));
}

TEST(TemporaryFiles, MappingsReadAndWriteByTheirAccess) {
    TempFolder temp("tempfiles-map");
    TIEFileBuffer buffer;
    ASSERT_TRUE(buffer.AllocateFile("T", 64));
    uint8_t* write = buffer.Map(TIEFileBuffer::kWrite, 8, 4);
    std::memcpy(write, "abcd", 4);
    buffer.Unmap(write);
    uint8_t* read = buffer.Map(TIEFileBuffer::kRead, 8, 4);
    EXPECT_EQ(std::memcmp(read, "abcd", 4), 0);
    read[0] = 'X';  // a read-only mapping is never written back
    buffer.Unmap(read);
    uint8_t* again = buffer.Map(TIEFileBuffer::kRead, 8, 4);
    EXPECT_EQ(again[0], 'a');
    EXPECT_EQ(buffer.IndexOfMapping(again), 0);
    EXPECT_EQ(buffer.IndexOfMapping(write), -1);
    EXPECT_THROW(buffer.Unmap(write), Exception);
    buffer.UnmapAll();
    EXPECT_EQ(buffer.MappingCount(), 0);

    // Overlapping write mappings: the one taken first is written last.
    uint8_t* first = buffer.Map(TIEFileBuffer::kWrite, 0, 2);
    uint8_t* second = buffer.Map(TIEFileBuffer::kWrite, 1, 2);
    std::memcpy(first, "11", 2);
    std::memcpy(second, "22", 2);
    buffer.UnmapAll();
    uint8_t* check = buffer.Map(TIEFileBuffer::kRead, 0, 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(check), 3), "112");
    buffer.Close();
    EXPECT_FALSE(buffer.IsAllocated());
}

TEST(TemporaryFiles, CopyToMovesBlocksOfAMegabyte) {
    TempFolder temp("tempfiles-copy");
    const int64_t size = 2500000;
    TIEFileBuffer source, target;
    ASSERT_TRUE(source.AllocateFile("S", size));
    ASSERT_TRUE(target.AllocateFile("D", size));
    uint8_t* data = source.Map(TIEFileBuffer::kWrite, 0, size);
    for (int64_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 1000);
    source.CopyTo(target, 0, 0);  // nothing
    uint8_t* empty = target.Map(TIEFileBuffer::kRead, 0, size);
    EXPECT_EQ(std::count(empty, empty + size, 0), size);
    target.UnmapAll();
    source.CopyTo(target, 0, size);  // releases the mapping first, so it is written
    uint8_t* copied = target.Map(TIEFileBuffer::kRead, 0, size);
    uint8_t* original = source.Map(TIEFileBuffer::kRead, 0, size);
    EXPECT_EQ(std::memcmp(copied, original, static_cast<size_t>(size)), 0);
}

TEST(TemporaryFiles, NamesAndFolders) {
    auto folder = FixtureFolder("tempfiles-names");
    std::string name = IEGetTempFileName("IMG", folder.string() + "/");
    EXPECT_TRUE(HasNameForm(name, folder.string(), "IMG")) << name;
    EXPECT_FALSE(fs::exists(name));
    // A folder setting without a trailing separator puts the names beside it.
    std::string beside = IEGetTempFileName("P", folder.string());
    EXPECT_EQ(beside.rfind(folder.string() + "P-", 0), 0u);
    EXPECT_GT(IEGetTotalPhysicalMemory(), 0);

    // A folder that cannot take files sends the image to memory.
    std::string saved = IETempFolder;
    IETempFolder = (folder / "missing").string() + "/";
    TIEBitmap bitmap;
    bitmap.MemoryThreshold = 0;
    EXPECT_TRUE(bitmap.Allocate(10, 10, ie8g));
    EXPECT_EQ(bitmap.GetLocation(), ieMemory);
    IETempFolder = saved;
    EXPECT_THROW(TIETemporaryFileStream((folder / "missing" / "x.tmp").string()), EInOutError);
}
