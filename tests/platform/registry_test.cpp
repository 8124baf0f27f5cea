#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>

#include "support/files.h"
#include "support/scoped_env.h"

namespace {

constexpr const char* kKey = "\\Software\\Quorvat\\Vornask";

class RegistryTest : public testing::Test {
  protected:
    std::string HiveText() const { return ReadFileBytes(hive_); }

    TempFolder folder_;
    std::string hive_ = folder_ / "config/vornask/registry.reg";
};

struct Stored {
    const char* name;
    uint32_t type;
    std::string bytes;
    const char* line;  // how the value reads in the file
};

TEST_F(RegistryTest, EveryValueFormRoundTripsAndReadsAsWritten) {
    using namespace std::string_literals;
    const std::vector<Stored> values = {
        {"Plain", REG_SZ, "C:\\dir \"x\" \xE9", "\"Plain\"=\"C:\\\\dir \\\"x\\\" \xE9\""},
        {"Empty", REG_SZ, "", "\"Empty\"=\"\""},
        {"Zero", REG_SZ, "ab\0"s, "\"Zero\"=hex(1):61,62,00"},
        {"Lines", REG_SZ, "a\r\nb", "\"Lines\"=hex(1):61,0d,0a,62"},
        {"Expand", REG_EXPAND_SZ, "%HOME%", "\"Expand\"=hex(2):25,48,4f,4d,45,25"},
        {"Number", REG_DWORD, "\x0a\0\0\0"s, "\"Number\"=dword:0000000a"},
        {"Minus", REG_DWORD, "\xff\xff\xff\xff", "\"Minus\"=dword:ffffffff"},
        {"Short", REG_DWORD, "\x01", "\"Short\"=hex(4):01"},
        {"Binary", REG_BINARY, "", "\"Binary\"=hex(3):"},
        {"Qword", 11, "\1\0\0\0\0\0\0\0"s, "\"Qword\"=hex(b):01,00,00,00,00,00,00,00"},
        {"", REG_SZ, "default", "@=\"default\""},
    };
    {
        TRegistry registry(hive_);
        ASSERT_TRUE(registry.OpenKey(kKey, true));
        for (const Stored& v : values) registry.WriteData(v.name, v.type, v.bytes);
    }
    const std::string text = HiveText();
    for (const Stored& v : values)
        EXPECT_NE(text.find(std::string("\n") + v.line + "\n"), text.npos) << v.line;

    TRegistry fresh(hive_);
    ASSERT_TRUE(fresh.OpenKey(kKey, false));
    for (const Stored& v : values) {
        uint32_t type = 0;
        std::string bytes;
        ASSERT_TRUE(fresh.ReadData(v.name, type, bytes)) << v.name;
        EXPECT_EQ(type, v.type) << v.name;
        EXPECT_EQ(bytes, v.bytes) << v.name;
    }
    EXPECT_EQ(fresh.ReadString("Zero"), "ab");
    EXPECT_EQ(fresh.ReadString("Expand"), "%HOME%");  // never expanded
    EXPECT_EQ(fresh.ReadInteger("Minus"), -1);
    EXPECT_EQ(fresh.ReadInteger("Short"), 1);
}

TEST_F(RegistryTest, WritesKeysAsATreeWithParentsAndKeepsFirstCase) {
    TRegistry registry(hive_);
    ASSERT_TRUE(registry.OpenKey("\\Software\\Quorvat\\Vornask\\Kill list", true));
    registry.WriteString("0", "From: = x");
    ASSERT_TRUE(registry.OpenKey("\\SOFTWARE\\quorvat\\other", true));
    registry.WriteInteger("n", 3);
    ASSERT_TRUE(registry.OpenKey("\\software\\QUORVAT\\VORNASK", false));
    registry.WriteString("User", "me");
    registry.WriteString("USER", "you");  // same value, first spelling kept
    EXPECT_EQ(HiveText(),
              "REGEDIT4\n"
              "\n[HKEY_CURRENT_USER\\Software\\Quorvat\\Vornask]\n"
              "\"User\"=\"you\"\n"
              "\n[HKEY_CURRENT_USER\\Software\\Quorvat\\Vornask\\Kill list]\n"
              "\"0\"=\"From: = x\"\n"
              "\n[HKEY_CURRENT_USER\\Software\\Quorvat\\other]\n"
              "\"n\"=dword:00000003\n");
}

TEST_F(RegistryTest, OpenWithoutCreateDeleteAndTheCurrentKey) {
    TRegistry registry(hive_);
    EXPECT_FALSE(registry.OpenKey(kKey, false));
    EXPECT_FALSE(std::filesystem::exists(hive_));  // reading never creates the file
    EXPECT_THROW(registry.WriteString("User", "x"), ERegistryException);  // no current key

    ASSERT_TRUE(registry.OpenKey(std::string(kKey) + "\\Kill list", true));
    ASSERT_TRUE(registry.OpenKey(kKey, false));
    ASSERT_TRUE(registry.OpenKey("Kill list", false));  // relative to the current key
    registry.WriteString("0", "rule");
    EXPECT_FALSE(registry.OpenKey("\\Software\\Missing", false));
    EXPECT_EQ(registry.ReadString("0"), "rule");  // a failed open keeps the current key

    EXPECT_TRUE(registry.DeleteKey("\\Software\\Quorvat"));
    EXPECT_FALSE(registry.DeleteKey("\\Software\\Quorvat"));
    EXPECT_FALSE(registry.KeyExists(kKey));
    EXPECT_TRUE(registry.KeyExists("\\Software"));
    EXPECT_EQ(registry.ReadString("0"), "");
    try {
        registry.WriteString("0", "again");
        FAIL() << "a deleted key took a value";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), "Failed to set data for '0'");
    }
    registry.CloseKey();
    EXPECT_FALSE(registry.ValueExists("0"));
}

TEST_F(RegistryTest, ListsAndMovesSubKeysWithEverythingBelow) {
    TRegistry registry(hive_);
    const std::string boxes = std::string(kKey) + "\\Mailboxes";
    EXPECT_TRUE(registry.SubKeyNames(boxes).empty());
    for (const char* path : {"\\3\\Deep", "\\2", "\\3"}) {
        ASSERT_TRUE(registry.OpenKey(boxes + path, true));
        registry.WriteString("User", path);
    }
    EXPECT_EQ(registry.SubKeyNames(boxes), (std::vector<std::string>{"3", "2"}));
    EXPECT_EQ(registry.SubKeyNames(kKey), std::vector<std::string>{"Mailboxes"});

    EXPECT_FALSE(registry.MoveKey(boxes + "\\3", boxes + "\\2"));  // the target exists
    EXPECT_FALSE(registry.MoveKey(boxes + "\\9", boxes + "\\4"));  // nothing to move
    ASSERT_TRUE(registry.DeleteKey(boxes + "\\2"));
    ASSERT_TRUE(registry.MoveKey(boxes + "\\3", boxes + "\\2"));
    EXPECT_EQ(registry.SubKeyNames(boxes), std::vector<std::string>{"2"});
    ASSERT_TRUE(registry.OpenKey(boxes + "\\2\\Deep", false));
    EXPECT_EQ(registry.ReadString("User"), "\\3\\Deep");
    EXPECT_EQ(HiveText(),
              "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Quorvat\\Vornask\\Mailboxes\\2]\n"
              "\"User\"=\"\\\\3\"\n\n[HKEY_CURRENT_"
              "USER\\Software\\Quorvat\\Vornask\\Mailboxes\\2\\Deep]\n"
              "\"User\"=\"\\\\3\\\\Deep\"\n");
}

TEST_F(RegistryTest, ReadsHandEditedFilesAndKeepsWhatItDoesNotKnow) {
    std::filesystem::create_directories(folder_ / "config/vornask");
    WriteFileBytes(hive_,
                   "REGEDIT4\r\n\r\n"
                   "; edited by hand\r\n"
                   "[HKEY_CURRENT_USER\\Software\\Quorvat\\Vornask]\r\n"
                   "\"Blob\"=hex:01,02,\\\r\n"
                   "  03\r\n"
                   "\"Path\"=\"C:\\dir\"\r\n"
                   "\"Extra\"=hex(7):61,00,00\r\n"
                   "\n[HKEY_CURRENT_USER\\Software\\Someone Else]\n"
                   "\"Keep\"=dword:00000001\n");
    TRegistry registry(hive_);
    EXPECT_TRUE(registry.KeyExists("\\Software\\Quorvat"));  // implied by the key below it
    ASSERT_TRUE(registry.OpenKey(kKey, false));
    uint32_t type = 0;
    std::string bytes;
    ASSERT_TRUE(registry.ReadData("blob", type, bytes));
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(bytes, "\x01\x02\x03");
    EXPECT_EQ(registry.ReadString("Path"), "C:\\dir");

    registry.WriteString("User", "me");
    EXPECT_EQ(HiveText(),
              "REGEDIT4\n"
              "\n[HKEY_CURRENT_USER\\Software\\Quorvat\\Vornask]\n"
              "\"Blob\"=hex(3):01,02,03\n"
              "\"Path\"=\"C:\\\\dir\"\n"
              "\"Extra\"=hex(7):61,00,00\n"
              "\"User\"=\"me\"\n"
              "\n[HKEY_CURRENT_USER\\Software\\Someone Else]\n"
              "\"Keep\"=dword:00000001\n");
}

TEST_F(RegistryTest, SeesChangesMadeByAnotherAccessorOrAnEditor) {
    TRegistry first(hive_);
    TRegistry second(hive_);
    ASSERT_TRUE(first.OpenKey(kKey, true));
    ASSERT_TRUE(second.OpenKey(kKey, false));
    first.WriteString("A", "1");
    second.WriteString("B", "2");
    first.WriteString("C", "3");
    EXPECT_EQ(second.ReadString("C"), "3");
    EXPECT_EQ(first.ReadString("B"), "2");

    std::string text = HiveText();
    text.replace(text.find("\"3\""), 3, "\"edited\"");
    WriteFileBytes(hive_, text);
    EXPECT_EQ(first.ReadString("C"), "edited");
}

TEST_F(RegistryTest, ConcurrentWritersInTwoProcessesLoseNothing) {
    {
        TRegistry registry(hive_);
        ASSERT_TRUE(registry.OpenKey(kKey, true));
    }
    constexpr int kPerProcess = 40;
    std::vector<pid_t> children;
    for (int p = 0; p < 2; ++p) {
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int status = 0;
            try {
                TRegistry registry(hive_);
                if (!registry.OpenKey(kKey, false)) ::_exit(2);
                for (int i = 0; i < kPerProcess; ++i) {
                    registry.WriteInteger("p" + std::to_string(p) + "-" + std::to_string(i), i);
                }
            } catch (...) {
                status = 1;
            }
            ::_exit(status);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    TRegistry registry(hive_);
    ASSERT_TRUE(registry.OpenKey(kKey, false));
    for (int p = 0; p < 2; ++p) {
        for (int i = 0; i < kPerProcess; ++i) {
            EXPECT_EQ(registry.ReadInteger("p" + std::to_string(p) + "-" + std::to_string(i)), i);
        }
    }
    // The locking leaves nothing behind in the user's folder.
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder_ / "config/vornask"))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"registry.reg"});
}

TEST_F(RegistryTest, ADamagedFileIsKeptAsideAndReportedOnce) {
    std::filesystem::create_directories(folder_ / "config/vornask");
    const std::string damaged =
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n\"Half\"=dword:12\xff\n";
    WriteFileBytes(hive_, damaged);
    TRegistry registry(hive_);
    std::string message;
    try {
        registry.OpenKey(kKey, false);
    } catch (const ERegistryException& e) {
        message = e.Message();
    }
    std::vector<std::filesystem::path> kept;
    for (const auto& entry : std::filesystem::directory_iterator(folder_ / "config/vornask")) {
        if (entry.path().filename().string().starts_with("registry.reg.damaged-"))
            kept.push_back(entry.path());
    }
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(ReadFileBytes(kept[0]), damaged);
    EXPECT_NE(message.find(kept[0].string()), std::string::npos) << message;
    EXPECT_NE(message.find("line 4"), std::string::npos) << message;

    // From then on the hive starts empty and works.
    EXPECT_FALSE(registry.OpenKey(kKey, false));
    ASSERT_TRUE(registry.OpenKey(kKey, true));
    registry.WriteString("User", "me");
    EXPECT_EQ(TRegistry(hive_).KeyExists(kKey), true);
}

// A path no program writes, deep enough to exhaust the stack of a recursive reader.
TEST_F(RegistryTest, AKeyPathTooDeepIsDamageMovedAside) {
    std::filesystem::create_directories(folder_ / "config/vornask");
    std::string path = "HKEY_CURRENT_USER";
    for (int i = 0; i < 200000; ++i) path += "\\k";
    WriteFileBytes(hive_, "REGEDIT4\n\n[" + path + "]\n");
    TRegistry registry(hive_);
    try {
        registry.OpenKey(kKey, false);
        FAIL() << "a 200000 levels deep key was read";
    } catch (const ERegistryException& e) {
        EXPECT_NE(e.Message().find("line 3: a key path is more than 512 levels deep"),
                  std::string::npos)
            << e.Message().substr(0, 300);
    }
    EXPECT_FALSE(std::filesystem::exists(hive_));
    EXPECT_FALSE(registry.OpenKey(kKey, false));
}

TEST_F(RegistryTest, AHiveThatCannotBeReachedFailsWithoutHarm) {
    WriteFileBytes(folder_ / "config", "a file where the folder should be");
    TRegistry blocked(hive_);
    EXPECT_FALSE(blocked.OpenKey(kKey, true));
    try {
        blocked.WriteString("SMTP host", "x");
        FAIL() << "a write without a key succeeded";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), "Failed to set data for 'SMTP host'");
    }
    EXPECT_EQ(ReadFileBytes(folder_ / "config"), "a file where the folder should be");

    std::filesystem::create_directories(folder_ / "hive-is-a-folder");
    TRegistry folderHive(folder_ / "hive-is-a-folder");
    EXPECT_THROW(folderHive.OpenKey(kKey, false), ERegistryException);
    // Where a failure is ignored (a delete, an open whose writes report it), it does not raise.
    EXPECT_FALSE(folderHive.DeleteKey(kKey));
    EXPECT_FALSE(folderHive.OpenKey(kKey, true));
    EXPECT_TRUE(std::filesystem::is_directory(folder_ / "hive-is-a-folder"));
}

TEST(RegistryPath, FollowsXdgConfigHome) {
    {
        ScopedEnv config("XDG_CONFIG_HOME", "/somewhere/config");
        EXPECT_EQ(TRegistry::DefaultHivePath(), "/somewhere/config/vornask/registry.reg");
    }
    ScopedEnv config("XDG_CONFIG_HOME", "relative");
    ScopedEnv home("HOME", "/home/u");
    EXPECT_EQ(TRegistry::DefaultHivePath(), "/home/u/.config/vornask/registry.reg");
}

}  // namespace

// Sibling keys renamed in one step, with what lies below them; a rename that cannot be done
// whole changes nothing.
TEST_F(RegistryTest, RenamesSiblingsAllAtOnceOrNotAtAll) {
    const std::string boxes = std::string(kKey) + "\\Mailboxes";
    using Renames = std::vector<std::pair<std::string, std::string>>;
    const struct {
        Renames renames;
        const char* after;  // the sub-keys by their "User" values, or "" when refused
    } cases[] = {
        {{{"3", "2"}, {"2", "3"}}, "2=3 2\\Deep=3d 3=2 4=4 moving 2=x"},  // a swap
        {{{"3", "4"}, {"4", "5"}}, "2=2 4=3 4\\Deep=3d 5=4 moving 2=x"},
        {{{"2", "MOVING 2"}}, ""},       // taken by a key that stays
        {{{"9", "7"}}, ""},              // nothing to rename
        {{{"2", "7"}, {"2", "8"}}, ""},  // named twice
        {{{"2", "7"}, {"3", "7"}}, ""},  // two into one
        {{{"2", "7\\8"}}, ""},           // not a single name
    };
    for (const auto& c : cases) {
        std::filesystem::remove(hive_);
        TRegistry registry(hive_);
        for (const char* key : {"2=2", "3=3", "3\\Deep=3d", "4=4", "moving 2=x"}) {
            const std::string text = key;
            ASSERT_TRUE(registry.OpenKey(boxes + "\\" + text.substr(0, text.find('=')), true));
            registry.WriteString("User", text.substr(text.find('=') + 1));
        }
        const std::string before = HiveText();
        EXPECT_EQ(registry.RenameSubKeys(boxes, c.renames), *c.after != '\0');
        if (!*c.after) {
            EXPECT_EQ(HiveText(), before);
            continue;
        }
        std::string listed;
        for (const std::string name : {"2", "2\\Deep", "3", "4", "4\\Deep", "5", "moving 2"}) {
            if (!registry.OpenKey(boxes + "\\" + name, false)) continue;
            listed += (listed.empty() ? "" : " ") + name + "=" + registry.ReadString("User");
        }
        EXPECT_EQ(listed, c.after);
        // Index and file agree after the rename: a fresh read finds the same keys.
        TRegistry fresh(hive_);
        EXPECT_EQ(fresh.SubKeyNames(boxes), registry.SubKeyNames(boxes));
    }
}
