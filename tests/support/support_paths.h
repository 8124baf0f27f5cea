#pragma once

#include <string>

// Absolute path of tests/support/dovecot-instance.sh in the source tree.
std::string DovecotScriptPath();
