#pragma once

// The mail options dialog's " Connection " page: how the connection to the server is
// protected, its port, the one certificate trusted instead of the system's store, and a test
// that shows what the server offers. Further connection options go in rows below these
// (AddRow).

#include <QWidget>
#include <functional>
#include <string>

class QComboBox;
class QGridLayout;
class QLineEdit;
class QPushButton;
class QSpinBox;
class TConnectionTestRun;
struct TConnection;
struct TConnectionTestResult;
struct TProbeReport;
struct TSettings;

class TConnectionPage : public QWidget {
    Q_OBJECT
  public:
    explicit TConnectionPage(QWidget* parent = nullptr);
    ~TConnectionPage() override;

    void LoadFrom(const TSettings& settings);
    // Raises EConvertError when no encryption is chosen (the stored one could not be read) or
    // the trusted certificate is neither empty nor a SHA-256 fingerprint; nothing is changed
    // then.
    void CheckInput() const;
    // CheckInput for OK: false after a box that says what is wrong.
    bool InputAcceptable();
    // Puts the cursor on what CheckInput refused (the page must be shown).
    void FocusFault();
    void StoreTo(TSettings& settings) const;
    // Adds a further option across the page, below the rows already there.
    void AddRow(QWidget* widget);

    // The page's controls in keyboard order.
    QList<QWidget*> TabOrder() const;

    // A new encryption brings its usual port, unless the port is one the user chose.
    void cbEncryptionChange();
    // Starts probing the server with the settings on screen on a worker thread; the button
    // reads "Testing..." until the report shows what it found, offering to trust a certificate
    // where that is a fix. A trusted certificate that is not a fingerprint is reported
    // instead, as OK would.
    void btnTestConnectionClick();
    // Ends a running test at once without a report (the dialog is closing).
    void StopTest();
    bool TestRunning() const;

    // Where the test finds the server's host name (the login page's box).
    std::function<std::string()> HostName;

    QComboBox* cbEncryption;
    QSpinBox* edPort;
    QLineEdit* edTrustedCertificate;
    QPushButton* btnTestConnection;

  private:
    // The encryption, port and trusted certificate shown, as a check would use them.
    void StoreShownTo(TConnection& connection) const;
    void TestEnded(const TConnectionTestResult& result);
    void SetTesting(bool testing);
    void ShowFailure(const QString& text);
    // Shows the report; true when the user chose to trust the certificate it shows.
    bool ShowReport(const TProbeReport& report, const std::string& host);
    uint16_t usualPort_;  // of the encryption shown
    TConnectionTestRun* test_;
    QGridLayout* grid_;
    int freeRow_;  // the first row below the options, which takes the page's spare height
};
