// Where the record of examined messages may be read and written: never through a planted
// link, and only in a folder of the user's own that nobody else may write.
#include "filter/examined_record.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/files.h"

namespace {

namespace fs = std::filesystem;

class ExaminedRecordTest : public testing::Test {
  protected:
    const std::string key_ = ExaminedRecord::KillListKey({"From: = spam@"});
    const std::set<std::string> ids_{"u1", "u2"};
    TempFolder folder_;
};

// Links planted at the record's path and at the name its temporary file once had: the record
// is neither read through them nor written into their targets.
TEST_F(ExaminedRecordTest, APlantedLinkIsNeverFollowed) {
    const std::string record = folder_ / "cache/examined-1";
    const std::string elsewhere = folder_ / "elsewhere";
    ASSERT_TRUE(ExaminedRecord::Save(elsewhere, key_, ids_));
    const std::string valid = ReadFileBytes(elsewhere);
    const std::string victim = folder_ / "victim";
    WriteFileBytes(victim, "precious");
    fs::create_directories(folder_ / "cache");
    fs::create_symlink(elsewhere, record);
    fs::create_symlink(victim, record + ".new");

    EXPECT_TRUE(ExaminedRecord::Load(record, key_).empty());
    fs::remove(record);
    fs::create_symlink(victim, record);
    EXPECT_TRUE(ExaminedRecord::Save(record, key_, ids_));
    EXPECT_EQ(ReadFileBytes(victim), "precious");
    EXPECT_EQ(ReadFileBytes(elsewhere), valid);
    EXPECT_FALSE(fs::is_symlink(record));
    EXPECT_EQ(ExaminedRecord::Load(record, key_), ids_);
    // Nothing is left beside it but the planted link, untouched.
    EXPECT_EQ(fs::read_symlink(record + ".new"), victim);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_ / "cache"), {}), 2);
}

// A folder that others may write, that is not the user's, or that is a link is not used: no
// record is read from it or written to it.
TEST_F(ExaminedRecordTest, AFolderOthersMayChangeIsNotUsed) {
    ASSERT_TRUE(ExaminedRecord::Save(folder_ / "own/examined-1", key_, ids_));
    const std::string valid = ReadFileBytes(folder_ / "own/examined-1");
    const std::function<void(const std::string&)> spoil[] = {
        [](const std::string& dir) { ::chmod(dir.c_str(), 0770); },
        [](const std::string& dir) { ::chmod(dir.c_str(), 01777); },
        [](const std::string& dir) {
            // Another owner needs root; without it the group may write instead.
            if (::geteuid() != 0 || ::chown(dir.c_str(), 65534, 65534) != 0)
                ::chmod(dir.c_str(), 0730);
        },
        [this](const std::string& dir) {
            fs::rename(dir, folder_ / "real");
            fs::create_symlink(folder_ / "real", dir);
        },
    };
    for (size_t i = 0; i < std::size(spoil); ++i) {
        SCOPED_TRACE(i);
        const std::string dir = folder_ / ("shared" + std::to_string(i));
        fs::create_directory(dir);
        WriteFileBytes(dir + "/examined-1", valid);
        spoil[i](dir);

        EXPECT_TRUE(ExaminedRecord::Load(dir + "/examined-1", key_).empty());
        EXPECT_FALSE(ExaminedRecord::Save(dir + "/examined-2", key_, ids_));
        EXPECT_FALSE(fs::exists(dir + "/examined-2"));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);
    }
}

// A record made before the options existed stays valid with both off; turning either on makes
// a key of its own, so that every message is examined again.
TEST(ExaminedRecordKey, FollowsTheMatchOptionsAndKeepsTheClassicKey) {
    const TStringList rules = {"From: = spam@"};
    EXPECT_EQ(ExaminedRecord::KillListKey(rules, {}),
              "d1950d5aac8e7546ece3bbc24797cb4a78a225d4a3f1ebac58d331d25af51e7d");
    const std::set<std::string> keys = {ExaminedRecord::KillListKey(rules, {}),
                                        ExaminedRecord::KillListKey(rules, {true, false}),
                                        ExaminedRecord::KillListKey(rules, {false, true}),
                                        ExaminedRecord::KillListKey(rules, {true, true})};
    EXPECT_EQ(keys.size(), 4u);
}

}  // namespace
