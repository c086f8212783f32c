#include "filters/json_payload/summary.h"

#include <algorithm>
#include <functional>

#include "filters/filter.h"
#include "text.h"

namespace filters::json_payload::summary {

namespace {

// Records always printed at the start of the run (the end: kTailRecords).
constexpr std::size_t kHeadRecords = 3;
// "status" codes from this one up to, not including, kOkStatusBelow are ok.
constexpr double kOkStatusFrom = 200;
constexpr double kOkStatusBelow = 300;
// A status string is read as a code only when it fits 16 bits.
constexpr std::uint64_t kMaxStatusCode = 0xFFFF;
// Slots of the tables of member names and short values whose test results
// are remembered.
constexpr std::size_t kRememberedSlots = 512;
// Values up to this long are remembered: messages, levels, routes, hosts.
constexpr std::size_t kRememberedTextBytes = 32;
// An identifier is at least this many bytes long.
constexpr std::size_t kMinIdBytes = 8;
// A word of hexadecimal digits at least this long is an identifier.
constexpr std::size_t kMinHexWordBytes = 12;

bool is_one_of(std::string_view s, std::initializer_list<std::string_view> words) {
    for (std::string_view w : words)
        if (text::equals_ignore_case(s, w)) return true;
    return false;
}

bool all_of(std::string_view s, bool (*pred)(char)) { return std::all_of(s.begin(), s.end(), pred); }

// ------------------------------------------------------- member names --

// What a member name is to the status and id tests.
enum Role : std::uint8_t {
    kStatus = 1,           // "status": ok words, 0 and the codes 200-299
    kResultOrOutcome = 2,  // "result", "outcome": ok words and 0
    kIdLike = 4,
};

std::uint8_t roles_of(std::string_view name) {
    std::uint8_t roles = 0;
    if (text::equals_ignore_case(name, "status"))
        roles |= kStatus;
    else if (is_one_of(name, {"result", "outcome"}))
        roles |= kResultOrOutcome;
    if (is_one_of(name, {"id", "sha", "sha1", "sha256", "sha512"}) || text::ends_with_ignore_case(name, "_id") ||
        text::ends_with_ignore_case(name, "-id") || text::contains_ignore_case(name, "uuid") ||
        text::contains_ignore_case(name, "hash"))
        roles |= kIdLike;
    return roles;
}

// ------------------------------------------------------------ status --

bool is_ok_status_value(std::uint8_t roles, const json::Node& value) {
    switch (value.kind()) {
        case json::Kind::String: {
            const std::string_view word = text::trim(value.string());
            if (is_one_of(word, {"0", "ok", "pass", "true", "done", "passed", "success", "healthy", "complete",
                                 "completed", "successful"}))
                return true;
            if (!(roles & kStatus) || word.empty() || !all_of(word, text::is_ascii_digit)) return false;
            const std::optional<std::uint64_t> code = text::parse_unsigned(word);
            return code && *code <= kMaxStatusCode && *code >= kOkStatusFrom && *code < kOkStatusBelow;
        }
        case json::Kind::Number: {
            const double n = value.number();
            if (roles & kStatus) return n == 0 || (n >= kOkStatusFrom && n < kOkStatusBelow);
            return n == 0;
        }
        case json::Kind::Boolean:
            return value.boolean();
        default:
            return false;
    }
}

// ---------------------------------------------------------------- ids --

bool is_id_char(char c) { return text::is_ascii_alnum(c) || c == '.' || c == '_' || c == '-'; }

bool is_opaque_id(std::string_view s) {
    s = text::trim(s);
    return s.size() >= kMinIdBytes && !all_of(s, text::is_ascii_digit) && all_of(s, is_id_char);
}

// --------------------------------------------------------------- text --

std::string_view trim_word(std::string_view w) {
    constexpr std::string_view kTrim = "\"'(),;[]{}|";
    while (!w.empty() && kTrim.find(w.front()) != std::string_view::npos) w.remove_prefix(1);
    while (!w.empty() && kTrim.find(w.back()) != std::string_view::npos) w.remove_suffix(1);
    return w;
}

bool is_path_piece_char(char c) {
    return text::is_ascii_alnum(c) || c == '+' || c == '-' || c == '.' || c == '@' || c == '_';
}

bool is_path_word(std::string_view w) {
    for (std::string_view prefix : {"./", "../", "/", "~/", "~\\"})
        if (w.starts_with(prefix)) return true;
    if (w.size() >= 3 && text::is_ascii_alpha(w[0]) && w[1] == ':' && (w[2] == '/' || w[2] == '\\')) return true;
    if (w.find('/') == std::string_view::npos) return false;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = w.find('/', start);
        const std::string_view piece = w.substr(start, slash == std::string_view::npos ? w.npos : slash - start);
        if (piece.empty() || !all_of(piece, is_path_piece_char)) return false;
        if (slash == std::string_view::npos) return true;
        start = slash + 1;
    }
}

bool is_uuid_word(std::string_view w) {
    if (w.size() != 36) return false;
    for (std::size_t i = 0; i < w.size(); ++i) {
        const bool dash_place = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash_place ? w[i] != '-' : !text::is_ascii_hex_digit(w[i])) return false;
    }
    return true;
}

bool is_long_hex_word(std::string_view w) {
    return w.size() >= kMinHexWordBytes && all_of(w, text::is_ascii_hex_digit);
}

bool is_upper_ascii(char c) { return c >= 'A' && c <= 'Z'; }

bool is_ticket_word(std::string_view w) {
    const std::size_t dash = w.find('-');
    if (dash == std::string_view::npos || dash < 2) return false;
    const std::string_view number = w.substr(dash + 1);
    return all_of(w.substr(0, dash), is_upper_ascii) && number.size() >= 2 && all_of(number, text::is_ascii_digit);
}

bool is_interesting_word(std::string_view word) {
    const std::string_view w = trim_word(word);
    return is_path_word(w) || is_uuid_word(w) || is_long_hex_word(w) || is_ticket_word(w);
}

// Text that mentions an error word, a URL, a path, a UUID, a long hex
// string or a ticket key.
bool is_interesting_text(std::string_view s) {
    return text::has_severity_word(s) || text::contains(s, "://") || text::any_word(s, is_interesting_word);
}

}  // namespace

// ------------------------------------------------------ RecordSummary --

RecordSummary::RecordSummary(Source source, std::size_t give_up_above, json::Reader& reader)
    : source_(source), give_up_above_(give_up_above), reader_(reader) {}

namespace {

// The answer for `key` from a small table indexed by a cheap hash of it,
// computed and kept there when the slot holds another key.
template <class Compute>
std::uint8_t remember(std::vector<RecordSummary::Remembered>& table, std::string_view key, Compute compute) {
    if (key.empty()) return compute(key);
    if (table.empty()) table.resize(kRememberedSlots);
    const std::size_t hash = key.size() * 131 + static_cast<unsigned char>(key.front()) * 31 +
                             static_cast<unsigned char>(key[key.size() / 2]) * 7 +
                             static_cast<unsigned char>(key.back());
    RecordSummary::Remembered& slot = table[hash % kRememberedSlots];
    if (!slot.used || slot.key != key) {
        slot.key.assign(key);  // reuses the slot's room
        slot.answer = compute(key);
        slot.used = true;
    }
    return slot.answer;
}

}  // namespace

std::uint8_t RecordSummary::name_roles(std::string_view name) { return remember(roles_, name, roles_of); }

bool RecordSummary::is_interesting(std::string_view value) {
    // Short values (levels, methods, routes, messages) repeat from one
    // record to the next; long ones are mostly unique.
    if (value.size() > kRememberedTextBytes) return is_interesting_text(value);
    return remember(texts_, value, [](std::string_view v) { return std::uint8_t{is_interesting_text(v)}; }) != 0;
}

// The status rule, the id rule and the text test in one walk. Walking on
// into a status member whose value is ok loses nothing: an ok value is a
// scalar, and no ok word is interesting text.
bool RecordSummary::stands_out_member(std::string_view name, const json::Node& value) {
    return stands_out_member(name_roles(name), value);
}

bool RecordSummary::stands_out_member(std::uint8_t roles, const json::Node& value) {
    if ((roles & (kStatus | kResultOrOutcome)) && !is_ok_status_value(roles, value)) return true;
    if ((roles & kIdLike) && value.kind() == json::Kind::String && is_opaque_id(value.string())) return true;
    return stands_out_value(value);
}

bool RecordSummary::stands_out_value(const json::Node& value) {
    switch (value.kind()) {
        case json::Kind::Object:
            return value.any_member(
                [this](std::string_view name, const json::Node& member) { return stands_out_member(name, member); });
        case json::Kind::Array:
            return value.any_element([this](const json::Node& element) { return stands_out_value(element); });
        case json::Kind::String:
            return is_interesting(value.string());
        default:
            return false;
    }
}

bool RecordSummary::stands_out(const json::Node& record, Shape shape) {
    if (shape != Shape::SameOrder) return stands_out_value(record);
    // Record 0's names in its order: their roles are known by position.
    std::size_t position = 0;
    return record.any_member([&](std::string_view, const json::Node& member) {
        return stands_out_member(first_roles_[position++], member);
    });
}

std::string_view RecordSummary::key(std::size_t index) const {
    const std::size_t end = index + 1 < key_offsets_.size() ? key_offsets_[index + 1] - 1 : keys_.size();
    return std::string_view(keys_).substr(key_offsets_[index], end - key_offsets_[index]);
}

std::optional<std::size_t> RecordSummary::find_key(std::string_view name) const {
    if (key_slots_.empty()) return std::nullopt;
    const std::size_t mask = key_slots_.size() - 1;
    for (std::size_t i = std::hash<std::string_view>{}(name)&mask; key_slots_[i] != 0; i = (i + 1) & mask)
        if (key(key_slots_[i] - 1) == name) return key_slots_[i] - 1;
    return std::nullopt;
}

void RecordSummary::note_key(std::string_view name) {
    if (find_key(name)) return;
    if (key_slots_.size() < 2 * (key_offsets_.size() + 1)) {
        // Grow and place every name again.
        key_slots_.assign(std::max<std::size_t>(64, key_slots_.size() * 2), 0);
        const std::size_t mask = key_slots_.size() - 1;
        for (std::size_t k = 0; k < key_offsets_.size(); ++k) {
            std::size_t i = std::hash<std::string_view>{}(key(k)) & mask;
            while (key_slots_[i] != 0) i = (i + 1) & mask;
            key_slots_[i] = static_cast<std::uint32_t>(k + 1);
        }
    }
    const std::size_t mask = key_slots_.size() - 1;
    std::size_t i = std::hash<std::string_view>{}(name)&mask;
    while (key_slots_[i] != 0) i = (i + 1) & mask;
    key_slots_[i] = static_cast<std::uint32_t>(key_offsets_.size() + 1);
    if (!key_offsets_.empty()) keys_.push_back(',');
    key_offsets_.push_back(keys_.size());
    keys_.append(name);
}

RecordSummary::Shape RecordSummary::shape_of(const json::Node& record) {
    // Records of one stream nearly always list record 0's names in its order.
    std::size_t matched = 0;
    const bool in_order = record.each_member_name([&](std::string_view name) {
        if (matched == first_count_ || key(matched) != name) return false;
        ++matched;
        return true;
    });
    if (in_order && matched == first_count_) return Shape::SameOrder;
    // Otherwise the same set of names: each one of record 0's, all of them.
    std::size_t distinct = 0;
    const bool all_known = record.each_member_name([&](std::string_view name) {
        const std::optional<std::size_t> index = find_key(name);
        if (!index || *index >= first_count_) return false;
        if (first_marks_[*index] != count_) {
            first_marks_[*index] = count_;
            ++distinct;
        }
        return true;
    });
    return all_known && distinct == first_count_ ? Shape::SameSet : Shape::Other;
}

void RecordSummary::add(const json::Node& record, std::string_view source) {
    const std::size_t index = count_++;
    if (gave_up_) return;
    bool keep = index < kHeadRecords;
    Shape shape = Shape::SameOrder;
    if (index == 0) {
        record.each_member_name([this](std::string_view name) {
            note_key(name);
            return true;
        });
        first_count_ = key_offsets_.size();
        first_marks_.assign(first_count_, 0);
        for (std::size_t i = 0; i < first_count_; ++i) first_roles_.push_back(roles_of(key(i)));
        shape = Shape::SameSet;  // its names may repeat: no roles by position
    } else if ((shape = shape_of(record)) == Shape::Other) {
        // Only a record of another shape can add to the union of names.
        record.each_member_name([this](std::string_view name) {
            note_key(name);
            return true;
        });
        keep = true;
    }
    keep = keep || stands_out(record, shape);
    Pending& slot = latest_[index % latest_.size()];
    // The record kTailRecords back can no longer be one of the last.
    if (index >= latest_.size() && slot.keep) print(slot.index, slot.source, slot.compact_size);
    slot.index = index;
    slot.keep = keep;
    slot.source = source;
    slot.compact_size = keep ? record.compact_size(source) : 0;
    // The headline holds every name: the summary is at least this long.
    if (body_size_ + keys_.size() > give_up_above_) {
        gave_up_ = true;
        printed_ = {};
        keys_ = std::string();
        key_offsets_ = {};
        key_slots_ = {};
    }
}

std::string RecordSummary::gap_line(std::size_t skipped) const {
    // The noun stays plural even for a single record: "… 1 JSON rows omitted".
    return omission_marker(skipped, "", source_ == Source::Array ? " JSON rows omitted" : " JSONL records omitted");
}

void RecordSummary::print(std::size_t index, std::string_view source, std::size_t compact_size) {
    if (index > next_) body_size_ += 1 + gap_line(index - next_).size();
    body_size_ += 1 + compact_size;
    printed_.push_back(Kept{index, source});
    next_ = index + 1;
}

void RecordSummary::close() {
    if (closed_) return;
    closed_ = true;
    const std::size_t n = count_;
    const std::size_t held_from = n >= latest_.size() ? n - latest_.size() : 0;
    const std::size_t tail_start = std::max<std::size_t>(held_from, kHeadRecords);
    std::string compact;
    for (std::size_t index = held_from; index < n; ++index) {
        const Pending& held = latest_[index % latest_.size()];
        if (held.keep) {
            print(index, held.source, held.compact_size);
        } else if (index >= tail_start) {
            compact.clear();
            reader_.append_compact_source(compact, held.source);
            print(index, held.source, compact.size());
        }
    }
    if (next_ < n) body_size_ += 1 + gap_line(n - next_).size();
    headline_ = source_ == Source::Array ? text::format("{}: rows={} keys={}", headline::kJsonArray, n, keys_)
                                         : text::format("{}{} keys={}", headline::kJsonlRecords, n, keys_);
}

std::size_t RecordSummary::size(bool had_newline) {
    close();
    return headline_.size() + body_size_ + (had_newline ? 1 : 0);
}

std::string RecordSummary::text(bool had_newline) {
    close();
    SummaryWriter out(size(had_newline));
    out.add(headline_);
    std::size_t next = 0;
    std::string compact;
    for (const Kept& kept : printed_) {
        if (kept.index > next) out.add(gap_line(kept.index - next));
        compact.clear();
        reader_.append_compact_source(compact, kept.source);
        out.add(compact);
        next = kept.index + 1;
    }
    if (next < count_) out.add(gap_line(count_ - next));
    return out.take(had_newline);
}

}  // namespace filters::json_payload::summary
