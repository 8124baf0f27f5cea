#include "filter/killlist_store.h"

#include <string>

#include "base/trim.h"
#include "platform/registry.h"

namespace {

class OpenedKey {
  public:
    explicit OpenedKey(TRegistry& registry) : registry_(registry) {}
    ~OpenedKey() { registry_.CloseKey(); }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;

  private:
    TRegistry& registry_;
};

}  // namespace

void LoadKillList(TRegistry& registry, TStringList& list) {
    list.clear();
    OpenedKey closer(registry);
    // No key: no rules, and no error.
    if (!registry.OpenKey(kKillListKey, false)) return;
    for (int n = 0;; ++n) {
        std::string rule = registry.ReadString(std::to_string(n));
        if (rule.empty()) return;  // the first missing or empty value ends the list
        list.push_back(std::move(rule));
    }
}

void SaveKillList(TRegistry& registry, const TStringList& list) {
    registry.DeleteKey(kKillListKey);  // a missing key is fine
    registry.OpenKey(kKillListKey, true);
    OpenedKey closer(registry);
    int k = 0;
    for (const std::string& entry : list) {
        std::string rule = Trim(entry);
        if (rule.empty()) continue;
        registry.WriteString(std::to_string(k++), rule);
    }
}
