#include "app/check_session.h"

#include "app/settings.h"
#include "filter/examined_record.h"
#include "filter/kill_pass.h"
#include "net/pop3.h"

namespace {

TMatchOptions MatchOptionsOf(const TSettings& settings) {
    return {settings.DecodeHeaders, settings.IgnoreCase};
}

}  // namespace

void PrepareSession(TPop3& pop3, const TMailbox& mailbox) {
    pop3.Use(mailbox.Connection);
    pop3.UserName = mailbox.User;
    pop3.Messages.clear();
}

TCheckSession::TCheckSession(TPop3& pop3, TRegistry& registry, const TSettings& settings,
                             const TMailbox& mailbox)
    : pop3_(pop3), registry_(registry), settings_(settings), mailbox_(mailbox) {}

void TCheckSession::Login() {
    if (mailbox_.FastCheck) {
        fast_.emplace(pop3_, registry_, settings_.LogFile, ExaminedRecord::DefaultFolder(),
                      TDeletionClock(), MatchOptionsOf(settings_));
        fast_->Login();
    } else {
        pop3_.Login();
        pop3_.ReadHeaders();
        pop3_.Logout();
    }
}

int32_t TCheckSession::Listed() const {
    return fast_ ? fast_->Listed() : static_cast<int32_t>(pop3_.MailText.size());
}

void TCheckSession::Run(int32_t& mailCount) {
    if (fast_)
        fast_->Run(mailCount);
    else if (mailCount != 0)
        KillPass(pop3_, registry_, settings_.LogFile, mailCount, MatchOptionsOf(settings_));
}
