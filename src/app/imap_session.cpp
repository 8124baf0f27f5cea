#include "app/imap_session.h"

#include "app/settings.h"
#include "net/imap.h"

void PrepareImapSession(TImap& imap, const TMailbox& mailbox, const TCredential& credential) {
    imap.Use(mailbox.Connection);
    imap.UserName = mailbox.User;
    imap.Password.clear();
    imap.AccessToken.clear();
    if (imap.Authentication == TAuthentication::OAuth2)
        imap.AccessToken = credential.Secret;
    else
        imap.Password = credential.Secret;
}

void OpenImapSession(TImap& imap, const TMailbox& mailbox, const TCredential& credential) {
    PrepareImapSession(imap, mailbox, credential);
    imap.Open();
}
