#include "app/imap_session.h"

#include "app/settings.h"
#include "filter/examined_record.h"
#include "net/imap.h"

void PrepareImapSession(TImap& imap, const TMailbox& mailbox, const TCredential& credential) {
    imap.Use(mailbox.Connection);
    imap.UserName = mailbox.User;
    UseCredential(imap, credential);
}

void OpenImapSession(TImap& imap, const TMailbox& mailbox, const TCredential& credential) {
    PrepareImapSession(imap, mailbox, credential);
    imap.Open();
}

TImapPassSettings ImapPassSettingsOf(const TSettings& settings, const TMailbox& mailbox) {
    TImapPassSettings pass;
    pass.Folder = mailbox.Folder;
    pass.MoveTo = mailbox.MoveTo;
    pass.LogFile = settings.LogFile;
    pass.RecordFolder = ExaminedRecord::DefaultFolder();
    pass.Options = {settings.DecodeHeaders, settings.IgnoreCase};
    return pass;
}
