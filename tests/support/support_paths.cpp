#include "support/support_paths.h"

std::string DovecotScriptPath() {
    return VORNASK_DOVECOT_SCRIPT;
}
