#include "app/settings.h"

#include <gtest/gtest.h>
#include <filesystem>
#include <functional>

#include "platform/registry.h"
#include "platform/replacement_counter.h"
#include "support/files.h"
#include "support/test_values.h"

namespace {

class SettingsTest : public testing::Test {
  protected:
    // Loads, keeping what the load read in load_; the message of the error that stopped it.
    std::string LoadError(TSettings& settings) {
        load_ = {};
        try {
            LoadSettings(registry_, settings, load_);
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
    TSettings Reloaded() {
        TSettings settings;
        LoadSettings(registry_, settings);
        return settings;
    }

    TempFolder folder_;
    std::string hive_ = folder_ / "registry.reg";
    TRegistry registry_{hive_};
    TSettingsLoad load_;
};

TSettings Sample() {
    TSettings s;
    s.Mailboxes[0].Connection.Host = "pop.example.org";
    s.Mailboxes[0].User = "me";
    s.MailProgram = "\"/usr/bin/mail reader\"";
    s.LogFile = "";
    s.Interval = 10;
    s.WavSound = "/usr/share/sounds/new.wav";
    s.ShowMessage = true;
    return s;
}

// The first start loads nothing and writes nothing; a save writes all seven values, the log
// file last.
TEST_F(SettingsTest, FirstStartLoadsNothingAndASaveWritesAllSevenValues) {
    const TSettings first = Reloaded();
    EXPECT_EQ(first.Mailboxes[0].Connection.Host, "");
    EXPECT_EQ(first.Interval, 0);
    EXPECT_FALSE(first.ShowMessage);
    EXPECT_FALSE(std::filesystem::exists(hive_));
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
    const TSettings loaded = Reloaded();
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
    TSettings settings = Reloaded();
    EXPECT_EQ(settings.Mailboxes[0].User, "you");
    EXPECT_TRUE(settings.ShowMessage);
    EXPECT_EQ(settings.WavSound, "$HOME/a.wav");
    SaveSettings(registry_, settings);
    EXPECT_NE(ReadFileBytes(hive_).find("\"ShowMessage\"=dword:00000001\n"), std::string::npos);
}

// A key holding only the kill list: the load stops at "Interval" keeping what came before; with
// nothing stored to keep, the save writes every value, so the next start loads without an error.
TEST_F(SettingsTest, ALoadStoppedAtAMissingIntervalAndTheSaveAfterIt) {
    ASSERT_TRUE(registry_.OpenKey("\\Software\\Quorvat\\Vornask\\Kill list", true));
    registry_.CloseKey();
    TSettings settings = Sample();
    EXPECT_EQ(LoadError(settings), "Failed to get data for 'Interval'");
    EXPECT_EQ(settings.Mailboxes[0].Connection.Host, "");
    EXPECT_EQ(settings.MailProgram, "");
    EXPECT_EQ(settings.Interval, 10);
    EXPECT_EQ(settings.WavSound, Sample().WavSound);
    EXPECT_TRUE(settings.ShowMessage);
    EXPECT_FALSE(registry_.ValueExists("User"));
    SaveSettings(registry_, settings, load_);
    TSettings reloaded;
    EXPECT_EQ(LoadError(reloaded), "");
}

TEST_F(SettingsTest, WrongTypesNameTheValue) {
    const std::tuple<const char*, uint32_t, std::string, const char*> cases[] = {
        {"Interval", REG_SZ, "10", "Invalid data type for 'Interval'"},
        {"Interval", REG_SZ, "12345", "Failed to get data for 'Interval'"},
        {"Interval", REG_DWORD, std::string("\0\0\0\0\0", 5), "Failed to get data for 'Interval'"},
        {"User", REG_DWORD, std::string("\1\0\0\0", 4), "Invalid data type for 'User'"},
        {"ShowMessage", REG_BINARY, "\1", "Invalid data type for 'ShowMessage'"},
    };
    for (const auto& [name, type, bytes, message] : cases) {
        SaveSettings(registry_, Sample());
        Store(name, type, bytes);
        TSettings settings;
        EXPECT_EQ(LoadError(settings), message) << name;
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
// them unless the user changed the field since; the value that failed is repaired. The newer
// values are read all the same: turning the chosen encryption or pin off for the session would
// send the password in clear.
TEST_F(SettingsTest, ALoadStoppedAtAClassicValueReadsTheNewerOnesAndTheSaveKeepsTheRest) {
    TSettings chosen = Sample();
    TConnection& connection = chosen.Mailboxes[0].Connection;
    connection.Encryption = TEncryption::Stls;
    connection.Port = 1110;
    connection.TrustedCertificate = kPin;
    chosen.Mailboxes[0].FastCheck = true;
    for (bool changed : {false, true}) {
        SaveSettings(registry_, chosen);
        Store("Interval", REG_SZ, "10");
        TSettings settings;
        EXPECT_EQ(LoadError(settings), "Invalid data type for 'Interval'");
        EXPECT_TRUE(settings.Mailboxes[0].Connection == connection);
        EXPECT_TRUE(settings.Mailboxes[0].FastCheck);
        EXPECT_FALSE(
            settings.ShowMessage);  // classic values after the stop keep their start values
        if (changed) settings.WavSound = "/other.wav";
        SaveSettings(registry_, settings, load_);
        const TSettings reloaded = Reloaded();
        EXPECT_EQ(reloaded.WavSound, changed ? "/other.wav" : Sample().WavSound);
        EXPECT_TRUE(reloaded.ShowMessage);
        EXPECT_EQ(reloaded.Interval, 0) << "rewritten with the value in use";
        EXPECT_EQ(reloaded.Mailboxes[0].Connection.Host, Sample().Mailboxes[0].Connection.Host);
    }
}

// A hive that could not be read at the start holds values the load never saw: the save leaves
// the chosen encryption alone as it does the classic values, or the next check would send the
// password in clear.
TEST_F(SettingsTest, ASaveAfterAnUnreadableStartKeepsTheConnectionValues) {
    std::filesystem::create_directories(hive_);  // a folder in the file's place
    TSettings settings;
    EXPECT_NE(LoadError(settings), "");
    std::filesystem::remove(hive_);
    TSettings stored = Sample();
    stored.Mailboxes[0].Connection.Encryption = TEncryption::TlsOnConnect;
    stored.Mailboxes[0].Connection.Port = 1995;
    stored.Mailboxes.push_back(stored.Mailboxes[0]);
    SaveSettings(registry_, stored);
    SaveSettings(registry_, settings, load_);
    const TSettings reloaded = Reloaded();
    EXPECT_EQ(reloaded.Mailboxes[0].Connection.Encryption, TEncryption::TlsOnConnect);
    EXPECT_EQ(reloaded.Mailboxes[0].Connection.Port, 1995);
    EXPECT_EQ(reloaded.Mailboxes[0].Connection.Host, Sample().Mailboxes[0].Connection.Host);
    EXPECT_EQ(reloaded.Mailboxes.size(), 2u);
}

// One optional value: a value other than its default and how the file holds it, and odd
// stored forms with what they load as and whether a save of the default keeps them.
struct OddForm {
    uint32_t type;
    std::string bytes;
    bool kept;                              // not this program's to judge
    std::function<void(TSettings&)> loads;  // applied to Sample()
};
struct OptionalValue {
    const char* name;
    std::function<void(TSettings&)> set;
    std::string line;
    std::vector<OddForm> odd;
};

std::vector<OptionalValue> OptionalValues() {
    using S = TSettings&;
    const auto none = [](S) {};
    const std::string dword0("\0\0\0\0", 4), dword1("\1\0\0\0", 4), dword2("\2\0\0\0", 4);
    // A switch: stored only while on, and only a whole DWORD 0 or 1 is read.
    const auto flag = [&](const char* name, std::function<bool&(S)> field) {
        const auto on = [field](S s) { field(s) = true; };
        return OptionalValue{name,
                             on,
                             std::string("\"") + name + "\"=dword:00000001\n",
                             {{REG_DWORD, dword1, false, on},
                              {REG_DWORD, dword0, false, none},
                              {REG_DWORD, dword2, true, none},
                              {REG_DWORD, "\1", true, none},
                              {REG_SZ, "1", true, none}}};
    };
    // A text: stored only while not empty; a stored number is another tool's and reads as empty.
    const auto text = [&](const char* name, std::function<std::string&(S)> field,
                          std::string value) {
        return OptionalValue{name,
                             [field, value](S s) { field(s) = value; },
                             std::string("\"") + name + "\"=\"" + value + "\"\n",
                             {{REG_DWORD, dword1, true, none}}};
    };
    const auto boxText = [&](const char* name, std::string TMailbox::*field, std::string value) {
        return text(
            name, [field](S s) -> std::string& { return s.Mailboxes[0].*field; }, value);
    };
    const auto oauth = [&](const char* name, std::string TOAuthConfig::*field, std::string value) {
        return text(
            name, [field](S s) -> std::string& { return s.Mailboxes[0].OAuth.*field; }, value);
    };
    const auto unreadableAuthentication = [](S s) {
        s.Mailboxes[0].Connection.Authentication = kAuthenticationUnreadable;
    };
    const auto unreadableEncryption = [](S s) {
        s.Mailboxes[0].Connection.Encryption = kEncryptionUnreadable;
    };
    const auto unreadableProtocol = [](S s) {
        s.Mailboxes[0].Connection.Protocol = kProtocolUnreadable;
    };
    return {
        flag("Fast Check", [](S s) -> bool& { return s.Mailboxes[0].FastCheck; }),
        flag("Remember password", [](S s) -> bool& { return s.Mailboxes[0].RememberPassword; }),
        // A way of signing in that cannot be read must be chosen again, never become USER/PASS.
        {"Authentication",
         [](S s) { s.Mailboxes[0].Connection.Authentication = TAuthentication::OAuth2; },
         "\"Authentication\"=dword:00000002\n",
         {{REG_SZ, "2", true, unreadableAuthentication},
          {REG_DWORD, std::string("\3\0\0\0", 4), true, unreadableAuthentication},
          {REG_DWORD, std::string("\1\0\0", 3), true, unreadableAuthentication},
          {REG_DWORD, dword1, false,
           [](S s) { s.Mailboxes[0].Connection.Authentication = TAuthentication::SaslPlain; }}}},
        oauth("OAuth authorization URL", &TOAuthConfig::AuthorizationUrl,
              "https://login.example.com/authorize"),
        oauth("OAuth token URL", &TOAuthConfig::TokenUrl, "https://login.example.com/token"),
        oauth("OAuth scope", &TOAuthConfig::Scope, "mail offline_access"),
        oauth("OAuth client ID", &TOAuthConfig::ClientId, "vornask-client"),
        oauth("OAuth client secret", &TOAuthConfig::ClientSecret, "s3cret"),
        oauth("Token command", &TOAuthConfig::TokenCommand, "oauth-helper --account anna"),
        // IMAP brings its usual port, which is not stored; a protocol that cannot be read
        // keeps the mailbox from being checked until the user chooses one.
        {"Protocol",
         [](S s) {
             s.Mailboxes[0].Connection.Protocol = TMailProtocol::Imap;
             s.Mailboxes[0].Connection.Port = 143;
         },
         "\"Protocol\"=dword:00000001\n",
         {{REG_DWORD, dword2, true, unreadableProtocol},
          {REG_SZ, "1", true, unreadableProtocol},
          {REG_DWORD, dword0, false, none}}},
        boxText("Folder", &TMailbox::Folder, "Lists/Spam watch"),
        boxText("Move To", &TMailbox::MoveTo, "Junk"),
        boxText("Name", &TMailbox::Name, "Home"),
        flag("Decode Headers", [](S s) -> bool& { return s.DecodeHeaders; }),
        flag("Ignore Case", [](S s) -> bool& { return s.IgnoreCase; }),
        flag("Desktop Notification", [](S s) -> bool& { return s.DesktopNotification; }),
        flag("Count On Icon", [](S s) -> bool& { return s.CountOnIcon; }),
        // A stored encryption must be chosen again rather than quietly become plain text.
        {"Encryption",
         [](S s) {
             s.Mailboxes[0].Connection.Encryption = TEncryption::TlsOnConnect;
             s.Mailboxes[0].Connection.Port =
                 995;  // the usual port follows the encryption and is not stored
         },
         "\"Encryption\"=dword:00000002\n",
         {{REG_SZ, "2", true, unreadableEncryption},
          {REG_DWORD, std::string("\3\0\0\0", 4), true, unreadableEncryption},
          {REG_DWORD, std::string("\1\0\0", 3), true, unreadableEncryption},
          {REG_DWORD, dword2, false,
           [](S s) {
               s.Mailboxes[0].Connection.Encryption = TEncryption::TlsOnConnect,
               s.Mailboxes[0].Connection.Port = 995;
           }}}},
        {"Port",
         [](S s) { s.Mailboxes[0].Connection.Port = 1995; },
         "\"Port\"=dword:000007cb\n",
         {{REG_DWORD, dword0, true, none},
          {REG_DWORD, std::string("\x70\x11\1\0", 4), true, none},  // 70000
          {REG_DWORD, std::string("\xe3\7\0", 3), true, none},
          {REG_DWORD, std::string("\xe3\7\0\0", 4), false,
           [](S s) { s.Mailboxes[0].Connection.Port = 2019; }},
          {REG_SZ, "2019", true, none}}},
        // A pin that is no fingerprint stays one that a check refuses rather than leave the
        // choice to the system's trust store.
        {"Trusted certificate",
         [](S s) { s.Mailboxes[0].Connection.TrustedCertificate = kPin; },
         std::string("\"Trusted certificate\"=\"") + kPin + "\"\n",
         {{REG_DWORD, dword1, true,
           [](S s) { s.Mailboxes[0].Connection.TrustedCertificate = kUnreadablePin; }},
          {REG_SZ, "not a fingerprint", false,
           [](S s) { s.Mailboxes[0].Connection.TrustedCertificate = "not a fingerprint"; }},
          {REG_SZ, "abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789", false,
           [](S s) { s.Mailboxes[0].Connection.TrustedCertificate = kPin; }}}},
    };
}

// Each optional value reaches the file only when it differs from its default, so going back
// to the defaults gives the classic file again, byte for byte. Odd stored forms load as the
// default (or a safeguard) without stopping the load, and what this program cannot read is
// another tool's: a save leaves it as it is.
TEST_F(SettingsTest, OptionalValuesAreStoredOnlyWhenNotDefaultAndReadLeniently) {
    SaveSettings(registry_, Sample());
    const std::string classic = ReadFileBytes(hive_);
    for (const OptionalValue& value : OptionalValues()) {
        SCOPED_TRACE(value.name);
        TSettings changed = Sample();
        value.set(changed);
        SaveSettings(registry_, changed);
        EXPECT_EQ(ReadFileBytes(hive_), classic + value.line);
        TSettings loaded;
        LoadSettings(registry_, loaded);
        EXPECT_TRUE(loaded == changed);
        SaveSettings(registry_, Sample());
        EXPECT_EQ(ReadFileBytes(hive_), classic);

        for (const OddForm& odd : value.odd) {
            SCOPED_TRACE(testing::PrintToString(odd.bytes));
            Store(value.name, odd.type, odd.bytes);
            TSettings expected = Sample(), read;
            odd.loads(expected);
            EXPECT_EQ(LoadError(read), "");
            EXPECT_TRUE(read == expected);
            SaveSettings(registry_, Sample());
            EXPECT_EQ(ReadFileBytes(hive_) != classic, odd.kept);
            WriteFileBytes(hive_, classic);
        }
    }
}

// An encryption, pin or protocol that could not be read stays stored through a load and save
// until the user chooses again; the port that came with it stays too.
TEST_F(SettingsTest, UnreadableEncryptionIsKeptUntilChosen) {
    TSettings newer = Sample();
    newer.Mailboxes[0].Connection.Port = 995;
    SaveSettings(registry_, newer);
    Store("Encryption", REG_DWORD, std::string("\3\0\0\0", 4));
    Store("Trusted certificate", REG_DWORD, std::string("\1\0\0\0", 4));
    Store("Protocol", REG_DWORD, std::string("\7\0\0\0", 4));
    const std::string stored = ReadFileBytes(hive_);
    TSettings settings;
    ASSERT_EQ(LoadError(settings), "");
    ASSERT_EQ(settings.Mailboxes[0].Connection.Encryption, kEncryptionUnreadable);
    ASSERT_EQ(settings.Mailboxes[0].Connection.TrustedCertificate, kUnreadablePin);
    ASSERT_EQ(settings.Mailboxes[0].Connection.Protocol, kProtocolUnreadable);
    SaveSettings(registry_, settings, load_);
    EXPECT_EQ(ReadFileBytes(hive_), stored);
    settings.Mailboxes[0].Connection.Encryption = TEncryption::Stls;
    settings.Mailboxes[0].Connection.Protocol = TMailProtocol::Imap;
    SaveSettings(registry_, settings, load_);
    EXPECT_EQ(Reloaded().Mailboxes[0].Connection.Encryption, TEncryption::Stls);
    EXPECT_EQ(Reloaded().Mailboxes[0].Connection.Protocol, TMailProtocol::Imap);
    EXPECT_EQ(Reloaded().Mailboxes[0].Connection.Port, 995);
}

}  // namespace

// Further mailboxes: each in its own sub-key of "Mailboxes", with the first one's rules.
class MailboxesTest : public SettingsTest {
  protected:
    static TMailbox Box(const char* host, const char* user) {
        TMailbox box;
        box.Connection.Host = host;
        box.User = user;
        return box;
    }
    static TSettings WithBoxes(std::vector<TMailbox> boxes) {
        TSettings settings = Sample();
        settings.Mailboxes.insert(settings.Mailboxes.end(), boxes.begin(), boxes.end());
        return settings;
    }
    void StoreIn(int number, const std::string& name, uint32_t type, const std::string& bytes) {
        ASSERT_TRUE(registry_.OpenKey(
            std::string(kSettingsKey) + "\\Mailboxes\\" + std::to_string(number), false));
        registry_.WriteData(name, type, bytes);
        registry_.CloseKey();
    }
    static std::string MailboxKey(const std::string& name) {
        return std::string(kSettingsKey) + "\\Mailboxes\\" + name;
    }
    // The section of the file that starts at name ("Mailboxes\\3]"), up to the next.
    static std::string Section(const std::string& text, const char* name) {
        const size_t at = text.find(name);
        return text.substr(at, text.find("\n[", at) - at);
    }
    // The file a fresh save of these settings writes.
    std::string FreshFile(const TSettings& settings) {
        TempFolder other;
        TRegistry registry(other / "registry.reg");
        SaveSettings(registry, settings);
        return ReadFileBytes(other / "registry.reg");
    }

    TMailbox work_ = [] {
        TMailbox box = Box("pop.work.example", "anna.k");
        box.Name = "Work";
        box.Connection.Encryption = TEncryption::TlsOnConnect;
        box.Connection.Port = 1995;
        box.FastCheck = true;
        return box;
    }();
    TMailbox club_ = [] {
        TMailbox box = Box("mail.club.example", "anna");
        box.Connection.Authentication = TAuthentication::OAuth2;
        box.OAuth.TokenCommand = "club-token";
        box.RememberPassword = true;
        return box;
    }();
    const TMailbox third_ = Box("pop.third.example", "a3");
};

TEST_F(MailboxesTest, TwoAndThreeMailboxesRoundTripInTheirOwnSubKeys) {
    SaveSettings(registry_, Sample());
    const std::string classic = ReadFileBytes(hive_);
    const std::string key = "\n[HKEY_CURRENT_USER\\Software\\Quorvat\\Vornask\\Mailboxes";
    const std::string work =
        "\"SMTP host\"=\"pop.work.example\"\n\"User\"=\"anna.k\"\n"
        "\"Fast Check\"=dword:00000001\n\"Encryption\"=dword:00000002\n"
        "\"Port\"=dword:000007cb\n\"Name\"=\"Work\"\n";
    const std::string club =
        "\"SMTP host\"=\"mail.club.example\"\n\"User\"=\"anna\"\n"
        "\"Authentication\"=dword:00000002\n\"Token command\"=\"club-token\"\n"
        "\"Remember password\"=dword:00000001\n";
    const struct {
        std::vector<TMailbox> boxes;
        std::string tail;
    } cases[] = {
        {{work_}, key + "\\2]\n" + work},
        {{work_, club_}, key + "\\2]\n" + work + key + "\\3]\n" + club},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.boxes.size());
        const TSettings settings = WithBoxes(c.boxes);
        SaveSettings(registry_, settings);
        EXPECT_EQ(ReadFileBytes(hive_), classic + c.tail);
        EXPECT_TRUE(Reloaded() == settings);
        EXPECT_EQ(Reloaded().Mailboxes[1].ShownName(), "Work");
        SaveSettings(registry_, Sample());
        EXPECT_EQ(ReadFileBytes(hive_), classic);
    }
    EXPECT_EQ(club_.ShownName(), "anna@mail.club.example");
}

// Removing a mailbox moves the later ones down with what they store, unreadable values too;
// removing the last deletes "Mailboxes".
TEST_F(MailboxesTest, RemovingRenumbersWithoutGaps) {
    SaveSettings(registry_, WithBoxes({work_, club_, third_}));
    StoreIn(3, "Trusted certificate", REG_DWORD, std::string("\1\0\0\0", 4));
    TSettings settings;
    ASSERT_EQ(LoadError(settings), "");
    EXPECT_EQ(settings.Mailboxes[2].Connection.TrustedCertificate, kUnreadablePin);

    settings.Mailboxes.erase(settings.Mailboxes.begin() + 1);
    SaveSettings(registry_, settings, load_);
    TSettings moved = WithBoxes({club_, third_});
    const std::string fresh = FreshFile(moved);
    const size_t end = fresh.find("\n[", fresh.find("Mailboxes\\2]"));
    EXPECT_EQ(
        ReadFileBytes(hive_),
        fresh.substr(0, end) + "\"Trusted certificate\"=dword:00000001\n" + fresh.substr(end));
    moved.Mailboxes[1].Connection.TrustedCertificate = kUnreadablePin;
    ASSERT_EQ(LoadError(settings), "");
    EXPECT_TRUE(settings == moved);

    settings.Mailboxes.resize(1);
    SaveSettings(registry_, settings, load_);
    EXPECT_EQ(ReadFileBytes(hive_), FreshFile(Sample()));
}

// A mailbox whose "User" is no text is reported and kept as stored, at its number; the others
// load, and a removal renumbers nothing while it is there.
TEST_F(MailboxesTest, ADamagedSubKeyIsKeptAndReportedWhileTheOthersLoad) {
    SaveSettings(registry_, WithBoxes({work_, club_, third_}));
    StoreIn(3, "User", REG_DWORD, std::string("\7\0\0\0", 4));
    const std::string damaged = ReadFileBytes(hive_);
    TSettings settings;
    ASSERT_EQ(LoadError(settings), "");
    ASSERT_EQ(settings.Mailboxes.size(), 4u);
    EXPECT_EQ(settings.Mailboxes[2].Unreadable,
              "The stored mailbox 3 cannot be read; it is kept as it is and not checked "
              "(Invalid data type for 'User').");
    EXPECT_TRUE(settings.Mailboxes[1] == work_);
    EXPECT_TRUE(settings.Mailboxes[3] == third_);

    SaveSettings(registry_, settings, load_);
    EXPECT_EQ(ReadFileBytes(hive_), damaged);
    settings.Mailboxes.erase(settings.Mailboxes.begin() + 1);
    settings.Mailboxes[2].User = "a4";
    SaveSettings(registry_, settings, load_);
    const std::string saved = ReadFileBytes(hive_);
    EXPECT_EQ(Section(saved, "Mailboxes\\3]"), Section(damaged, "Mailboxes\\3]"));
    EXPECT_EQ(saved.find("Mailboxes\\2]"), std::string::npos);
    ASSERT_EQ(LoadError(settings), "");
    ASSERT_EQ(settings.Mailboxes.size(), 3u);
    EXPECT_NE(settings.Mailboxes[1].Unreadable, "");
    EXPECT_EQ(settings.Mailboxes[2].User, "a4");
}

// A mailbox's identity: kept by copies (an edited copy written back is the same mailbox), fresh
// for each mailbox made or loaded, and no part of its value.
TEST_F(MailboxesTest, IdentityFollowsCopiesAndIsNoPartOfTheValue) {
    SaveSettings(registry_, WithBoxes({work_}));
    const TSettings loaded = Reloaded(), again = Reloaded();
    const TSettings copy = loaded;
    EXPECT_TRUE(loaded == again);
    EXPECT_NE(loaded.Mailboxes[1].Id(), again.Mailboxes[1].Id());
    EXPECT_NE(loaded.Mailboxes[0].Id(), loaded.Mailboxes[1].Id());
    EXPECT_EQ(copy.Mailboxes[1].Id(), loaded.Mailboxes[1].Id());
    EXPECT_EQ(copy.Find(loaded.Mailboxes[1].Id()), &copy.Mailboxes[1]);
    EXPECT_EQ(copy.Find(again.Mailboxes[1].Id()), nullptr);
}

// The names below "Mailboxes": a load reads only numbers 2 to 999999 written plainly, a save
// writes no others and leaves every other name as it is; renumbering uses no name in between.
TEST_F(MailboxesTest, SubKeyNamesALoadIgnoresAreNeverTouched) {
    for (const char* foreign : {"moving 3", "MOVING 4", "02", "1000000", "1", "0", "2x", "-3"}) {
        SCOPED_TRACE(foreign);
        std::filesystem::remove(hive_);
        SaveSettings(registry_, WithBoxes({work_, club_, third_}));
        ASSERT_TRUE(registry_.OpenKey(MailboxKey(foreign), true));
        registry_.WriteString("User", "foreign");
        registry_.CloseKey();
        TSettings settings;
        ASSERT_EQ(LoadError(settings), "");
        ASSERT_EQ(settings.Mailboxes.size(), 4u);
        settings.Mailboxes.erase(settings.Mailboxes.begin() + 1);
        SaveSettings(registry_, settings, load_);
        EXPECT_EQ(ReadFileBytes(hive_), FreshFile(WithBoxes({club_, third_})) +
                                            "\n[HKEY_CURRENT_USER" + MailboxKey(foreign) +
                                            "]\n\"User\"=\"foreign\"\n");
        EXPECT_TRUE(Reloaded() == WithBoxes({club_, third_}));
        SaveSettings(registry_, Sample());
        EXPECT_EQ(ReadFileBytes(hive_), FreshFile(Sample()) + "\n[HKEY_CURRENT_USER" +
                                            MailboxKey(foreign) + "]\n\"User\"=\"foreign\"\n");
    }
}

// The last number: a stored mailbox there loads, and a new one that would need the number after
// it (nothing is renumbered while one cannot be read) is refused before anything is written.
// Nor does an unreadable mailbox ever become the first: it would be written anew, empty.
TEST_F(MailboxesTest, ASaveRefusesWhatTheNextLoadWouldNotRead) {
    const struct {
        int stored;  // a readable mailbox stored at this number, beside an unreadable one at 2
        const char* error;
    } cases[] = {
        {999998, ""},
        {999999,
         "The mailbox Work cannot be saved: the stored mailboxes are numbered up to "
         "999999, and none is renumbered while one cannot be read. Nothing was saved."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        std::filesystem::remove(hive_);
        SaveSettings(registry_, WithBoxes({club_, work_}));
        StoreIn(2, "User", REG_DWORD, std::string("\7\0\0\0", 4));
        ASSERT_TRUE(registry_.MoveKey(MailboxKey("3"), MailboxKey(std::to_string(c.stored))));
        TSettings settings;
        ASSERT_EQ(LoadError(settings), "");
        ASSERT_EQ(settings.Mailboxes.size(), 3u);
        EXPECT_EQ(settings.Mailboxes[2].StoredAt.Number, c.stored);
        const std::string before = ReadFileBytes(hive_);
        settings.Mailboxes.push_back(work_);
        std::string error;
        try {
            SaveSettings(registry_, settings, load_);
        } catch (const ERegistryException& e) {
            error = e.Message();
        }
        EXPECT_EQ(error, c.error);
        if (*c.error) {
            EXPECT_EQ(ReadFileBytes(hive_), before);
        }
        EXPECT_EQ(Reloaded().Mailboxes.size(), *c.error ? 3u : 4u);
    }
    // Removing the first mailbox in front of an unreadable one: the next readable one moves up.
    TSettings settings;
    ASSERT_EQ(LoadError(settings), "");
    const std::string damaged = ReadFileBytes(hive_);
    settings.Mailboxes[0] = settings.Mailboxes[1];
    EXPECT_THROW(SaveSettings(registry_, settings, load_), ERegistryException);
    EXPECT_EQ(ReadFileBytes(hive_), damaged);
    settings.Mailboxes[0] = settings.Mailboxes[2];
    settings.Mailboxes.erase(settings.Mailboxes.begin() + 2);
    SaveSettings(registry_, settings, load_);
    const std::string saved = ReadFileBytes(hive_);
    EXPECT_EQ(Section(saved, "Mailboxes\\2]"), Section(damaged, "Mailboxes\\2]"));
    EXPECT_EQ(saved.find("Mailboxes\\999999]"), std::string::npos);
    ASSERT_EQ(LoadError(settings), "");
    EXPECT_TRUE(settings.Mailboxes[0] == work_);
    ASSERT_EQ(settings.Mailboxes.size(), 2u);
    EXPECT_NE(settings.Mailboxes[1].Unreadable, "");
}
