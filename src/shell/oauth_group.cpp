#include "shell/oauth_group.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <algorithm>
#include <utility>

#include "app/token_source.h"
#include "platform/app_exceptions.h"
#include "platform/dialog_layout.h"
#include "platform/oauth_config.h"

namespace {

const char* const kSignInCaption = "S&ign in";
const char* const kNotSignedInText = "Not signed in";
const char* const kFixedFieldTip = "Fixed for this provider; choose \"Other\" to edit.";

// A read-only field takes the dialog's background instead of an input field's, so that it
// does not look editable; its text stays selectable. Editable again, it follows the page.
void ShowFixed(QLineEdit* edit, bool fixed) {
    edit->setReadOnly(fixed);
    edit->setToolTip(fixed ? kFixedFieldTip : QString());
    if (!fixed) {
        edit->setPalette(QPalette());
        return;
    }
    QPalette palette = edit->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setBrush(group, QPalette::Base, palette.brush(group, QPalette::Window));
    edit->setPalette(palette);
}

std::string Trimmed(const QLineEdit* edit) {
    return edit->text().trimmed().toStdString();
}

}  // namespace

TOAuthGroup::TOAuthGroup(QWidget* parent) : QGroupBox("OAuth2", parent) {
    cbProvider = new QComboBox(this);
    for (const TOAuthProvider& provider : OAuthProviders())
        cbProvider->addItem(QString::fromStdString(provider.Name));
    const auto field = [this](const QString& placeholder = {}) {
        auto* edit = new QLineEdit(this);
        edit->setPlaceholderText(placeholder);
        return edit;
    };
    edAuthorizationUrl = field();
    edTokenUrl = field();
    edScope = field();
    edClientId = field("from your registration with the provider");
    edClientSecret = field("optional");
    edClientSecret->setEchoMode(QLineEdit::Password);
    edTokenCommand = field("optional: prints an access token, replaces the sign-in");
    btnSignIn = new QPushButton(kSignInCaption, this);
    SetSizeAtLeast(btnSignIn, btnSignIn->fontMetrics().horizontalAdvance("Signing in...") + 24, 24);
    btnSignOut = new QPushButton("Sig&n out", this);
    btnSignOut->setEnabled(false);
    lblSignedIn = new QLabel(kNotSignedInText, this);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setVerticalSpacing(3);
    const std::pair<const char*, QWidget*> rows[] = {
        {"Pro&vider", cbProvider},         {"Authori&zation URL", edAuthorizationUrl},
        {"Token &URL", edTokenUrl},        {"Sc&ope", edScope},
        {"Client I&D", edClientId},        {"Client secret", edClientSecret},
        {"Token co&mmand", edTokenCommand}};
    int row = 0;
    for (const auto& [caption, widget] : rows) {
        grid->addWidget(MakeBuddyLabel(caption, widget, this), row, 0);
        grid->addWidget(widget, row++, 1, 1, 2,
                        widget == cbProvider ? Qt::AlignLeft : Qt::Alignment());
    }
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    buttons->addWidget(btnSignIn);
    buttons->addWidget(btnSignOut);
    grid->addLayout(buttons, row, 1, Qt::AlignLeft);
    grid->addWidget(lblSignedIn, row, 2);
    grid->setColumnStretch(2, 1);
    ConnectGuarded(cbProvider, &QComboBox::currentIndexChanged, this,
                   [this] { cbProviderChange(); });
    connect(btnSignIn, &QPushButton::clicked, this, &TOAuthGroup::signInClicked);
    connect(btnSignOut, &QPushButton::clicked, this, &TOAuthGroup::signOutClicked);
    cbProviderChange();
}

QList<QWidget*> TOAuthGroup::TabOrder() const {
    return {cbProvider,     edAuthorizationUrl, edTokenUrl, edScope,   edClientId,
            edClientSecret, edTokenCommand,     btnSignIn,  btnSignOut};
}

void TOAuthGroup::LoadFrom(const TOAuthConfig& oauth) {
    edAuthorizationUrl->setText(QString::fromStdString(oauth.AuthorizationUrl));
    edTokenUrl->setText(QString::fromStdString(oauth.TokenUrl));
    edScope->setText(QString::fromStdString(oauth.Scope));
    edClientId->setText(QString::fromStdString(oauth.ClientId));
    edClientSecret->setText(QString::fromStdString(oauth.ClientSecret));
    edTokenCommand->setText(QString::fromStdString(oauth.TokenCommand));
    // The provider shown is the one whose addresses these are.
    const auto& providers = OAuthProviders();
    const auto known = std::ranges::find_if(providers, [&](const TOAuthProvider& p) {
        return p.AuthorizationUrl == oauth.AuthorizationUrl && p.TokenUrl == oauth.TokenUrl &&
               !p.AuthorizationUrl.empty();
    });
    {
        const QSignalBlocker quiet(cbProvider);
        cbProvider->setCurrentIndex(known == providers.end()
                                        ? static_cast<int>(providers.size()) - 1
                                        : static_cast<int>(known - providers.begin()));
    }
    cbProviderChange();
}

void TOAuthGroup::StoreTo(TOAuthConfig& oauth) const {
    oauth.AuthorizationUrl = Trimmed(edAuthorizationUrl);
    oauth.TokenUrl = Trimmed(edTokenUrl);
    oauth.Scope = Trimmed(edScope);
    oauth.ClientId = Trimmed(edClientId);
    oauth.ClientSecret = edClientSecret->text().toStdString();
    oauth.TokenCommand = Trimmed(edTokenCommand);
}

std::optional<TOAuthGroup::TRefusal> TOAuthGroup::Refusal() const {
    // A token command replaces the provider's addresses.
    if (!Trimmed(edTokenCommand).empty()) return std::nullopt;
    if (auto text = OAuthUrlRefusal("The authorization URL", Trimmed(edAuthorizationUrl)))
        return TRefusal{*text, edAuthorizationUrl};
    if (auto text = OAuthUrlRefusal("The token URL", Trimmed(edTokenUrl)))
        return TRefusal{*text, edTokenUrl};
    return std::nullopt;
}

void TOAuthGroup::cbProviderChange() {
    const auto& providers = OAuthProviders();
    const int index = cbProvider->currentIndex();
    if (index < 0 || index >= static_cast<int>(providers.size())) return;
    const TOAuthProvider& provider = providers[index];
    const bool fixed = !provider.AuthorizationUrl.empty();
    if (fixed) {
        edAuthorizationUrl->setText(QString::fromStdString(provider.AuthorizationUrl));
        edTokenUrl->setText(QString::fromStdString(provider.TokenUrl));
        edScope->setText(QString::fromStdString(imap_ ? provider.ImapScope : provider.Scope));
    }
    for (QLineEdit* edit : {edAuthorizationUrl, edTokenUrl, edScope}) ShowFixed(edit, fixed);
}

void TOAuthGroup::ShowScopesFor(bool imap) {
    imap_ = imap;
    cbProviderChange();
}

void TOAuthGroup::ShowSignedIn(const std::optional<std::string>& user) {
    lblSignedIn->setText(user ? "Signed in as " + QString::fromStdString(*user)
                              : QString(kNotSignedInText));
    btnSignOut->setEnabled(user && !signIn_);
}

void TOAuthGroup::StartSignIn(TTokenSource& tokens, const TMailbox& account) {
    if (signIn_) return;
    signInMade_ = account;
    signIn_ = ::StartSignIn(tokens, *signInMade_, this, [this](const QString& failure) {
        Guarded(btnSignIn, [&] { SignInEnded(failure); });
    });
    btnSignIn->setEnabled(false);
    btnSignIn->setText("Signing in...");
    btnSignOut->setEnabled(false);
}

void TOAuthGroup::SignInEnded(const QString& failure) {
    signIn_ = nullptr;
    btnSignIn->setEnabled(true);
    btnSignIn->setText(kSignInCaption);
    emit signInEnded(failure);
}
