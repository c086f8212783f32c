#include "filters/json_payload/summary.h"

#include <algorithm>

#include "text.h"

namespace filters::json_payload::summary {

namespace {

using Object = json::Value::object_t;

// What a rule makes of one object member: the value satisfies it, the
// search goes on inside the member's value, or the member is settled as
// not satisfying it.
enum class Step { Pass, Descend, Settled };

using WalkStack = std::vector<const json::Value*>;

// Whether `member_rule` passes for some member of some object, or
// `leaf_rule` for some scalar, anywhere in `root`. An explicit stack keeps
// deep documents off the call stack; the caller lends it, so that a walk
// per record allocates nothing.
template <class MemberRule, class LeafRule>
bool any_in(const json::Value& root, MemberRule member_rule, LeafRule leaf_rule, WalkStack& stack) {
    stack.assign(1, &root);
    while (!stack.empty()) {
        const json::Value* value = stack.back();
        stack.pop_back();
        if (value->is_object()) {
            for (const auto& [name, member] : value->get_ref<const Object&>()) {
                switch (member_rule(std::string_view(name), member)) {
                    case Step::Pass:
                        return true;
                    case Step::Descend:
                        stack.push_back(&member);
                        break;
                    case Step::Settled:
                        break;
                }
            }
        } else if (value->is_array()) {
            for (const json::Value& element : *value) stack.push_back(&element);
        } else if (leaf_rule(*value)) {
            return true;
        }
    }
    return false;
}

bool no_leaf(const json::Value&) { return false; }

bool is_one_of(std::string_view s, std::initializer_list<std::string_view> words) {
    for (std::string_view w : words)
        if (text::equals_ignore_case(s, w)) return true;
    return false;
}

bool all_of(std::string_view s, bool (*pred)(char)) {
    return std::all_of(s.begin(), s.end(), pred);
}

bool is_hex_digit(char c) { return text::is_ascii_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// ------------------------------------------------------------ status --

enum class StatusName { Other, Status, ResultOrOutcome };

StatusName status_name(std::string_view name) {
    if (text::equals_ignore_case(name, "status")) return StatusName::Status;
    if (is_one_of(name, {"result", "outcome"})) return StatusName::ResultOrOutcome;
    return StatusName::Other;
}

bool is_ok_status_value(StatusName kind, const json::Value& value) {
    if (value.is_string()) {
        const std::string_view word = text::trim(value.get_ref<const std::string&>());
        if (is_one_of(word, {"0", "ok", "pass", "true", "done", "passed", "success", "healthy", "complete",
                             "completed", "successful"}))
            return true;
        if (kind != StatusName::Status || word.empty() || !all_of(word, text::is_ascii_digit)) return false;
        const std::optional<std::uint64_t> code = text::parse_unsigned(word);
        return code && *code <= 0xFFFF && *code >= 200 && *code < 300;
    }
    if (value.is_number()) {
        const double n = value.get<double>();
        if (kind == StatusName::Status) return n == 0 || (n >= 200 && n < 300);
        return n == 0;
    }
    if (value.is_boolean()) return value.get<bool>();
    return false;
}

Step status_rule(std::string_view name, const json::Value& value) {
    const StatusName kind = status_name(name);
    if (kind == StatusName::Other) return Step::Descend;
    return is_ok_status_value(kind, value) ? Step::Settled : Step::Pass;
}

// ---------------------------------------------------------------- ids --

bool is_id_like_name(std::string_view name) {
    return is_one_of(name, {"id", "sha", "sha1", "sha256", "sha512"}) || text::ends_with_ignore_case(name, "_id") ||
           text::ends_with_ignore_case(name, "-id") || text::contains_ignore_case(name, "uuid") ||
           text::contains_ignore_case(name, "hash");
}

bool is_id_char(char c) { return text::is_ascii_alnum(c) || c == '.' || c == '_' || c == '-'; }

bool is_opaque_id(std::string_view s) {
    s = text::trim(s);
    return s.size() >= 8 && !all_of(s, text::is_ascii_digit) && all_of(s, is_id_char);
}

Step id_rule(std::string_view name, const json::Value& value) {
    if (value.is_string() && is_id_like_name(name) && is_opaque_id(value.get_ref<const std::string&>()))
        return Step::Pass;
    return Step::Descend;
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
        if (dash_place ? w[i] != '-' : !is_hex_digit(w[i])) return false;
    }
    return true;
}

bool is_long_hex_word(std::string_view w) { return w.size() >= 12 && all_of(w, is_hex_digit); }

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

bool is_interesting_leaf(const json::Value& leaf) {
    return leaf.is_string() && is_interesting_text(leaf.get_ref<const std::string&>());
}

}  // namespace

bool has_non_ok_status(const json::Value& value) {
    WalkStack stack;
    return any_in(value, status_rule, no_leaf, stack);
}

bool has_named_id_field(const json::Value& value) {
    WalkStack stack;
    return any_in(value, id_rule, no_leaf, stack);
}

bool has_interesting_text(const json::Value& value) {
    WalkStack stack;
    return any_in(
        value, [](std::string_view, const json::Value&) { return Step::Descend; }, is_interesting_leaf, stack);
}

bool is_interesting_text(std::string_view s) {
    return text::has_severity_word(s) || text::contains(s, "://") || text::any_word(s, is_interesting_word);
}

// ------------------------------------------------------ RecordSummary --

RecordSummary::RecordSummary(std::string_view label, std::string_view unit, std::string_view noun)
    : label_(label), unit_(unit), noun_(noun) {}

void RecordSummary::note_keys(const json::Value& record) {
    if (!record.is_object()) return;
    for (const auto& member : record.get_ref<const Object&>()) {
        if (!seen_keys_.insert(member.first).second) continue;
        if (seen_keys_.size() > 1) keys_.push_back(',');
        keys_ += member.first;
    }
}

bool RecordSummary::differs_from_first_shape(const json::Value& record) const {
    if (!record.is_object() || record.size() != first_names_.size()) return true;
    // Records of one stream nearly always list their members in one order.
    auto member = record.get_ref<const Object&>().begin();
    std::size_t k = 0;
    for (; k < first_names_.size() && member->first == first_names_[k]; ++k) ++member;
    for (; k < first_names_.size(); ++k, ++member)
        if (!first_name_set_.contains(member->first)) return true;
    return false;
}

// The three tests in one walk. Walking on into a status member whose value
// is ok loses nothing: an ok value is always a scalar.
bool RecordSummary::stands_out(const json::Value& record) {
    return any_in(
        record,
        [](std::string_view name, const json::Value& value) {
            return status_rule(name, value) == Step::Pass || id_rule(name, value) == Step::Pass ? Step::Pass
                                                                                               : Step::Descend;
        },
        is_interesting_leaf, walk_stack_);
}

void RecordSummary::add(json::Value&& record) {
    const std::size_t index = count_++;
    bool keep = index < 3;
    if (index == 0) {
        if (record.is_object())
            for (const auto& member : record.get_ref<const Object&>()) first_names_.push_back(member.first);
        first_name_set_.insert(first_names_.begin(), first_names_.end());
        note_keys(record);
    } else if (differs_from_first_shape(record)) {
        // Only a record of another shape can add to the union of names.
        note_keys(record);
        keep = true;
    }
    keep = keep || stands_out(record);
    Pending& slot = latest_[index % latest_.size()];
    // The record three back can no longer be one of the last three.
    if (index >= latest_.size() && slot.keep) write(slot.index, slot.record);
    slot = Pending{index, keep, std::move(record)};
}

void RecordSummary::write_gap(std::size_t skipped) {
    // The noun stays plural even for a single record.
    lines_.append("\n").append(text::format("… {} {} omitted", skipped, noun_));
}

void RecordSummary::write(std::size_t index, const json::Value& record) {
    if (index > next_) write_gap(index - next_);
    lines_.push_back('\n');
    json::append_compact(lines_, record);
    next_ = index + 1;
}

std::string RecordSummary::finish(bool had_newline) {
    const std::size_t n = count_;
    const std::size_t held_from = n >= latest_.size() ? n - latest_.size() : 0;
    const std::size_t tail_start = std::max<std::size_t>(held_from, 3);
    for (std::size_t index = held_from; index < n; ++index) {
        const Pending& held = latest_[index % latest_.size()];
        if (held.keep || index >= tail_start) write(index, held.record);
    }
    if (next_ < n) write_gap(n - next_);
    const std::string headline = label_ == "jsonl" ? text::format("{} {}={} keys={}", label_, unit_, n, keys_)
                                                   : text::format("{}: {}={} keys={}", label_, unit_, n, keys_);
    lines_.insert(0, headline);
    if (had_newline) lines_.push_back('\n');
    return std::move(lines_);
}

std::string summarize_records(std::string_view label, std::string_view unit, std::string_view noun,
                              std::vector<json::Value> records, bool had_newline) {
    RecordSummary summary(label, unit, noun);
    for (json::Value& record : records) summary.add(std::move(record));
    return summary.finish(had_newline);
}

std::optional<std::string> summarize_json_array(json::Value value, bool had_newline) {
    if (!value.is_array() || value.size() < 10) return std::nullopt;
    auto& elements = value.get_ref<json::Value::array_t&>();
    if (!std::all_of(elements.begin(), elements.end(), [](const json::Value& e) { return e.is_object(); }))
        return std::nullopt;
    return summarize_records("json array", "rows", "JSON rows", std::move(elements), had_newline);
}

}  // namespace filters::json_payload::summary
