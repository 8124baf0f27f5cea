#pragma once

// The words of "Test connection": what a probe of the server found.

#include <QString>
#include <string>

struct TProbeReport;

// Greeting, the encryption used with its protocol and cipher, and the certificate with whether
// it is trusted for `host`, as rich text: every text from the server or its certificate is
// escaped, so none of it can draw markup, and the fingerprint stands in a fixed-width font;
// then the server's capabilities when the probe read them, whether it signed in, when it
// tried, and the folder's message count ("INBOX: 12 messages") when it looked at one.
// nowUtc ("2026-01-31 12:00:00 UTC", as TTlsPeer's dates) tells a pinned certificate that is
// out of its validity period.
QString ConnectionReportHtml(const TProbeReport& report, const std::string& host,
                             const std::string& nowUtc);

// Whether trusting the shown certificate is a fix: not for one out of its validity period.
bool OffersTrust(const TProbeReport& report);

// The fingerprint's pairs in two lines of sixteen, the first ending with its colon.
QString FingerprintLines(const std::string& fingerprint);

// The current time as TTlsPeer writes its dates.
std::string UtcNowText();
