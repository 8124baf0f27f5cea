#include "support/test_certificates.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace {

std::string Output(const std::string& command) {
    std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) throw std::runtime_error("cannot run " + command);
    std::string text;
    std::array<char, 256> buffer;
    while (fgets(buffer.data(), buffer.size(), pipe.get())) text += buffer.data();
    return text;
}

}  // namespace

TestCertificates::TestCertificates() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vornask-certs-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    const std::string command = "bash '" VORNASK_CERT_SCRIPT "' '" + dir_ + "'";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("making certificates failed");
}

TestCertificates::~TestCertificates() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

const TestCertificates& TestCertificates::Get() {
    static const TestCertificates certificates;
    return certificates;
}

std::string TestCertificates::Fingerprint(const std::string& name) const {
    // "sha256 Fingerprint=AB:CD:..."
    std::string line = Output("openssl x509 -noout -fingerprint -sha256 -in '" + Pem(name) + "'");
    line = line.substr(line.find('=') + 1);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}
