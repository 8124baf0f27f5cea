#include "poplib_yardstick.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace {

const char* const kScript = R"(
import poplib, ssl, sys, time
port, user, password, tls = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4] == "tls"
def session():
    if tls:
        p = poplib.POP3_SSL("127.0.0.1", port, context=ssl._create_unverified_context())
    else:
        p = poplib.POP3("127.0.0.1", port)
    p.user(user)
    p.pass_(password)
    return p, [int(l.split()[0]) for l in p.list()[1]]
t = time.perf_counter()
p, numbers = session()
for n in reversed(numbers):
    p.top(n, 1)
p.quit()
headers = time.perf_counter() - t
t = time.perf_counter()
p, numbers = session()
for n in numbers:
    p.retr(n)
p.quit()
print(headers, time.perf_counter() - t)
)";

}  // namespace

PoplibTimes RunPoplib(uint16_t port, const std::string& user, const std::string& password,
                      bool tls) {
    const std::string command = "/usr/bin/python3 -c '" + std::string(kScript) + "' " +
                                std::to_string(port) + " '" + user + "' '" + password + "' " +
                                (tls ? "tls" : "plain");
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    PoplibTimes times;
    if (!pipe || std::fscanf(pipe.get(), "%lf %lf", &times.headers, &times.retrieve) != 2)
        throw std::runtime_error("poplib yardstick failed");
    return times;
}
