#pragma once

// The words of "Test connection": what a probe of the server found.

#include <string>

struct TProbeReport;

// Greeting, protocol and cipher, and the certificate with whether it is trusted for `host`.
std::string ConnectionReportText(const TProbeReport& report, const std::string& host);
