#include "net/pop3_pipeline.h"

#include <vector>

#include "net/pop3.h"

void TPop3Pipeline::Retrieve(int32_t n) {
    queued_.push_back({TCommand::Retrieve, n});
}

void TPop3Pipeline::Delete(int32_t n) {
    queued_.push_back({TCommand::Delete, n});
}

void TPop3Pipeline::Quit() {
    queued_.push_back({TCommand::Quit, 0});
}

std::string TPop3Pipeline::Line(const TPending& command) {
    switch (command.Command) {
        case TCommand::Retrieve:
            return "RETR " + std::to_string(command.Number);
        case TCommand::Delete:
            return "DELE " + std::to_string(command.Number);
        case TCommand::Quit:
            break;
    }
    return "QUIT";
}

void TPop3Pipeline::Flush() {
    if (queued_.empty()) return;
    std::vector<std::string> lines;
    for (const TPending& command : queued_) {
        lines.push_back(Line(command));
        quitSent_ = quitSent_ || command.Command == TCommand::Quit;
    }
    pop3_.SendCommands(lines);
    owed_.insert(owed_.end(), queued_.begin(), queued_.end());
    queued_.clear();
}

TPop3Pipeline::TCommand TPop3Pipeline::FlushOne() {
    const TPending command = queued_.front();
    queued_.pop_front();
    pop3_.SendCommands({Line(command)});
    quitSent_ = quitSent_ || command.Command == TCommand::Quit;
    owed_.push_back(command);
    return command.Command;
}

TPop3Pipeline::TReply TPop3Pipeline::ReadNext() {
    const TPending command = owed_.front();
    owed_.pop_front();
    outOfStep_ = true;
    TReply reply = Read(command);
    outOfStep_ = false;
    return reply;
}

// A "-ERR" leaves the session in step; anything else (a lost connection) does not.
TPop3Pipeline::TReply TPop3Pipeline::Read(const TPending& command) {
    TReply reply{command.Command, command.Number, TOutcome::Done, nullptr};
    try {
        pop3_.CheckReply();
    } catch (const EProtocolError& e) {
        if (e.ErrorCode != kRefusedReply || command.Command == TCommand::Quit) throw;
        reply.Outcome = TOutcome::Refused;
        reply.Refusal = std::current_exception();
        return reply;
    }
    if (command.Command == TCommand::Retrieve) {
        pop3_.ReadMessageText();
        reply.Outcome = TOutcome::Retrieved;
    } else if (command.Command == TCommand::Quit) {
        pop3_.CloseSession();
    }
    return reply;
}
