// What OK refuses on the connection page: a choice left open, OAuth2 without encryption or
// with an address its rule refuses, a pin that is no fingerprint, IMAP moving condemned mail
// into the folder it guards; the box that says so and where the cursor goes.

#include <QComboBox>
#include <QLineEdit>

#include "app/failure_advice.h"
#include "base/exception.h"
#include "net/encryption.h"
#include "shell/connection_page.h"
#include "shell/oauth_group.h"

namespace {

// Whether two IMAP folder names are one folder: INBOX (also an empty name) in any case, any
// other name exactly.
bool SameFolder(const QString& a, const QString& b) {
    const auto name = [](const QString& text) {
        const QString trimmed = text.trimmed();
        return trimmed.isEmpty() || trimmed.compare("INBOX", Qt::CaseInsensitive) == 0
                   ? QString("INBOX")
                   : trimmed;
    };
    return name(a) == name(b);
}

}  // namespace

TConnectionPage::TFault TConnectionPage::Fault(std::string& text) const {
    if (cbProtocol->currentIndex() < 0) {
        text = "Choose the protocol on the Connection page";
        return TFault::Protocol;
    }
    if (cbEncryption->currentIndex() < 0) {
        text = "Choose the encryption on the Connection page";
        return TFault::Encryption;
    }
    if (cbAuthentication->currentIndex() < 0) {
        text = "Choose the authentication on the Connection page";
        return TFault::Authentication;
    }
    if (OAuthChosen()) {
        if (EncryptionFromNumber(cbEncryption->currentIndex()) == TEncryption::None) {
            text = kOAuthNeedsEncryptionText;
            return TFault::OAuthEncryption;
        }
        if (const auto refusal = gbOAuth->Refusal()) {
            text = refusal->Text;
            return TFault::OAuth;
        }
    }
    const std::string pin = edTrustedCertificate->text().trimmed().toStdString();
    if (!pin.empty() && !NormalizeFingerprint(pin)) {
        text = "'" + pin + "' is not a SHA-256 fingerprint";
        return TFault::Pin;
    }
    // Moved into the folder guarded, condemned mail would arrive there again, endlessly.
    if (ImapChosen() && !edMoveTo->text().trimmed().isEmpty() &&
        SameFolder(edMoveTo->text(), edFolder->text())) {
        text =
            "Condemned mail cannot be moved into the folder it was found in; leave \"Move "
            "condemned mail to\" empty to delete it, or name another folder";
        return TFault::MoveTo;
    }
    return TFault::None;
}

void TConnectionPage::CheckInput() const {
    std::string text;
    if (Fault(text) != TFault::None) throw EConvertError(text);
}

bool TConnectionPage::InputAcceptable() {
    std::string message;
    const TFault fault = Fault(message);
    if (fault == TFault::None) return true;
    QString text = QString::fromStdString(message);
    if (fault == TFault::Pin)
        text +=
            "\n\nEnter the 32 hex pairs of the certificate's SHA-256 fingerprint, as openssl "
            "x509 -fingerprint -sha256 prints them, or leave the field empty.";
    else if (!text.endsWith('.'))
        text += '.';
    ShowFailure(text,
                fault == TFault::Pin || fault == TFault::Encryption ? kTestTitle : "Mail options");
    return false;
}

void TConnectionPage::FocusFault() {
    std::string text;
    QWidget* target = nullptr;
    switch (Fault(text)) {
        case TFault::None:
            return;
        case TFault::Protocol:
            target = cbProtocol;
            break;
        case TFault::MoveTo:
            target = edMoveTo;
            break;
        case TFault::Encryption:
        case TFault::OAuthEncryption:
            target = cbEncryption;
            break;
        case TFault::Authentication:
            target = cbAuthentication;
            break;
        case TFault::OAuth:
            target = gbOAuth->Refusal()->Field;
            break;
        case TFault::Pin:
            target = edTrustedCertificate;
            break;
    }
    target->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(target)) edit->selectAll();
}
