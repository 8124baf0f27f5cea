#include "base/durable_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/files.h"

namespace fs = std::filesystem;

namespace {

class DurableFileTest : public ::testing::Test {
  protected:
    ~DurableFileTest() override { ::close(fd_); }
    std::string Bytes(const std::string& name) const { return ReadFileBytes(folder_ / name); }
    size_t Entries() const { return std::distance(fs::directory_iterator(folder_.Path()), {}); }
    mode_t Mode(const std::string& name) const {
        struct stat st {};
        ::lstat((folder_ / name).c_str(), &st);
        return st.st_mode & 07777;
    }

    TempFolder folder_;
    int fd_ = ::open(folder_.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
};

// A new file is private; a replaced one keeps its bits; nothing is left beside it.
TEST_F(DurableFileTest, ReplacesWholeKeepingTheOldFilesPermissions) {
    const std::string bytes("one\0two\n", 8);
    ASSERT_GE(fd_, 0);
    ASSERT_TRUE(ReplaceFileDurably(fd_, "file", bytes));
    EXPECT_EQ(Bytes("file"), bytes);
    EXPECT_EQ(Mode("file"), 0600u);
    ::chmod((folder_ / "file").c_str(), 0640);
    ASSERT_TRUE(ReplaceFileDurably(fd_, "file", "three\n"));
    EXPECT_EQ(Bytes("file"), "three\n");
    EXPECT_EQ(Mode("file"), 0640u);
    EXPECT_EQ(Entries(), 1u);
}

// A link in the file's place is itself replaced: what it points to is never written.
TEST_F(DurableFileTest, ReplacesALinkInsteadOfWritingThroughIt) {
    WriteFileBytes(folder_ / "target", "theirs");
    fs::create_symlink(folder_ / "target", folder_ / "file");
    ASSERT_TRUE(ReplaceFileDurably(fd_, "file", "ours"));
    EXPECT_FALSE(fs::is_symlink(folder_ / "file"));
    EXPECT_EQ(Bytes("file"), "ours");
    EXPECT_EQ(Bytes("target"), "theirs");
    EXPECT_EQ(Mode("file"), 0600u);
}

// A rename that cannot happen (a folder in the file's place) leaves everything as it was.
TEST_F(DurableFileTest, AFailedReplacementLeavesNoNewFile) {
    fs::create_directory(folder_ / "file");
    errno = 0;
    EXPECT_FALSE(ReplaceFileDurably(fd_, "file", "bytes"));
    EXPECT_NE(errno, 0);
    EXPECT_TRUE(fs::is_directory(folder_ / "file"));
    EXPECT_EQ(Entries(), 1u);
}

}  // namespace
