#include "filter/kill_list_store.h"

#include <string>

#include "base/trim.h"
#include "platform/registry.h"

void LoadKillList(TRegistry& registry, TStringList& list) {
    list.clear();
    TKeyCloser closer(registry);
    // No key: no rules, and no error.
    if (!registry.OpenKey(kKillListKey, false)) return;
    for (int n = 0;; ++n) {
        std::string rule = registry.ReadString(std::to_string(n));
        if (rule.empty()) return;  // the first missing or empty value ends the list
        list.push_back(std::move(rule));
    }
}

// The whole list goes to the file in one replacement: never half a list, and one write.
void SaveKillList(TRegistry& registry, const TStringList& list) {
    TRegistryBatch batch(registry);
    registry.DeleteKey(kKillListKey);  // a missing key is fine
    registry.OpenKey(kKillListKey, true);
    {
        TKeyCloser closer(registry);
        int k = 0;
        for (const std::string& rule : KillListAsStored(list)) {
            registry.WriteString(std::to_string(k++), rule);
        }
    }
    batch.Commit();
}

TStringList KillListAsStored(const TStringList& list) {
    TStringList rules;
    for (const std::string& entry : list) {
        std::string rule = Trim(entry);
        if (!rule.empty()) rules.push_back(std::move(rule));
    }
    return rules;
}
