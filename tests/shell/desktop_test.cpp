// What the desktop shows of a check: the count and warning mark on the tray icon, and the
// notifications that replace the boxes, against a stand-in notification service on the
// test's own session bus.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <functional>
#include <memory>

#include "app/launcher.h"
#include "app_test_form.h"
#include "shell/envelope_icon.h"
#include "support/free_port.h"

namespace {

const QString kName = "org.freedesktop.Notifications";
const QString kPath = "/org/freedesktop/Notifications";

// Pixels of image inside area that pass test.
int CountPixels(const QImage& image, QRect area, const std::function<bool(QColor)>& test) {
    int n = 0;
    area &= image.rect();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) n += test(image.pixelColor(x, y));
    return n;
}
bool BadgeRed(QColor c) {
    return c.alpha() > 200 && c.red() > 150 && c.green() < 90 && c.blue() < 90;
}
bool BrightWhite(QColor c) {
    return c.alpha() > 200 && c.red() > 200 && c.green() > 200 && c.blue() > 200;
}
bool Amber(QColor c) {
    return c.alpha() > 200 && c.red() > 200 && c.green() > 130 && c.green() < 200 && c.blue() < 60;
}
int LeftmostRed(const QImage& image) {
    for (int x = 0; x < image.width(); ++x)
        if (CountPixels(image, QRect(x, 0, 1, image.height()), BadgeRed) > 0) return x;
    return image.width();
}

// The stand-in notification service, running while the object lives.
class NotificationService {
  public:
    NotificationService() {
        process_.start("/usr/bin/python3", {VORNASK_NOTIFICATION_SERVICE});
        QVERIFY(QTest::qWaitFor([] { return Owned(); }, 10000));
    }
    ~NotificationService() {
        process_.terminate();
        process_.waitForFinished(10000);
        (void)QTest::qWaitFor([] { return !Owned(); }, 10000);
    }
    static bool Owned() {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(kName);
    }
    // Every notification shown so far, oldest first.
    QJsonArray Shown() const {
        const QDBusMessage reply = Call("Shown", {});
        return QJsonDocument::fromJson(reply.arguments().value(0).toString().toUtf8()).array();
    }
    void Invoke(uint id, const QString& key) const { Call("Invoke", {id, key}); }

  private:
    static QDBusMessage Call(const QString& method, const QVariantList& arguments) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(kName, kPath, "org.vornask.TestNotifications", method);
        call.setArguments(arguments);
        return QDBusConnection::sessionBus().call(call);
    }
    QProcess process_;
};

// A main window as the program creates it, with a reader that notes its starts.
struct Window {
    QTemporaryDir dir;
    std::unique_ptr<TestForm> form;

    Window() {
        form = std::make_unique<TestForm>(Path("registry.reg"));
        form->FormCreate();
        form->Settings.Mailboxes[0].Connection.Host = "pop.example.org";
        form->Settings.Mailboxes[0].User = "anna";
        const std::string reader = Path("reader.sh");
        std::ofstream(reader) << "#!/bin/sh\necho started >> '" << Path("starts") << "'\n";
        QFile::setPermissions(QString::fromStdString(reader),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        form->Settings.MailProgram = reader;
        form->Settings.ShowMessage = true;
        form->Settings.DesktopNotification = true;
    }
    ~Window() {
        try {
            form->FormDestroy();
        } catch (...) {
        }
    }
    std::string Path(const char* name) const { return dir.filePath(name).toStdString(); }
    int ReaderStarts() const {
        std::ifstream in(Path("starts"));
        int n = 0;
        for (std::string line; std::getline(in, line);) ++n;
        return n;
    }
    QImage TrayImage(int size) const {
        return FindTrayIcon(form->TrayIconData)->icon().pixmap(size).toImage();
    }
    // A check that cannot connect: nothing listens on the port.
    void FailedCheck() {
        form->Settings.Mailboxes[0].Connection.Host = "127.0.0.1";
        form->Settings.Mailboxes[0].Connection.Port = FreeLoopbackPort();
        form->Cycle().CheckMail(true);
        form->Settle();
    }
};

}  // namespace

class DesktopTest : public QObject {
    Q_OBJECT
  private slots:
    void iconTellsCountAndFailure_data() {
        QTest::addColumn<int>("size");
        for (int size : {16, 22, 32}) QTest::newRow(qPrintable(QString::number(size))) << size;
    }
    // The badge sits in the lower right with white digits on red, grows for "99+", and the
    // warning mark takes the upper left; with neither the envelope is the plain one.
    void iconTellsCountAndFailure() {
        QFETCH(int, size);
        const QImage plain = EnvelopeIcon().pixmap(size).toImage();
        QCOMPARE(EnvelopePixmap(size, {}).toImage(), plain);
        QCOMPARE(CountPixels(plain, plain.rect(), BadgeRed), 0);
        QCOMPARE(CountPixels(plain, plain.rect(), Amber), 0);

        const QImage seven = EnvelopePixmap(size, {7, false}).toImage();
        const QRect lowerRight(size / 2, size / 2, size, size), upperLeft(0, 0, size / 3, size / 3);
        QVERIFY(CountPixels(seven, lowerRight, BadgeRed) >= size);
        QCOMPARE(CountPixels(seven, upperLeft, BadgeRed), 0);
        QVERIFY(CountPixels(seven, lowerRight, BrightWhite) >= 3);  // the digit
        QCOMPARE(CountPixels(seven, seven.rect(), Amber), 0);

        const QImage many = EnvelopePixmap(size, {120, false}).toImage();
        QVERIFY(LeftmostRed(many) < LeftmostRed(seven));
        QCOMPARE(many, EnvelopePixmap(size, {100, false}).toImage());  // both "99+"
        QVERIFY(many != EnvelopePixmap(size, {99, false}).toImage());
        QVERIFY(CountPixels(many, lowerRight, BrightWhite) >= 6);

        const QImage failed = EnvelopePixmap(size, {0, true}).toImage();
        QVERIFY(CountPixels(failed, upperLeft, Amber) >= size / 4);
        QCOMPARE(CountPixels(failed, failed.rect(), BadgeRed), 0);
        // A failed check shows no count: the one before it is stale.
        QCOMPARE(EnvelopePixmap(size, {7, true}).toImage(), failed);
    }

    // At 16 pixels the digits are pixel glyphs one pixel in from the lower right corner, on
    // red; the rest of the icon is the envelope.
    void smallIconDigitsAreExactGlyphs_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("6") << 6 << QStringList{"###", "#..", "###", "#.#", "###"};
        QTest::newRow("9") << 9 << QStringList{"###", "#.#", "###", "..#", "###"};
        QTest::newRow("10") << 10
                            << QStringList{".#..###", "##..#.#", ".#..#.#", ".#..#.#", "###.###"};
        QTest::newRow("99+") << 250
                             << QStringList{"###.###....", "#.#.#.#..#.", "###.###.###",
                                            "..#...#..#.", "###.###...."};
    }
    void smallIconDigitsAreExactGlyphs() {
        QFETCH(int, count);
        QFETCH(QStringList, rows);
        const QImage icon = EnvelopePixmap(16, {count, false}).toImage();
        const int width = static_cast<int>(rows[0].size()), left = 15 - width, top = 10;
        // The glyphs and the red pixel around them; the badge's corners are cut.
        for (int y = -1; y <= 5; ++y)
            for (int x = -1; x <= width; ++x) {
                if ((x == -1 || x == width) && (y == -1 || y == 5)) continue;
                const bool ink = x >= 0 && x < width && y >= 0 && y < 5 && rows[y][x] == '#';
                const QColor pixel = icon.pixelColor(left + x, top + y);
                QVERIFY2(ink ? BrightWhite(pixel) : BadgeRed(pixel),
                         qPrintable(QString("%1,%2").arg(x).arg(y)));
            }
        QCOMPARE(CountPixels(icon, QRect(0, 0, 16, top - 1), BadgeRed), 0);
        QCOMPARE(CountPixels(icon, QRect(0, 0, left - 1, 16), BadgeRed), 0);
    }

    // Off, the tray keeps the program's icon whatever happened; on, it shows the count and,
    // after a failed check, the warning mark.
    void trayIconFollowsSetting() {
        Window w;
        w.form->Settings.DesktopNotification = false;
        w.form->Settings.ShowMessage = false;
        w.form->Settings.MailProgram.clear();
        w.form->Cycle().NotifyMail(7);
        w.FailedCheck();
        for (int size : {16, 22, 32})
            QCOMPARE(w.TrayImage(size), EnvelopeIcon().pixmap(size).toImage());

        w.form->Settings.CountOnIcon = true;
        w.FailedCheck();
        QCOMPARE(w.TrayImage(22), EnvelopePixmap(22, {7, true}).toImage());
    }

    // The count comes as a notification offering the reader, which starts only when the user
    // takes that action; "No mail." replaces it, with nothing to offer. No box either time.
    void notificationReplacesBoxes() {
        NotificationService service;
        Window w;
        w.form->Cycle().NotifyMail(7);
        QCOMPARE(w.form->Count("box:"), 0);
        QVERIFY(!w.form->Launcher->IsWatching());
        QJsonArray shown = service.Shown();
        QCOMPARE(shown.size(), 1);
        const QJsonObject count = shown[0].toObject();
        QCOMPARE(count["app"].toString(), QString("Vornask"));
        QCOMPARE(count["summary"].toString(), QString("You have 7 messages!"));
        QCOMPARE(count["body"].toString(), QString("anna@pop.example.org"));
        QCOMPARE(count["actions"].toArray(), (QJsonArray{"open-mail", "Open mail program"}));
        QCOMPARE(count["replaces"].toInt(), 0);

        service.Invoke(7, "open-mail");  // another program's notification
        service.Invoke(1, "open-mail");
        QTRY_COMPARE_WITH_TIMEOUT(w.ReaderStarts(), 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!w.form->Launcher->IsWatching(), 10000);
        QCOMPARE(w.ReaderStarts(), 1);

        w.form->Cycle().ShowNoMail(false);
        w.form->Cycle().SetNotifying(true);  // a nested check notifies nothing
        w.form->Cycle().ShowNoMail(false);
        w.form->Cycle().NotifyMail(7);
        w.form->Cycle().SetNotifying(false);
        QCOMPARE(w.form->Count("box:"), 0);
        shown = service.Shown();
        QCOMPARE(shown.size(), 2);
        const QJsonObject none = shown[1].toObject();
        QCOMPARE(none["summary"].toString(), QString("No mail."));
        QCOMPARE(none["actions"].toArray(), QJsonArray{});
        QCOMPARE(none["replaces"].toInt(), 1);
    }

    // Nobody owns the service's name: the boxes come back, and the reader starts at once.
    void withoutServiceBoxesComeBack() {
        QVERIFY(!NotificationService::Owned());
        Window w;
        w.form->Cycle().NotifyMail(7);
        w.form->Cycle().ShowNoMail(false);
        QCOMPARE(w.form->Without("tip:"),
                 (std::vector<std::string>{"box:You have 7 messages!", "box:No mail."}));
        QTRY_COMPARE_WITH_TIMEOUT(w.ReaderStarts(), 1, 10000);
    }
};

VORNASK_APP_TEST_MAIN(DesktopTest)
#include "desktop_test.moc"
