#include "shell/settings.h"

#include <gtest/gtest.h>
#include <filesystem>

#include "platform/registry.h"
#include "platform/registry_fixture.h"
#include "platform/replacement_counter.h"

namespace {

class SettingsTest : public testing::Test {
  protected:
    std::string LoadError(TSettings& settings) {
        try {
            LoadSettings(registry_, settings);
        } catch (const ERegistryException& e) {
            return e.Message();
        }
        return "";
    }
    void Store(const std::string& name, uint32_t type, const std::string& bytes) {
        ASSERT_TRUE(registry_.OpenKey(kSettingsKey, true));
        registry_.WriteData(name, type, bytes);
        registry_.CloseKey();
    }

    TempFolder folder_;
    std::string hive_ = folder_ / "registry.reg";
    TRegistry registry_{hive_};
};

TSettings Sample() {
    TSettings s;
    s.Connection.Host = "pop.example.org";
    s.User = "me";
    s.MailProgram = "\"/usr/bin/mail reader\"";
    s.LogFile = "";
    s.Interval = 10;
    s.WavSound = "/usr/share/sounds/new.wav";
    s.ShowMessage = true;
    return s;
}

TEST_F(SettingsTest, FirstStartLoadsNothingAndWritesNothing) {
    TSettings settings;
    LoadSettings(registry_, settings);
    EXPECT_EQ(settings.Connection.Host, "");
    EXPECT_EQ(settings.Interval, 0);
    EXPECT_FALSE(settings.ShowMessage);
    EXPECT_FALSE(std::filesystem::exists(hive_));
}

TEST_F(SettingsTest, SaveWritesAllSevenValuesLogFileLast) {
    SaveSettings(registry_, Sample());
    EXPECT_EQ(ReadFileBytes(hive_),
              "REGEDIT4\n"
              "\n[HKEY_CURRENT_USER\\Software\\Quorvat\\Vornask]\n"
              "\"SMTP host\"=\"pop.example.org\"\n"
              "\"User\"=\"me\"\n"
              "\"Mail Program\"=\"\\\"/usr/bin/mail reader\\\"\"\n"
              "\"Interval\"=dword:0000000a\n"
              "\"WavSound\"=\"/usr/share/sounds/new.wav\"\n"
              "\"ShowMessage\"=dword:00000001\n"
              "\"Log File\"=\"\"\n");
    TSettings loaded;
    LoadSettings(registry_, loaded);
    EXPECT_EQ(loaded.MailProgram, Sample().MailProgram);  // quotes kept
    EXPECT_EQ(loaded.Interval, 10);
    EXPECT_TRUE(loaded.ShowMessage);
    EXPECT_FALSE(registry_.ValueExists("User"));  // the key was closed
}

TEST_F(SettingsTest, ForeignEncodingsReadAsTheSettingsMean) {
    SaveSettings(registry_, Sample());
    Store("User", REG_SZ, std::string("you\0", 4));
    Store("ShowMessage", REG_DWORD, std::string("\x05\0\0\0", 4));
    Store("WavSound", REG_EXPAND_SZ, "$HOME/a.wav");
    TSettings settings;
    LoadSettings(registry_, settings);
    EXPECT_EQ(settings.User, "you");
    EXPECT_TRUE(settings.ShowMessage);
    EXPECT_EQ(settings.WavSound, "$HOME/a.wav");
    SaveSettings(registry_, settings);
    EXPECT_NE(ReadFileBytes(hive_).find("\"ShowMessage\"=dword:00000001\n"), std::string::npos);
}

TEST_F(SettingsTest, LoadStopsAtAMissingIntervalKeepingWhatCameBefore) {
    ASSERT_TRUE(registry_.OpenKey("\\Software\\Quorvat\\Vornask\\Kill list", true));
    registry_.CloseKey();
    TSettings settings = Sample();
    EXPECT_EQ(LoadError(settings), "Failed to get data for 'Interval'");
    EXPECT_EQ(settings.Connection.Host, "");
    EXPECT_EQ(settings.MailProgram, "");
    EXPECT_EQ(settings.Interval, 10);
    EXPECT_EQ(settings.WavSound, Sample().WavSound);
    EXPECT_TRUE(settings.ShowMessage);
    EXPECT_FALSE(registry_.ValueExists("User"));
}

TEST_F(SettingsTest, WrongTypesNameTheValue) {
    struct Case {
        const char* name;
        uint32_t type;
        std::string bytes;
        const char* message;
    };
    const Case cases[] = {
        {"Interval", REG_SZ, "10", "Invalid data type for 'Interval'"},
        {"Interval", REG_SZ, "12345", "Failed to get data for 'Interval'"},
        {"Interval", REG_DWORD, std::string("\0\0\0\0\0", 5), "Failed to get data for 'Interval'"},
        {"User", REG_DWORD, std::string("\1\0\0\0", 4), "Invalid data type for 'User'"},
        {"ShowMessage", REG_BINARY, "\1", "Invalid data type for 'ShowMessage'"},
    };
    for (const Case& c : cases) {
        SaveSettings(registry_, Sample());
        Store(c.name, c.type, c.bytes);
        TSettings settings;
        EXPECT_EQ(LoadError(settings), c.message) << c.name;
    }
}

TEST_F(SettingsTest, ASaveThatCannotReachTheHiveFailsAtTheFirstValue) {
    WriteFileBytes(folder_ / "blocked", "");
    std::filesystem::create_directories(folder_ / "folder.reg");
    for (const std::string& path : {folder_ / "blocked/registry.reg", folder_ / "folder.reg"}) {
        TRegistry blocked(path);
        try {
            SaveSettings(blocked, Sample());
            FAIL() << "the save reported success";
        } catch (const ERegistryException& e) {
            EXPECT_EQ(e.Message(), "Failed to set data for 'SMTP host'") << path;
        }
    }
}

TEST_F(SettingsTest, ASaveIsOneReplacementOfTheFile) {
    SaveSettings(registry_, TSettings{});
    ReplacementCounter replacements(hive_);
    SaveSettings(registry_, Sample());
    EXPECT_EQ(replacements.Count(), 1);
}

// A load that stopped at "Interval" never read "WavSound" and "ShowMessage": the save keeps
// them unless the user changed the field since; the value that failed is repaired.
TEST_F(SettingsTest, ASaveKeepsStoredValuesTheLoadNeverReached) {
    for (bool changed : {false, true}) {
        SaveSettings(registry_, Sample());
        Store("Interval", REG_SZ, "10");
        TSettings settings;
        TSettingsLoad load;
        EXPECT_THROW(LoadSettings(registry_, settings, load), ERegistryException);
        if (changed) settings.WavSound = "/other.wav";
        SaveSettings(registry_, settings, load);
        TSettings reloaded;
        LoadSettings(registry_, reloaded);
        EXPECT_EQ(reloaded.WavSound, changed ? "/other.wav" : Sample().WavSound);
        EXPECT_TRUE(reloaded.ShowMessage);
        EXPECT_EQ(reloaded.Interval, 0) << "rewritten with the value in use";
        EXPECT_EQ(reloaded.Connection.Host, Sample().Connection.Host);
    }
}

// Nothing stored to keep (a key holding only the kill list, or a damaged file moved aside):
// the save writes every value, so the next start loads without an error.
TEST_F(SettingsTest, ASaveAfterAStoppedLoadWritesTheValuesNothingStores) {
    ASSERT_TRUE(registry_.OpenKey("\\Software\\Quorvat\\Vornask\\Kill list", true));
    registry_.CloseKey();
    TSettings settings;
    TSettingsLoad load;
    EXPECT_THROW(LoadSettings(registry_, settings, load), ERegistryException);
    SaveSettings(registry_, settings, load);
    TSettings reloaded;
    EXPECT_EQ(LoadError(reloaded), "");
}

// A hive that could not be read at the start holds values the load never saw: the save leaves
// the chosen encryption alone as it does the classic values, or the next check would send the
// password in clear.
TEST_F(SettingsTest, ASaveAfterAnUnreadableStartKeepsTheConnectionValues) {
    std::filesystem::create_directories(hive_);  // a folder in the file's place
    TSettings settings;
    TSettingsLoad load;
    EXPECT_THROW(LoadSettings(registry_, settings, load), ERegistryException);
    std::filesystem::remove(hive_);
    TSettings stored = Sample();
    stored.Connection.Encryption = TEncryption::TlsOnConnect;
    stored.Connection.Port = 1995;
    SaveSettings(registry_, stored);
    SaveSettings(registry_, settings, load);
    TSettings reloaded;
    LoadSettings(registry_, reloaded);
    EXPECT_EQ(reloaded.Connection.Encryption, TEncryption::TlsOnConnect);
    EXPECT_EQ(reloaded.Connection.Port, 1995);
    EXPECT_EQ(reloaded.Connection.Host, Sample().Connection.Host);
}

const char* const kPin =
    "AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:"
    "89";

// Only what differs from its default reaches the file; going back to the defaults gives the
// classic file again, byte for byte.
TEST_F(SettingsTest, ConnectionValuesAreStoredOnlyWhenNotDefault) {
    SaveSettings(registry_, Sample());
    const std::string classic = ReadFileBytes(hive_);
    TSettings secure = Sample();
    secure.Connection.Encryption = TEncryption::TlsOnConnect;
    secure.Connection.Port = 995;
    SaveSettings(registry_, secure);
    EXPECT_EQ(ReadFileBytes(hive_), classic + "\"Encryption\"=dword:00000002\n");
    secure.Connection.Port = 1995;
    secure.Connection.TrustedCertificate = kPin;
    SaveSettings(registry_, secure);
    TSettings loaded;
    LoadSettings(registry_, loaded);
    EXPECT_EQ(loaded.Connection.Encryption, TEncryption::TlsOnConnect);
    EXPECT_EQ(loaded.Connection.Port, 1995);
    EXPECT_EQ(loaded.Connection.TrustedCertificate, kPin);
    SaveSettings(registry_, Sample());
    EXPECT_EQ(ReadFileBytes(hive_), classic);
}

// Odd values read as their defaults, except the safeguards: a stored encryption must be chosen
// again rather than quietly become plain text, and a pin that is no fingerprint stays one that
// a check refuses rather than leave the choice to the system's trust store.
TEST_F(SettingsTest, OddConnectionValuesReadAsTheirDefaults) {
    struct Case {
        const char* name;
        uint32_t type;
        std::string bytes;
        std::optional<TEncryption> encryption;
        int32_t port;
        const char* pin;
    };
    const Case cases[] = {
        {"Encryption", REG_SZ, "2", kEncryptionUnreadable, 110, ""},
        {"Encryption", REG_DWORD, std::string("\3\0\0\0", 4), kEncryptionUnreadable, 110, ""},
        {"Encryption", REG_DWORD, std::string("\1\0\0", 3), kEncryptionUnreadable, 110, ""},
        {"Encryption", REG_DWORD, std::string("\2\0\0\0", 4), TEncryption::TlsOnConnect, 995, ""},
        {"Port", REG_DWORD, std::string("\0\0\0\0", 4), TEncryption::None, 110, ""},
        {"Port", REG_DWORD, std::string("\x70\x11\1\0", 4), TEncryption::None, 110, ""},  // 70000
        {"Port", REG_DWORD, std::string("\xe3\7\0", 3), TEncryption::None, 110, ""},
        {"Port", REG_DWORD, std::string("\xe3\7\0\0", 4), TEncryption::None, 2019, ""},
        {"Trusted certificate", REG_DWORD, std::string("\1\0\0\0", 4), TEncryption::None, 110,
         kUnreadablePin},
        {"Trusted certificate", REG_SZ, "not a fingerprint", TEncryption::None, 110,
         "not a fingerprint"},
        {"Trusted certificate", REG_SZ,
         "abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789", TEncryption::None, 110,
         kPin},
    };
    for (const Case& c : cases) {
        SaveSettings(registry_, Sample());
        Store(c.name, c.type, c.bytes);
        TSettings settings;
        EXPECT_EQ(LoadError(settings), "") << c.name;
        EXPECT_EQ(settings.Connection.Encryption, c.encryption) << c.name;
        EXPECT_EQ(settings.Connection.Port, c.port) << c.name;
        EXPECT_EQ(settings.Connection.TrustedCertificate, c.pin) << c.name;
    }
}

// An encryption or pin that could not be read stays stored through a load and save until the
// user chooses again; the port that came with it stays too.
TEST_F(SettingsTest, UnreadableEncryptionIsKeptUntilChosen) {
    TSettings newer = Sample();
    newer.Connection.Port = 995;
    SaveSettings(registry_, newer);
    Store("Encryption", REG_DWORD, std::string("\3\0\0\0", 4));
    Store("Trusted certificate", REG_DWORD, std::string("\1\0\0\0", 4));
    const std::string stored = ReadFileBytes(hive_);
    TSettings settings;
    TSettingsLoad load;
    LoadSettings(registry_, settings, load);
    ASSERT_EQ(settings.Connection.Encryption, kEncryptionUnreadable);
    ASSERT_EQ(settings.Connection.TrustedCertificate, kUnreadablePin);
    SaveSettings(registry_, settings, load);
    EXPECT_EQ(ReadFileBytes(hive_), stored);
    settings.Connection.Encryption = TEncryption::Stls;
    SaveSettings(registry_, settings, load);
    TSettings chosen;
    LoadSettings(registry_, chosen);
    EXPECT_EQ(chosen.Connection.Encryption, TEncryption::Stls);
    EXPECT_EQ(chosen.Connection.Port, 995);
}

// A value this program could not read belongs to someone else: saving the default keeps it.
TEST_F(SettingsTest, UnreadableConnectionValueSurvivesASave) {
    SaveSettings(registry_, Sample());
    Store("Encryption", REG_SZ, "TLS please");
    SaveSettings(registry_, Sample());
    ASSERT_TRUE(registry_.OpenKey(kSettingsKey, false));
    EXPECT_EQ(registry_.ReadString("Encryption"), "TLS please");
    registry_.CloseKey();
}

}  // namespace

namespace {

TEST_F(SettingsTest, FastCheckIsReadLenientlyAndNeverStopsTheLoad) {
    const std::pair<std::string, bool> cases[] = {{std::string("\x01\0\0\0", 4), true},
                                                  {std::string("\0\0\0\0", 4), false},
                                                  {std::string("\x02\0\0\0", 4), false},
                                                  {std::string("\x01", 1), false}};
    for (const auto& [bytes, expected] : cases) {
        SaveSettings(registry_, Sample());
        Store("Fast Check", REG_DWORD, bytes);
        TSettings settings;
        LoadSettings(registry_, settings);
        EXPECT_EQ(settings.FastCheck, expected);
        EXPECT_EQ(settings.User, "me");
    }
    Store("Fast Check", REG_SZ, "1");
    TSettings settings;
    EXPECT_EQ(LoadError(settings), "");
    EXPECT_FALSE(settings.FastCheck);
    EXPECT_TRUE(settings.ShowMessage);  // the values after it were still read
}

TEST_F(SettingsTest, FastCheckIsStoredOnlyWhileOn) {
    TSettings settings = Sample();
    SaveSettings(registry_, settings);
    const std::string off = ReadFileBytes(hive_);
    settings.FastCheck = true;
    SaveSettings(registry_, settings);
    EXPECT_EQ(ReadFileBytes(hive_), off + "\"Fast Check\"=dword:00000001\n");
    settings.FastCheck = false;  // turned off again: the file is the classic one again
    SaveSettings(registry_, settings);
    EXPECT_EQ(ReadFileBytes(hive_), off);
    Store("Fast Check", REG_SZ, "on");  // another tool's value is left as it is
    SaveSettings(registry_, settings);
    EXPECT_NE(ReadFileBytes(hive_).find("\"Fast Check\"=\"on\""), std::string::npos);
    TSettings loaded;
    LoadSettings(registry_, loaded);
    EXPECT_FALSE(loaded.FastCheck);
}

}  // namespace

namespace {

// A stop at a classic value must not turn the chosen encryption or pin off for the session:
// the password would then go out in clear.
TEST_F(SettingsTest, NewerValuesAreReadEvenWhenAClassicValueStopsTheLoad) {
    TSettings chosen = Sample();
    chosen.Connection.Encryption = TEncryption::Stls;
    chosen.Connection.Port = 1110;
    chosen.Connection.TrustedCertificate = std::string(32 * 3 - 1, 'A');
    for (size_t i = 2; i < chosen.Connection.TrustedCertificate.size(); i += 3)
        chosen.Connection.TrustedCertificate[i] = ':';
    chosen.FastCheck = true;
    SaveSettings(registry_, chosen);
    Store("Interval", REG_SZ, "ten");
    TSettings settings;
    EXPECT_EQ(LoadError(settings), "Invalid data type for 'Interval'");
    EXPECT_EQ(settings.Connection.Encryption, TEncryption::Stls);
    EXPECT_EQ(settings.Connection.Port, 1110);
    EXPECT_EQ(settings.Connection.TrustedCertificate, chosen.Connection.TrustedCertificate);
    EXPECT_TRUE(settings.FastCheck);
    EXPECT_FALSE(settings.ShowMessage);  // classic values after the stop keep their start values
}

}  // namespace
