#include "mailbox_filler.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>

namespace {

const char* const kWords[] = {"meeting",  "invoice", "project", "update",  "please",   "review",
                              "attached", "report",  "quarter", "numbers", "schedule", "team",
                              "thanks",   "regards", "next",    "week",    "budget",   "draft"};

std::string Word(std::mt19937& rng) {
    return kWords[rng() % (sizeof kWords / sizeof kWords[0])];
}

// Every other subject is encoded and folded, as much mail writes it.
std::string Subject(int n, std::mt19937& rng) {
    const std::string words = Word(rng) + " " + Word(rng);
    const std::string number = " #" + std::to_string(n);
    if (n % 2) return "Subject: " + words + number + "\n";
    const auto q = [](std::string text) {
        std::replace(text.begin(), text.end(), ' ', '_');
        return "=?UTF-8?Q?" + text + "?=";
    };
    return "Subject: " + q(words) + "\n " + q(number) + "\n";
}

std::string Headers(int n, std::mt19937& rng) {
    char date[64];
    std::snprintf(date, sizeof date, "Tue, %d Mar 2024 %02d:%02d:%02d +0100", 1 + n % 28, n % 24,
                  n % 60, (n * 7) % 60);
    const std::string sender = "sender" + std::to_string(n % 97);
    return "Return-Path: <" + sender + "@example.net>\n" + "Received: from mx" +
           std::to_string(n % 5) +
           ".example.net (mx.example.net [192.0.2.10])\n\tby mail.example.org (Postfix) with "
           "ESMTPS id 4Tq" +
           std::to_string(100000 + n) + "\n\tfor <joe@example.org>; " + date + "\n" +
           "Received: from localhost (localhost [127.0.0.1])\n\tby mx.example.net; " + date + "\n" +
           "Message-ID: <" + std::to_string(n) + ".bench@example.net>\n" + "Date: " + date + "\n" +
           "From: " + Word(rng) + " Sender <" + sender + "@example.net>\n" +
           "To: Joe <joe@example.org>\n" + Subject(n, rng) + "MIME-Version: 1.0\n" +
           "Content-Type: text/plain; charset=us-ascii\n" + "Content-Transfer-Encoding: 7bit\n" +
           "\n";
}

std::string Body(size_t size, std::mt19937& rng) {
    std::string body, line;
    while (body.size() < size) {
        while (line.size() < 68) line += Word(rng) + " ";
        body += line + "\n";
        line.clear();
    }
    return body;
}

}  // namespace

size_t FillMaildir(const std::string& maildir, int count, size_t size) {
    std::mt19937 rng(42);
    size_t total = 0;
    for (int n = 1; n <= count; ++n) {
        std::string text = Headers(n, rng);
        text += Body(size > text.size() ? size - text.size() : 0, rng);
        char name[64];
        std::snprintf(name, sizeof name, "/new/1700000000.N%08d.bench", n);
        const std::string path = maildir + name;
        std::ofstream(path, std::ios::binary) << text;
        if (getuid() == 0 && chown(path.c_str(), 5000, 5000) != 0) std::perror("chown");
        total += text.size();
    }
    return total;
}
