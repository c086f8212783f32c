#include "filters/first_look.h"

#include <algorithm>
#include <array>
#include <bit>

namespace filters {
namespace {

constexpr std::size_t kPlaces = scan::PlaceTable::kMaxPlaces;
constexpr std::size_t kGroups = scan::PlaceTable::kGroups;

bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Calls `allow(byte)` for each byte that matches character `c` of a sign.
template <class Allow>
void for_each_byte(const Sign& sign, char c, Allow allow) {
    allow(static_cast<unsigned char>(c));
    if (sign.ignore_case && is_ascii_letter(c)) allow(static_cast<unsigned char>(c ^ 0x20));
}

// A rough model of text of the kinds the filters read, for the choice of
// groups: what a false hit of the scan costs depends on how often text
// holds a window that a group lets through. Bytes fall in classes; a byte
// follows one of a class with a chance that depends on the class before it
// (letters run on in words, digits in numbers), and it repeats the byte
// before it with chance kRepeat ("-----", a run of blanks). So letters
// that a group lets through one after another cost far more than their
// shares multiplied would say.
enum ByteClass : std::uint8_t { kLower, kUpper, kDigit, kBlank, kNewline, kPunct, kOther, kClasses };

constexpr double kRepeat = 0.2;
// The chance of each class after each class (rows: the class before).
constexpr double kFollow[kClasses][kClasses] = {
    {0.78, 0.02, 0.02, 0.12, 0.02, 0.04, 0.00},  // lower
    {0.50, 0.30, 0.03, 0.07, 0.01, 0.09, 0.00},  // upper
    {0.05, 0.02, 0.60, 0.12, 0.03, 0.18, 0.00},  // digit
    {0.45, 0.10, 0.10, 0.18, 0.02, 0.15, 0.00},  // blank
    {0.30, 0.15, 0.10, 0.30, 0.05, 0.10, 0.00},  // newline
    {0.35, 0.08, 0.15, 0.17, 0.05, 0.20, 0.00},  // punctuation
    {0.05, 0.00, 0.00, 0.02, 0.01, 0.02, 0.90},  // other
};
// The share of each class among all bytes.
constexpr double kClassShare[kClasses] = {0.45, 0.06, 0.10, 0.14, 0.03, 0.21, 0.01};

struct ByteModel {
    std::array<ByteClass, 256> cls{};
    std::array<double, 256> within{};  // the byte's share among the bytes of its class
};

constexpr ByteModel kModel = [] {
    ByteModel m;
    std::array<double, 256> weight{};
    for (unsigned b = 0; b < 256; ++b) {
        m.cls[b] = kOther;
        weight[b] = 1;
    }
    // Letters by their share in English prose.
    constexpr double kLetters[26] = {8.2, 1.5, 2.8, 4.3, 12.7, 2.2, 2.0, 6.1, 7.0, 0.15, 0.8,  4.0, 2.4,
                                     6.7, 7.5, 1.9, 0.1, 6.0,  6.3, 9.1, 2.8, 1.0, 2.4,  0.15, 2.0, 0.07};
    for (unsigned k = 0; k < 26; ++k) {
        m.cls['a' + k] = kLower;
        m.cls['A' + k] = kUpper;
        weight['a' + k] = weight['A' + k] = kLetters[k];
    }
    for (unsigned b = '0'; b <= '9'; ++b) m.cls[b] = kDigit;
    m.cls[' '] = m.cls['\t'] = kBlank;
    weight[' '] = 19;
    m.cls['\n'] = kNewline;
    for (unsigned b = '!'; b <= '~'; ++b)
        if (m.cls[b] == kOther) m.cls[b] = kPunct;
    // The punctuation of paths, code, keys and rules is the most common.
    for (unsigned char b : std::string_view(":/.-_=,\"()")) weight[b] = 4;
    for (unsigned char b : std::string_view("#[]{}<>*+|'")) weight[b] = 2;
    std::array<double, kClasses> sum{};
    for (unsigned b = 0; b < 256; ++b) sum[m.cls[b]] += weight[b];
    for (unsigned b = 0; b < 256; ++b) m.within[b] = weight[b] / sum[m.cls[b]];
    return m;
}();

// What the scan table lets one group have at each place, as the sets of
// low and high half-bytes it keeps, for the choice of groups.
struct GroupShape {
    std::array<std::uint16_t, kPlaces> low{}, high{};
    std::array<bool, kPlaces> any{};
    bool empty = true;

    void add(const Sign& sign) {
        empty = false;
        for (std::size_t place = 0; place < kPlaces; ++place) {
            if (place >= sign.literal.size()) {
                any[place] = true;
                continue;
            }
            for_each_byte(sign, sign.literal[place], [&](unsigned char b) {
                low[place] |= static_cast<std::uint16_t>(1u << (b & 15u));
                high[place] |= static_cast<std::uint16_t>(1u << (b >> 4));
            });
        }
    }
    void add(const GroupShape& other) {
        empty = empty && other.empty;
        for (std::size_t place = 0; place < kPlaces; ++place) {
            low[place] |= other.low[place];
            high[place] |= other.high[place];
            any[place] = any[place] || other.any[place];
        }
    }
    // The share of positions of a text at which the group may start, in
    // the model above: each place lets through every byte whose two halves
    // it keeps.
    double hit_rate() const {
        if (empty) return 0;
        // The chance that the window matches up to the place at hand and
        // has byte b there (zero for a byte the place does not allow), and
        // the bytes it allows.
        std::array<double, 256> chance{};
        // Written before they are read; left unset, as this runs for each
        // pair of groups while the groups are chosen.
        std::array<unsigned char, 256> bytes, next_bytes;
        std::array<double, 256> next_chance;
        std::size_t count = 0;
        double total = 0;
        for (std::size_t place = 0; place < kPlaces; ++place) {
            // Places that allow any byte come last (past the shortest
            // sign's end): the window matches whatever follows.
            if (any[place]) break;
            // The chance of each class at this place, after the bytes the
            // window matched so far.
            std::array<double, kClasses> follow{};
            if (place == 0) {
                for (std::size_t c = 0; c < kClasses; ++c) follow[c] = kClassShare[c];
            } else {
                std::array<double, kClasses> before{};
                for (std::size_t k = 0; k < count; ++k) before[kModel.cls[bytes[k]]] += chance[bytes[k]];
                for (std::size_t from = 0; from < kClasses; ++from)
                    for (std::size_t to = 0; to < kClasses; ++to) follow[to] += before[from] * kFollow[from][to];
            }
            std::size_t next_count = 0;
            double next_total = 0;
            for (std::uint16_t lows = low[place]; lows != 0; lows &= static_cast<std::uint16_t>(lows - 1))
                for (std::uint16_t highs = high[place]; highs != 0; highs &= static_cast<std::uint16_t>(highs - 1)) {
                    const auto b = static_cast<unsigned char>(std::countr_zero(highs) << 4 | std::countr_zero(lows));
                    const double fresh = follow[kModel.cls[b]] * kModel.within[b];
                    const double c = place == 0 ? fresh : kRepeat * chance[b] + (1 - kRepeat) * fresh;
                    next_bytes[next_count] = b;
                    next_chance[next_count++] = c;
                    next_total += c;
                }
            for (std::size_t k = 0; k < count; ++k) chance[bytes[k]] = 0;
            for (std::size_t k = 0; k < next_count; ++k) chance[next_bytes[k]] = next_chance[k];
            bytes = next_bytes;
            count = next_count;
            total = next_total;
        }
        return std::min(total, 1.0);
    }
};

bool matches_at(std::string_view text, std::size_t at, const Sign& sign) {
    const std::string_view s = sign.literal;
    if (text.size() - at < s.size()) return false;
    if (!sign.ignore_case) return text.compare(at, s.size(), s) == 0;
    for (std::size_t k = 0; k < s.size(); ++k) {
        const char a = text[at + k], b = s[k];
        if (a != b && !(is_ascii_letter(b) && (a ^ 0x20) == b)) return false;
    }
    return true;
}

// The scan table of the signs not found yet.
scan::PlaceTable table_of(const SignSet& set, const std::vector<std::size_t>& first) {
    scan::PlaceTable table(kPlaces);
    const std::span<const Sign> signs = set.signs();
    for (std::size_t i = 0; i < signs.size(); ++i) {
        if (first[i] != FirstLook::npos) continue;
        const auto bit = static_cast<std::uint8_t>(1u << set.group(i));
        for (std::size_t place = 0; place < kPlaces; ++place) {
            if (place >= signs[i].literal.size()) {
                table.allow_any(place, bit);
                continue;
            }
            for_each_byte(signs[i], signs[i].literal[place], [&](unsigned char b) { table.allow(place, b, bit); });
        }
    }
    return table;
}

}  // namespace

SignSet::SignSet(std::vector<Sign> signs) : signs_(std::move(signs)), group_(signs_.size(), 0) {
    // Each sign starts in a group of its own; while there are more groups
    // than the scan has, the two whose joining adds the fewest hits are
    // joined. So signs alike in their bytes share a group ("::error" and
    // "::warning", "{" and "["), and a short sign, which lets any byte
    // through past its end, does not spoil a long one's group.
    struct Cluster {
        GroupShape shape;
        double rate;
        std::vector<std::uint16_t> members;
    };
    std::vector<Cluster> clusters;
    for (std::size_t i = 0; i < signs_.size(); ++i) {
        Cluster c;
        c.shape.add(signs_[i]);
        c.rate = c.shape.hit_rate();
        c.members.push_back(static_cast<std::uint16_t>(i));
        clusters.push_back(std::move(c));
    }
    // What joining each pair would add, found again only for the pairs of
    // a group just joined.
    const auto added_by = [&clusters](std::size_t a, std::size_t b) {
        GroupShape joined = clusters[a].shape;
        joined.add(clusters[b].shape);
        return joined.hit_rate() - clusters[a].rate - clusters[b].rate;
    };
    std::vector<std::vector<double>> added(clusters.size(), std::vector<double>(clusters.size()));
    for (std::size_t a = 0; a < clusters.size(); ++a)
        for (std::size_t b = a + 1; b < clusters.size(); ++b) added[a][b] = added_by(a, b);
    while (clusters.size() > kGroups) {
        std::size_t best_a = 0, best_b = 1;
        for (std::size_t a = 0; a < clusters.size(); ++a)
            for (std::size_t b = a + 1; b < clusters.size(); ++b)
                if (added[a][b] < added[best_a][best_b]) {
                    best_a = a;
                    best_b = b;
                }
        Cluster& into = clusters[best_a];
        into.shape.add(clusters[best_b].shape);
        into.rate = into.shape.hit_rate();
        into.members.insert(into.members.end(), clusters[best_b].members.begin(), clusters[best_b].members.end());
        clusters.erase(clusters.begin() + static_cast<std::ptrdiff_t>(best_b));
        added.erase(added.begin() + static_cast<std::ptrdiff_t>(best_b));
        for (std::vector<double>& row : added) row.erase(row.begin() + static_cast<std::ptrdiff_t>(best_b));
        for (std::size_t other = 0; other < clusters.size(); ++other)
            if (other != best_a)
                added[std::min(other, best_a)][std::max(other, best_a)] =
                    added_by(std::min(other, best_a), std::max(other, best_a));
    }
    for (unsigned g = 0; g < clusters.size(); ++g) {
        std::sort(clusters[g].members.begin(), clusters[g].members.end());
        for (const std::uint16_t i : clusters[g].members) group_[i] = static_cast<std::uint8_t>(g);
        members_[g] = std::move(clusters[g].members);
    }
}

std::size_t SignSet::index_of(const Sign& sign) const {
    const auto at = std::find(signs_.begin(), signs_.end(), sign);
    return at == signs_.end() ? FirstLook::npos : static_cast<std::size_t>(at - signs_.begin());
}

FirstLook::FirstLook(std::string_view text, const SignSet& set) : set_(&set), first_(set.signs().size(), npos) {
    std::size_t left = first_.size();
    if (left == 0) return;
    scan::PlaceTable table = table_of(set, first_);
    const std::span<const Sign> signs = set.signs();
    // The scan stops where some group may start; each sign of those groups
    // not found yet is checked there. A sign once found leaves the table,
    // so a frequent one costs one stop, not one for each time it occurs.
    for (scan::Hits hits = scan::place_hits(text, table, 0); hits; hits = scan::place_hits(text, table, hits.next())) {
        bool found = false;
        for (const std::size_t at : hits)
            for (std::uint8_t groups = table.groups_at(text, at); groups != 0; groups &= groups - 1)
                for (const std::uint16_t i : set.members(static_cast<unsigned>(std::countr_zero(groups))))
                    if (first_[i] == npos && matches_at(text, at, signs[i])) {
                        first_[i] = at;
                        found = true;
                        --left;
                    }
        if (!found) continue;
        if (left == 0) return;
        table = table_of(set, first_);
    }
}

const FirstLook& FirstLook::none() {
    static const FirstLook kNone;
    return kNone;
}

std::optional<std::size_t> FirstLook::first(const Sign& sign) const {
    const std::size_t i = set_ ? set_->index_of(sign) : npos;
    if (i == npos) return std::nullopt;
    return first_[i];
}

bool FirstLook::holds(const SignGroup& group) const {
    // A group of no signs states nothing.
    if (group.any_of.empty()) return true;
    for (const Sign& sign : group.any_of) {
        const std::optional<std::size_t> at = first(sign);
        if (!at || *at != npos) return true;
    }
    return false;
}

bool FirstLook::holds_all(std::span<const SignGroup> groups) const {
    return std::all_of(groups.begin(), groups.end(), [this](const SignGroup& g) { return holds(g); });
}

}  // namespace filters
