#include "shell/mailbox_name.h"

#include "app/settings.h"

QString DialogName(const TMailbox& mailbox) {
    if (!mailbox.Name.empty()) return QString::fromStdString(mailbox.Name);
    const std::string& host = mailbox.Connection.Host;
    if (host.empty()) return "(no server yet)";
    if (mailbox.User.empty()) return QString::fromStdString(host);
    return QString::fromStdString(mailbox.ShownName());
}
