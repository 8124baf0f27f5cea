#pragma once

// Proof Key for Code Exchange (RFC 7636, method S256) and the random texts of a sign-in.

#include <QString>

// bytes of the system's secure random source as base64url without padding.
QString RandomUrlSafeText(int bytes);

// base64url(SHA-256(verifier)) without padding.
QString PkceChallenge(const QString& verifier);
