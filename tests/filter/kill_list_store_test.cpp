#include "filter/kill_list_store.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/registry.h"
#include "platform/replacement_counter.h"
#include "support/files.h"

namespace {

class KillListStoreTest : public testing::Test {
  protected:
    void StoreRaw(const std::vector<std::pair<std::string, std::string>>& values) {
        ASSERT_TRUE(registry_.OpenKey(kKillListKey, true));
        for (const auto& [name, data] : values) registry_.WriteString(name, data);
        registry_.CloseKey();
    }
    std::vector<std::string> StoredNames() {
        std::vector<std::string> names;
        EXPECT_TRUE(registry_.OpenKey(kKillListKey, false));
        for (const char* name : {"0", "1", "2", "3", "4"}) {
            if (registry_.ValueExists(name)) names.push_back(name);
        }
        registry_.CloseKey();
        return names;
    }

    TempFolder folder_;
    TRegistry registry_{folder_ / "registry.reg"};
};

TEST_F(KillListStoreTest, NoKeyLoadsEmptyAndTheFirstSaveCreatesIt) {
    TStringList list = {"left over"};
    LoadKillList(registry_, list);
    EXPECT_TRUE(list.empty());
    SaveKillList(registry_, {});
    EXPECT_TRUE(registry_.KeyExists(kKillListKey));
    EXPECT_TRUE(StoredNames().empty());
}

// However long the list, a save replaces the file once: never a half-written list on disk.
TEST_F(KillListStoreTest, ASaveIsOneReplacementOfTheFile) {
    SaveKillList(registry_, {"old"});
    TStringList rules;
    for (int i = 0; i < 300; ++i) rules.push_back("Subject: = rule " + std::to_string(i));
    ReplacementCounter replacements(registry_.HivePath());
    SaveKillList(registry_, rules);
    EXPECT_EQ(replacements.Count(), 1);
    TStringList loaded;
    LoadKillList(registry_, loaded);
    EXPECT_EQ(loaded, rules);
}

// A hive that cannot be read: the ignored delete stays ignored; writing a rule fails by name.
TEST_F(KillListStoreTest, AnUnreadableHiveFailsOnlyAtTheFirstRule) {
    std::filesystem::create_directories(folder_ / "folder.reg");
    TRegistry unreadable(folder_ / "folder.reg");
    EXPECT_NO_THROW(SaveKillList(unreadable, {}));
    try {
        SaveKillList(unreadable, {"a rule"});
        FAIL();
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), "Failed to set data for '0'");
    }
}

TEST_F(KillListStoreTest, SaveTrimsSkipsBlanksAndKeepsOrderAndDuplicates) {
    SaveKillList(registry_, {"  From: = a  ", "", " \t", "Subject: = b", "From: = a"});
    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"0", "1", "2"}));
    TStringList list;
    LoadKillList(registry_, list);
    EXPECT_EQ(list, (TStringList{"From: = a", "Subject: = b", "From: = a"}));
}

TEST_F(KillListStoreTest, TheFirstMissingOrEmptyValueEndsTheList) {
    StoreRaw({{"0", "From: = a"}, {"1", "From: = b"}, {"3", "From: = d"}});
    TStringList list;
    LoadKillList(registry_, list);
    EXPECT_EQ(list, (TStringList{"From: = a", "From: = b"}));
    SaveKillList(registry_, list);
    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"0", "1"}));  // "3" is gone

    StoreRaw({{"1", ""}, {"2", "From: = c"}});
    LoadKillList(registry_, list);
    EXPECT_EQ(list, (TStringList{"From: = a"}));
}

TEST_F(KillListStoreTest, LoadKeepsStoredTextAndStopsAtAValueOfAnotherType) {
    StoreRaw({{"0", " untrimmed "}});
    ASSERT_TRUE(registry_.OpenKey(kKillListKey, false));
    registry_.WriteData("1", REG_EXPAND_SZ, std::string("To: = x\0", 8));
    registry_.WriteInteger("2", 7);
    registry_.CloseKey();
    TStringList list;
    try {
        LoadKillList(registry_, list);
        FAIL() << "a number loaded as a rule";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), "Invalid data type for '2'");
    }
    EXPECT_EQ(list, (TStringList{" untrimmed ", "To: = x"}));
    EXPECT_FALSE(registry_.ValueExists("0"));  // closed after the error
}

}  // namespace
