// Shows one of the two dialogs with sample content until it is closed, for screenshots.
// Usage: dialog_shots killlist | mailopt | mailopt-receiving | mailopt-connection |
//        mailopt-oauth [PNG]
// With PNG (for the offscreen platform) the dialog is painted into that file instead.

#include <QApplication>
#include <QTabWidget>
#include <cstdio>
#include <memory>

#include "app/settings.h"
#include "shell/kill_list_editor.h"
#include "shell/mailopt.h"

namespace {

std::unique_ptr<QDialog> MakeKillList() {
    auto dialog = std::make_unique<TdlgKillList>(nullptr);
    dialog->SetItems({"Subject: <> win", "From: = casino", "Reply-To: = offers@example.com",
                      "Return-Path: = bulk", "To: <> anna@example.org"});
    return dialog;
}

std::unique_ptr<QDialog> MakeMailOptions(int page, bool oauth) {
    TSettings settings;
    settings.Mailboxes[0].Connection.Host = "pop.example.org";
    settings.Mailboxes[0].User = "anna";
    settings.Interval = 10;
    settings.MailProgram = "\"/opt/mail reader/reader\"";
    settings.WavSound = "/usr/share/sounds/new-mail.wav";
    settings.ShowMessage = true;
    settings.Mailboxes[0].Connection.Encryption = TEncryption::TlsOnConnect;
    settings.Mailboxes[0].Connection.Port = 995;
    if (oauth) {
        settings.Mailboxes[0].Connection.Authentication = TAuthentication::OAuth2;
        settings.Mailboxes[0].OAuth.ClientId = "0b7c5e0e-4a1d-4c5e-9d4e-2f3a1b6c7d8e";
    }
    auto dialog = std::make_unique<TdlgMailOptions>(nullptr);
    dialog->LoadFrom(settings);
    dialog->pcOptions->setCurrentIndex(page);
    return dialog;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString what = argc > 1 ? QString(argv[1]) : QString("killlist");
    const bool oauth = what == "mailopt-oauth";
    const int page = what == "mailopt-connection" || oauth ? 2
                     : what == "mailopt-receiving"         ? 1
                                                           : 0;
    std::unique_ptr<QDialog> dialog =
        what == "killlist" ? MakeKillList() : MakeMailOptions(page, oauth);
    dialog->show();
    std::printf("%dx%d\n", dialog->width(), dialog->height());
    std::fflush(stdout);
    if (argc > 2) return dialog->grab().save(QString(argv[2])) ? 0 : 1;
    return app.exec();
}
