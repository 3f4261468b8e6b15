#include "trust/catalogue_freshness.h"

namespace pelmora {
namespace {

constexpr size_t kMaxSerialDigits = 18;  // fits uint64_t with room to spare

bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

std::optional<int> ParseDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    const std::string_view y = text.substr(0, 4), m = text.substr(5, 2), d = text.substr(8, 2);
    if (!AllDigits(y) || !AllDigits(m) || !AllDigits(d)) return std::nullopt;
    const int year = std::stoi(std::string(y)), month = std::stoi(std::string(m)),
              day = std::stoi(std::string(d));
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
    return year * 10000 + month * 100 + day;
}

std::optional<uint64_t> ParseSerial(std::string_view text) {
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    if (!AllDigits(text) || text.size() > kMaxSerialDigits) return std::nullopt;
    uint64_t value = 0;
    for (const char c : text) value = value * 10 + static_cast<uint64_t>(c - '0');
    return value;
}

FreshnessVerdict JudgeFreshness(const CatalogueFreshness& freshness, uint64_t highestAccepted,
                                int today) {
    if (!freshness.problem.empty()) return FreshnessVerdict::Unreadable;
    if (freshness.serial < highestAccepted) return FreshnessVerdict::Replayed;
    if (freshness.expires && *freshness.expires < today) return FreshnessVerdict::Expired;
    return FreshnessVerdict::Fresh;
}

}  // namespace pelmora
