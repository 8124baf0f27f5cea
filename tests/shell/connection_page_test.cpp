// The mail options dialog's " Connection " page: its values through the dialog, the port that
// follows the encryption, and "Test connection" against a private Dovecot with TLS.
#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTextDocument>
#include <chrono>
#include <cstdlib>
#include <memory>

#include "base/exception.h"
#include "mailopt_ui.h"
#include "net/encryption.h"
#include "net/pop3_probe.h"
#include "shell/connection_page.h"
#include "shell/connection_report.h"
#include "shell/mailopt.h"
#include "shell/settings.h"
#include "shell/timer.h"
#include "support/dovecot_server.h"
#include "support/free_port.h"
#include "support/scripted_pop3_server.h"
#include "support/test_certificates.h"

namespace {

const char* const kPin =
    "AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:"
    "89";

void TypePort(QSpinBox* box, const QString& text) {
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, text);
}

// What a user reads in a box: rich text as it renders, plain text as it is.
QString ShownText(const QMessageBox* box) {
    if (box->textFormat() != Qt::RichText) return box->text();
    QTextDocument document;
    document.setHtml(box->text());
    return document.toPlainText();
}

// What the next box said; clicks "Trust this certificate" when asked to and it is offered.
struct BoxSeen {
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    bool offeredTrust = false;
};
std::shared_ptr<BoxSeen> WatchBox(bool trust) {
    auto seen = std::make_shared<BoxSeen>();
    WhenModal<QMessageBox>([seen, trust](QMessageBox* box) {
        seen->text = ShownText(box);
        seen->format = box->textFormat();
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() != "Trust this certificate") continue;
            seen->offeredTrust = true;
            if (trust) button->click();
        }
        if (box->isVisible()) box->accept();
    });
    return seen;
}

}  // namespace

class ConnectionPageTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TdlgMailOptions> Open(const TSettings& settings) {
        auto d = OpenMailOptions(settings);
        ClickTab(d->pcOptions, 2);
        return d;
    }

  private slots:
    void thirdPageCarriesTheConnectionValues() {
        TSettings settings;
        settings.Encryption = 2;
        settings.Port = 995;
        settings.TrustedCertificate = kPin;
        auto d = Open(settings);
        TConnectionPage* page = d->pgConnection;
        QCOMPARE(d->pcOptions->tabText(2), QString(" Connection "));
        QCOMPARE(page->cbEncryption->currentText(), QString("TLS on connect"));
        QCOMPARE(page->edPort->value(), 995);
        QCOMPARE(page->edTrustedCertificate->text(), QString(kPin));

        page->cbEncryption->setCurrentIndex(1);  // the usual port follows
        QCOMPARE(page->edPort->value(), 110);
        TypePort(page->edPort, "2110");
        page->cbEncryption->setCurrentIndex(2);  // a chosen port stays
        QCOMPARE(page->edPort->value(), 2110);
        TypeOver(page->edTrustedCertificate, QString(kPin).remove(':').toLower());
        TTimer timer;
        TSettings stored;
        d->StoreTo(stored, timer);
        QCOMPARE(stored.Encryption, 2);
        QCOMPARE(stored.Port, 2110);
        QCOMPARE(stored.TrustedCertificate, std::string(kPin));
    }

    void unreadableFingerprintChangesNothing() {
        auto d = Open(TSettings{});
        TypeOver(d->pgConnection->edTrustedCertificate, "AB:CD");
        d->pgConnection->cbEncryption->setCurrentIndex(2);
        TSettings settings;
        TTimer timer;
        QVERIFY_THROWS_EXCEPTION(EConvertError, d->StoreTo(settings, timer));
        QCOMPARE(settings.Encryption, 0);
    }

    // Untrusted at first; trusting it fills the field, and the next test trusts it.
    void testConnectionOffersToTrustTheCertificate() {
        const TestCertificates& certs = TestCertificates::Get();
        setenv("SSL_CERT_FILE", certs.Ca().c_str(), 1);
        DovecotServer server("anna", "pw",
                             DovecotOptions{certs.Pem("selfsigned"), certs.Key("selfsigned")});
        TSettings settings;
        settings.SmtpHost = "localhost";
        settings.Encryption = static_cast<int32_t>(TEncryption::Stls);
        settings.Port = server.Port();
        auto d = Open(settings);
        TConnectionPage* page = d->pgConnection;

        auto first = WatchBox(true);
        QTest::mouseClick(page->btnTestConnection, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!first->text.isEmpty(), 10000);
        QVERIFY(first->text.startsWith("Greeting: +OK Dovecot (Debian) ready.\n"));
        QVERIFY(first->text.contains("Encryption: STARTTLS (STLS command), TLSv1."));
        QVERIFY(first->text.contains("Subject: CN=localhost\n"));
        QVERIFY(first->text.contains("Trusted for localhost: no, "));
        QVERIFY(first->offeredTrust);
        QTRY_COMPARE(page->edTrustedCertificate->text().toStdString(),
                     certs.Fingerprint("selfsigned"));

        auto second = WatchBox(false);
        QTRY_VERIFY(page->btnTestConnection->isEnabled());
        QTest::mouseClick(page->btnTestConnection, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!second->text.isEmpty(), 10000);
        QVERIFY(second->text.endsWith("Trusted for localhost: yes"));
        QVERIFY(!second->offeredTrust);
    }

    void testConnectionFailureIsShownInABox() {
        TSettings settings;
        settings.SmtpHost = "127.0.0.1";
        settings.Port = FreeLoopbackPort();
        auto d = Open(settings);
        auto seen = WatchBox(false);
        QTest::mouseClick(d->pgConnection->btnTestConnection, Qt::LeftButton);
        QTRY_COMPARE(seen->text, QString("Error creating socket (Connection refused)"));
        QTRY_VERIFY(d->pgConnection->btnTestConnection->isEnabled());

        // A fingerprint a check would refuse is not tested as if the field were empty.
        TypeOver(d->pgConnection->edTrustedCertificate, "AB:CD");
        auto unreadable = WatchBox(false);
        QTest::mouseClick(d->pgConnection->btnTestConnection, Qt::LeftButton);
        QCOMPARE(unreadable->text, QString("'AB:CD' is not a SHA-256 fingerprint"));
    }
};

QTEST_MAIN(ConnectionPageTest)
#include "connection_page_test.moc"
