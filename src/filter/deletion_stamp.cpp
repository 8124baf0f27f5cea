#include "filter/deletion_stamp.h"

#include <langinfo.h>
#include <locale.h>
#include <vector>

namespace {

// The locale's time conventions, released with the object.
class TimeLocale {
  public:
    explicit TimeLocale(const std::string& name)
        : locale_(::newlocale(LC_TIME_MASK, name.c_str(), static_cast<locale_t>(0))) {
        if (!locale_) locale_ = ::newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
    }
    ~TimeLocale() {
        if (locale_) ::freelocale(locale_);
    }
    TimeLocale(const TimeLocale&) = delete;
    TimeLocale& operator=(const TimeLocale&) = delete;

    std::string Item(nl_item item, const char* fallback) const {
        return locale_ ? ::nl_langinfo_l(item, locale_) : fallback;
    }

    std::string Format(const std::string& format, const std::tm& local) const {
        if (format.empty()) return {};
        for (size_t size = 128;; size *= 2) {
            std::vector<char> buffer(size);
            const size_t length =
                locale_ ? ::strftime_l(buffer.data(), size, format.c_str(), &local, locale_)
                        : std::strftime(buffer.data(), size, format.c_str(), &local);
            if (length > 0 || size > 4096) return std::string(buffer.data(), length);
        }
    }

  private:
    locale_t locale_;
};

}  // namespace

std::string FormatDeletionTime(const std::tm& local, const std::string& localeName) {
    const TimeLocale locale(localeName);
    std::string format = locale.Item(D_FMT, "%m/%d/%y");
    if (local.tm_hour != 0 || local.tm_min != 0 || local.tm_sec != 0) {
        // Appended piece by piece: `" " + text` trips GCC's -Wrestrict in optimised builds.
        format += ' ';
        format += locale.Item(T_FMT, "%H:%M:%S");
    }
    return locale.Format(format, local);
}

std::string DeletionStamp(std::time_t when) {
    std::tm local{};
    ::localtime_r(&when, &local);
    return "[Message has been deleted at " + FormatDeletionTime(local) + "]";
}
