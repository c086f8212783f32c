#include "json.h"

#include "text.h"

#include <simdjson.h>

#include "scan/scan.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <nlohmann/detail/conversions/to_chars.hpp>
#include <unordered_map>
#include <vector>

// Which library does what:
// - simdjson (DOM parser) validates every document and JSON Lines record and
//   gives the records that the summaries walk and write back. A document is
//   read a window of top-level items at a time, so memory follows the
//   largest window, not the document.
// - nlohmann-json builds `Value` trees (`parse`, used where a generic tree is
//   wanted), writes them back, and reads any window or record that simdjson
//   refuses only for reasons of its own: integers beyond 64 bits and numbers
//   out of range (which `Value` holds as floats), and nesting deeper than the
//   fast parser's own limit (checked without building anything).

namespace json {
namespace {

namespace dom = simdjson::dom;

// ------------------------------------------------------ tree building --

using ObjectBase = std::vector<std::pair<const std::string, Value>>;

// Objects with at most this many members find a repeated key by scanning
// their members; a wider one builds a hash index of its keys once, so that
// a wide object still parses in linear time.
constexpr std::size_t kScanMembers = 16;

// Sets member `key` of `object` to `v`: a new name goes last, a repeated
// one keeps its first position and takes the new value. `index` (empty
// until the object grows wide) finds the names of a wide object.
void put_member(Value& object, std::unordered_map<std::string, std::size_t>& index, std::string&& key, Value&& v) {
    auto& members = static_cast<ObjectBase&>(object.get_ref<Value::object_t&>());
    if (index.empty() && members.size() < kScanMembers) {
        for (auto& member : members)
            if (member.first == key) {
                member.second = std::move(v);
                return;
            }
        members.emplace_back(std::move(key), std::move(v));
        return;
    }
    if (index.empty())
        for (std::size_t i = 0; i < members.size(); ++i) index.emplace(members[i].first, i);
    auto [it, inserted] = index.try_emplace(key, members.size());
    if (inserted)
        members.emplace_back(std::move(key), std::move(v));
    else
        members[it->second].second = std::move(v);
}

// Builds values bottom-up, at most kMaxDepth containers deep. Objects are
// filled through their underlying vector, because the library's ordered map
// finds keys by a linear scan and a wide object would parse in quadratic
// time.
class Builder : public nlohmann::json_sax<Value> {
public:
    std::optional<Value> result;

    bool null() override { return add(Value(nullptr)); }
    bool boolean(bool v) override { return add(Value(v)); }
    bool number_integer(number_integer_t v) override { return add(Value(v)); }
    bool number_unsigned(number_unsigned_t v) override { return add(Value(v)); }
    bool number_float(number_float_t v, const string_t&) override { return add(Value(v)); }
    bool string(string_t& v) override { return add(Value(std::move(v))); }
    bool binary(binary_t&) override { return false; }

    bool start_object(std::size_t) override { return open(Value::object()); }
    bool key(string_t& k) override {
        stack_.back().key = std::move(k);
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(Value::array()); }
    bool end_array() override { return close(); }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    struct Frame {
        Value value;
        std::string key;
        std::unordered_map<std::string, std::size_t> index;  // wide objects only
    };
    std::vector<Frame> stack_;

    bool open(Value&& container) {
        if (stack_.size() >= kMaxDepth) return false;
        stack_.push_back(Frame{std::move(container), {}, {}});
        return true;
    }

    bool close() {
        Value done = std::move(stack_.back().value);
        stack_.pop_back();
        return add(std::move(done));
    }

    bool add(Value v) {
        if (stack_.empty()) {
            result = std::move(v);
            return true;
        }
        Frame& top = stack_.back();
        if (top.value.is_array()) {
            top.value.get_ref<Value::array_t&>().push_back(std::move(v));
            return true;
        }
        put_member(top.value, top.index, std::move(top.key), std::move(v));
        return true;
    }
};

// Accepts what the general parser accepts, at any depth, building nothing.
class Checker : public nlohmann::json_sax<Value> {
public:
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return false; }
    bool start_object(std::size_t) override { return true; }
    bool key(string_t&) override { return true; }
    bool end_object() override { return true; }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }
};

template <class Sax>
bool run_sax(std::string_view text, Sax& sax) {
    try {
        return Value::sax_parse(text.begin(), text.end(), &sax, nlohmann::detail::input_format_t::json, true);
    } catch (...) {
        return false;
    }
}

std::optional<Value> build_tree(std::string_view text) {
    Builder builder;
    if (!run_sax(text, builder) || !builder.result) return std::nullopt;
    return std::move(builder.result);
}

bool check_tree(std::string_view text) {
    Checker checker;
    return run_sax(text, checker);
}

// -------------------------------------------------------------- nodes --

static_assert(sizeof(dom::element) <= sizeof(Node::Storage));
static_assert(std::is_trivially_copyable_v<dom::element>);

Node tape_node(const dom::element& element) {
    Node::Storage storage{};
    std::memcpy(storage.bytes, &element, sizeof element);
    return Node(Node::Source::Tape, storage);
}

Node tree_node(const Value& value) {
    Node::Storage storage{};
    const Value* pointer = &value;
    std::memcpy(storage.bytes, &pointer, sizeof pointer);
    return Node(Node::Source::Tree, storage);
}

dom::element element_of(const Node::Storage& storage) {
    dom::element element;
    std::memcpy(static_cast<void*>(&element), storage.bytes, sizeof element);
    return element;
}

const Value& value_of(const Node::Storage& storage) {
    const Value* pointer = nullptr;
    std::memcpy(&pointer, storage.bytes, sizeof pointer);
    return *pointer;
}

// Whether a later member of the object after `from` has the name `name`.
bool replaced_later(dom::object::iterator from, dom::object::iterator end, std::string_view name) {
    for (++from; from != end; ++from)
        if (from.key() == name) return true;
    return false;
}

// Stands in for the string a writer appends to, and only counts: the size
// of a compact form without writing it.
struct Counter {
    std::size_t size = 0;
    // Set when the source holds no backslash: its strings then hold nothing
    // the writer escapes (the fast parser refuses raw control characters),
    // and each is written as it is between its quotes.
    bool plain_strings = false;
    void push_back(char) { ++size; }
    void append(const char*, std::size_t n) { size += n; }
    void append(const char* literal) { size += std::strlen(literal); }
};

// The characters the writer escapes: control characters, quotes and
// backslashes.
constexpr scan::ByteClasses kEscaped{scan::ByteSet::range(0, 0x1F) | scan::ByteSet::of("\"\\")};

// The position of the first character at or after `from` that the writer
// escapes, or the length. Most strings are short and hold none: their
// first bytes are looked at here, eight at a time, and only a long rest
// goes to the scan.
std::size_t next_to_escape(std::string_view s, std::size_t from) {
    constexpr std::size_t kShort = 32;
    std::size_t i = from;
    for (; i + 8 <= s.size() && i - from < kShort; i += 8) {
        const std::uint64_t w = scan::word::load(s.data() + i);
        const std::uint64_t stops =
            scan::word::bytes_below(w, 0x20) | scan::word::equal_bytes(w, '"') | scan::word::equal_bytes(w, '\\');
        if (stops != 0) return i + scan::word::first_flag(stops);
    }
    if (s.size() - i >= kShort) return std::min(scan::find_first_in(s, kEscaped, i), s.size());
    for (; i < s.size(); ++i)
        if (kEscaped.in_any(static_cast<unsigned char>(s[i]))) return i;
    return s.size();
}

// The general library's way of writing a string: quotes, the escapes "\"",
// "\\", "\b", "\f", "\n", "\r", "\t", other control characters as "\u00xx",
// everything else as it is. The fast parser has checked the UTF-8.
template <class Out>
void append_quoted(Out& out, std::string_view s) {
    if constexpr (std::is_same_v<Out, Counter>) {
        if (out.plain_strings) {
            out.size += s.size() + 2;
            return;
        }
    }
    out.push_back('"');
    std::size_t run = 0;
    for (std::size_t i = next_to_escape(s, 0); i < s.size(); i = next_to_escape(s, i + 1)) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        out.append(s.data() + run, i - run);
        run = i + 1;
        switch (c) {
            case '"':
                out.append("\\\"");
                break;
            case '\\':
                out.append("\\\\");
                break;
            case '\b':
                out.append("\\b");
                break;
            case '\f':
                out.append("\\f");
                break;
            case '\n':
                out.append("\\n");
                break;
            case '\r':
                out.append("\\r");
                break;
            case '\t':
                out.append("\\t");
                break;
            default: {
                constexpr char kHex[] = "0123456789abcdef";
                const char escape[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
                out.append(escape, sizeof escape);
            }
        }
    }
    out.append(s.data() + run, s.size() - run);
    out.push_back('"');
}

template <class Out>
void append_float(Out& out, double x) {
    if (!std::isfinite(x)) {
        out.append("null");
        return;
    }
    char digits[64];
    char* end = nlohmann::detail::to_chars(digits, digits + sizeof digits, x);
    out.append(digits, static_cast<std::size_t>(end - digits));
}

template <class Out, class Integer>
void append_integer(Out& out, Integer n) {
    char digits[24];
    const auto written = std::to_chars(digits, digits + sizeof digits, n);
    out.append(digits, static_cast<std::size_t>(written.ptr - digits));
}

// Members of an object wider than this find repeated names through a hash
// index rather than by comparing every pair.
constexpr std::size_t kPairwiseMembers = 16;

template <class Out>
void append_tape_compact(Out& out, const dom::element& element);

template <class Out, class Members>
void append_members(Out& out, const Members& members) {
    out.push_back('{');
    bool first = true;
    for (const auto& [name, value] : members) {
        if (!first) out.push_back(',');
        first = false;
        append_quoted(out, name);
        out.push_back(':');
        append_tape_compact(out, value);
    }
    out.push_back('}');
}

template <class Out>
void append_tape_object(Out& out, const dom::object& object) {
    // A narrow object is checked for a repeated name pair by pair, without
    // a copy of its members: records are mostly made of such objects. The
    // table is left uninitialised: only the names written so far are read.
    struct Name {
        const char* data;
        std::size_t size;
    };
    Name names[kPairwiseMembers];
    std::size_t count = 0;
    bool repeats = false;
    // One bit per name from its length and end bytes: a name whose bit is
    // not yet set repeats none before it, and is compared with none. Names
    // mostly differ in length or first byte: those go before the bytes.
    std::uint64_t seen = 0;
    for (auto member : object) {
        if (count == kPairwiseMembers) {
            repeats = true;  // too wide to check this way
            break;
        }
        const std::string_view name = member.key;
        const std::uint64_t bit =
            std::uint64_t{1} << ((name.size() + (name.empty() ? 0u : static_cast<unsigned char>(name.front()) * 7u +
                                                                        static_cast<unsigned char>(name.back()))) &
                                 63u);
        const bool maybe_seen = (seen & bit) != 0;
        seen |= bit;
        for (std::size_t i = 0; maybe_seen && i < count && !repeats; ++i)
            repeats = names[i].size == name.size() &&
                      (name.empty() || (names[i].data[0] == name[0] && std::memcmp(names[i].data, name.data(), name.size()) == 0));
        names[count++] = Name{name.data(), name.size()};
    }
    if (!repeats) {
        append_members(out, object);
        return;
    }
    // A repeated name keeps its first position and takes its last value.
    std::unordered_map<std::string_view, std::size_t> first;
    std::vector<std::pair<std::string_view, dom::element>> unique;
    for (auto member : object) {
        auto [it, inserted] = first.try_emplace(member.key, unique.size());
        if (inserted)
            unique.emplace_back(member.key, member.value);
        else
            unique[it->second].second = member.value;
    }
    append_members(out, unique);
}

template <class Out>
void append_tape_compact(Out& out, const dom::element& element) {
    switch (element.type()) {
        case dom::element_type::ARRAY: {
            out.push_back('[');
            bool first = true;
            const dom::array array = element.get_array().value_unsafe();
            for (dom::element child : array) {
                if (!first) out.push_back(',');
                first = false;
                append_tape_compact(out, child);
            }
            out.push_back(']');
            return;
        }
        case dom::element_type::OBJECT:
            return append_tape_object(out, element.get_object().value_unsafe());
        case dom::element_type::INT64:
            return append_integer(out, element.get_int64().value_unsafe());
        case dom::element_type::UINT64:
            return append_integer(out, element.get_uint64().value_unsafe());
        case dom::element_type::DOUBLE:
            return append_float(out, element.get_double().value_unsafe());
        case dom::element_type::STRING:
            return append_quoted(out, element.get_string().value_unsafe());
        case dom::element_type::BOOL:
            out.append(element.get_bool().value_unsafe() ? "true" : "false");
            return;
        case dom::element_type::NULL_VALUE:
            out.append("null");
            return;
    }
}

// ------------------------------------------------------------ reading --

// Containers that the fast parser follows when it only checks a window;
// deeper text is checked by the general parser.
constexpr std::size_t kCheckDepth = 1 << 16;
// A document is parsed a window of whole top-level items at a time; a
// window closes at the first top-level comma past this size.
constexpr std::size_t kWindowBytes = 1 << 20;
// An item larger than a window is walked on its own, this many containers
// deep at most; deeper ones are parsed whole.
constexpr unsigned kMaxWalkLevels = 64;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Errors of the fast parser on text that the general parser may read: a
// number beyond 64 bits or out of range, or nesting past the fast parser's
// limit (which counts a scalar inside the deepest container as one level
// more than the general parser does).
bool is_general_parser_case(simdjson::error_code error) {
    return error == simdjson::NUMBER_ERROR || error == simdjson::NUMBER_OUT_OF_RANGE || error == simdjson::DEPTH_ERROR;
}

// The walks over a document's top level look at 64 bytes at a time: lane
// (bit) i of a block's masks stands for its byte i.
constexpr unsigned kWideBlock = scan::kBlock;

// The kinds of character that the walks look for, one class each.
enum WalkClass { kQuotes, kBackslashes, kBlanks, kOpens, kCloses, kCommas };
constexpr scan::ByteClasses kWalkClasses{
    scan::ByteSet::of("\""), scan::ByteSet::of("\\"), scan::ByteSet::of(" \t\n\r"),
    scan::ByteSet::of("[{"),  scan::ByteSet::of("]}"),  scan::ByteSet::of(","),
};

// The lanes of a block that hold each kind of character that the walks
// look for.
struct WideLanes {
    std::uint64_t quotes = 0, backslashes = 0, blanks = 0, opens = 0, closes = 0, commas = 0;
};

// The blocks of a text read one after another, 64 bytes apart, their lanes
// classified a run of blocks per call: two blocks at first, twice as many
// at each call up to sixteen, so that a walk that stops early reads little
// ahead. Past the end, lanes hold no character.
class WideBlocks {
public:
    explicit WideBlocks(std::string_view text) : text_(text) {}

    WideLanes at(std::size_t pos) {
        if (pos < first_ || pos - first_ >= read_ * kWideBlock) {
            read_ = next_run_;
            next_run_ = std::min(next_run_ * 2, masks_.size());
            first_ = pos;
            scan::classify_run(text_, pos, kWalkClasses, std::span(masks_.data(), read_));
        }
        const scan::ClassMasks& m = masks_[(pos - first_) / kWideBlock];
        return WideLanes{m.of[kQuotes], m.of[kBackslashes], m.of[kBlanks], m.of[kOpens], m.of[kCloses], m.of[kCommas]};
    }

private:
    std::string_view text_;
    std::size_t first_ = 0, read_ = 0, next_run_ = 2;  // the blocks read from `first_` on
    std::array<scan::ClassMasks, 16> masks_{};
};

// The number of set lanes of a wide mask.
std::size_t wide_count(std::uint64_t mask) {
    mask = mask - ((mask >> 1) & 0x5555555555555555ull);
    mask = (mask & 0x3333333333333333ull) + ((mask >> 2) & 0x3333333333333333ull);
    mask = (mask + (mask >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return static_cast<std::size_t>((mask * 0x0101010101010101ull) >> 56);
}

// The characters that end or interrupt a string's text.
constexpr scan::ByteClasses kStringStops{scan::ByteSet::of("\"\\")};

// The position after the quote that closes the string whose text starts at
// `from`, or npos when it never closes.
std::size_t string_end(std::string_view text, std::size_t from) {
    while (true) {
        from = scan::find_first_in(text, kStringStops, from);
        if (from == scan::npos) return std::string_view::npos;
        if (text[from] == '"') return from + 1;
        from += 2;  // a backslash and the character it escapes
        if (from > text.size()) return std::string_view::npos;
    }
}

// Where a walk stands with respect to strings, taken a character or a
// block at a time.
struct StringState : StringCursor {
    // Whether a block can be taken at once: it holds no backslash and none
    // is pending.
    bool can_take_wide_block(const WideLanes& lanes) const { return lanes.backslashes == 0 && !escaped; }
    // Takes such a block; the lanes inside strings: those after an odd
    // number of quotes (the running parity of the quotes).
    std::uint64_t take_wide_block(const WideLanes& lanes) {
        std::uint64_t inside = lanes.quotes;
        for (unsigned shift = 1; shift < kWideBlock; shift *= 2) inside ^= inside << shift;
        if (in_string) inside = ~inside;
        in_string = (inside >> (kWideBlock - 1)) & 1;
        return inside;
    }
};

// Walks source text a block at a time and calls `on_blanks(at, n, lanes)`
// for the n bytes at `at` (64, or fewer at the end) with the lanes that
// hold a blank outside strings, until it returns false. A block without a
// backslash finds its string lanes at once: a lane is inside a string when
// an odd number of quotes precede it.
template <class OnBlanks>
void each_blank_block(std::string_view text, OnBlanks on_blanks) {
    StringState state;
    // One character at a time: whether it is a blank outside strings.
    auto step = [&](char c) { return !state.take(c) && is_blank(c); };
    auto slow_block = [&](std::size_t at, std::size_t end) {
        std::uint64_t blanks = 0;
        for (std::size_t i = at; i < end; ++i)
            if (step(text[i])) blanks |= std::uint64_t{1} << (i - at);
        return blanks;
    };
    WideBlocks blocks(text);
    for (std::size_t pos = 0; pos < text.size(); pos += kWideBlock) {
        const std::size_t n = std::min<std::size_t>(kWideBlock, text.size() - pos);
        const WideLanes lanes = blocks.at(pos);
        const std::uint64_t blanks = state.can_take_wide_block(lanes) ? lanes.blanks & ~state.take_wide_block(lanes)
                                                                      : slow_block(pos, pos + n);
        if (!on_blanks(pos, n, blanks)) return;
    }
}

// The `Value` of a parsed element, as the general parser builds it.
Value tree_of(const dom::element& element) {
    switch (element.type()) {
        case dom::element_type::ARRAY: {
            Value array = Value::array();
            auto& elements = array.get_ref<Value::array_t&>();
            const dom::array source = element.get_array().value_unsafe();
            for (dom::element child : source) elements.push_back(tree_of(child));
            return array;
        }
        case dom::element_type::OBJECT: {
            Value object = Value::object();
            std::unordered_map<std::string, std::size_t> index;
            const dom::object source = element.get_object().value_unsafe();
            for (auto member : source) put_member(object, index, std::string(member.key), tree_of(member.value));
            return object;
        }
        case dom::element_type::INT64: {
            // The general parser holds a number without a sign as unsigned.
            const std::int64_t n = element.get_int64().value_unsafe();
            return n >= 0 ? Value(static_cast<std::uint64_t>(n)) : Value(n);
        }
        case dom::element_type::UINT64:
            return Value(element.get_uint64().value_unsafe());
        case dom::element_type::DOUBLE:
            return Value(element.get_double().value_unsafe());
        case dom::element_type::STRING:
            return Value(std::string(element.get_string().value_unsafe()));
        case dom::element_type::BOOL:
            return Value(element.get_bool().value_unsafe());
        case dom::element_type::NULL_VALUE:
            return Value(nullptr);
    }
    return Value(nullptr);
}

}  // namespace

// ------------------------------------------------------------- text --

std::size_t minified_size(std::string_view source) {
    std::size_t dropped = 0;
    each_blank_block(source, [&dropped](std::size_t, std::size_t, std::uint64_t blanks) {
        dropped += wide_count(blanks);
        return true;
    });
    return source.size() - dropped;
}

bool has_blank_between_tokens(std::string_view source) {
    bool found = false;
    each_blank_block(source,
                     [&found](std::size_t, std::size_t, std::uint64_t blanks) { return !(found = blanks != 0); });
    return found;
}

std::size_t first_blank_within_lines(std::string_view source) {
    std::size_t found = std::string_view::npos;
    each_blank_block(source, [&](std::size_t at, std::size_t, std::uint64_t blanks) {
        for (; blanks != 0; blanks &= blanks - 1) {
            const std::size_t pos = at + static_cast<unsigned>(__builtin_ctzll(blanks));
            if (source[pos] != '\n') {
                found = pos;
                return false;
            }
        }
        return true;
    });
    return found;
}

void append_minified(std::string& out, std::string_view source) {
    // Written a chunk at a time through a pointer into a local buffer, so
    // that `out` grows only by what is kept (the caller may reserve that);
    // a block's worth of room past the chunk lets a short run be stored as
    // one block.
    constexpr std::size_t kChunk = 1 << 15;
    constexpr std::size_t kShortRun = 16;
    char chunk[kChunk + kWideBlock + kShortRun];
    char* write = chunk;
    each_blank_block(source, [&](std::size_t at, std::size_t n, std::uint64_t blanks) {
        if (write - chunk >= static_cast<std::ptrdiff_t>(kChunk)) {
            out.append(chunk, static_cast<std::size_t>(write - chunk));
            write = chunk;
        }
        // The runs of kept lanes between the blanks, each copied whole.
        const std::uint64_t lanes = n == kWideBlock ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
        for (std::uint64_t kept = ~blanks & lanes; kept != 0;) {
            const unsigned from = static_cast<unsigned>(__builtin_ctzll(kept));
            const std::uint64_t rest = ~(kept >> from);
            const unsigned length = rest ? static_cast<unsigned>(__builtin_ctzll(rest)) : kWideBlock - from;
            if (length <= kShortRun && at + from + kShortRun <= source.size())
                std::memcpy(write, source.data() + at + from, kShortRun);  // one store; the room allows it
            else
                std::memcpy(write, source.data() + at + from, length);
            write += length;
            kept = length + from >= kWideBlock ? 0 : kept & ~((std::uint64_t{1} << (from + length)) - 1);
        }
        return true;
    });
    out.append(chunk, static_cast<std::size_t>(write - chunk));
}

// ------------------------------------------------------------ trees --

// Text the general parser reads in its own way: a leading byte order mark
// (skipped), or "-0" (an integer with a sign, where the fast parser keeps
// no sign).
bool wants_general_parser(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) return true;
    for (std::size_t at = text.find("-0"); at != std::string_view::npos; at = text.find("-0", at + 2)) {
        const char next = at + 2 < text.size() ? text[at + 2] : ' ';
        if (!text::is_ascii_digit(next) && next != '.' && next != 'e' && next != 'E') return true;
    }
    return false;
}

std::optional<Value> parse(std::string_view text) {
    if (wants_general_parser(text)) return build_tree(text);
    // A text nests at most half its length deep (and a scalar inside counts
    // as one level more for the fast parser): a short text needs no room
    // for the full depth limit. Short texts are padded on the stack.
    constexpr std::size_t kShortText = 1024;
    dom::parser parser;
    if (parser.allocate(std::max(text.size(), simdjson::dom::MINIMAL_DOCUMENT_CAPACITY),
                        std::min(kMaxDepth, text.size() / 2 + 2)) != simdjson::SUCCESS)
        return build_tree(text);
    char local[kShortText + simdjson::SIMDJSON_PADDING];
    std::unique_ptr<char[]> heap;
    char* padded = local;
    if (text.size() > kShortText) {
        heap = std::make_unique_for_overwrite<char[]>(text.size() + simdjson::SIMDJSON_PADDING);
        padded = heap.get();
    }
    std::memcpy(padded, text.data(), text.size());
    std::memset(padded + text.size(), 0, simdjson::SIMDJSON_PADDING);
    auto parsed = parser.parse(padded, text.size(), false);
    if (!parsed.error()) return tree_of(parsed.value_unsafe());
    // What only the general parser reads as `Value` holds it: big integers,
    // numbers out of range; and it has the last word on depth.
    if (!is_general_parser_case(parsed.error())) return std::nullopt;
    return build_tree(text);
}

const Value* find_member(const Value& object, std::string_view key) {
    if (!object.is_object()) return nullptr;
    for (const auto& [k, v] : object.get_ref<const Value::object_t&>())
        if (k == key) return &v;
    return nullptr;
}

std::string write_compact(const Value& value) {
    std::string out;
    append_compact(out, value);
    return out;
}

void append_compact(std::string& out, const Value& value) {
    nlohmann::detail::serializer<Value> writer(nlohmann::detail::output_adapter<char, std::string>(out), ' ',
                                               nlohmann::json::error_handler_t::replace);
    writer.dump(value, false, false, 0);
}

std::string quote_string(std::string_view s) { return write_compact(Value(std::string(s))); }

// -------------------------------------------------------------- nodes --

Kind Node::kind() const {
    if (source_ == Source::Tree) {
        const Value& v = value_of(storage_);
        if (v.is_object()) return Kind::Object;
        if (v.is_array()) return Kind::Array;
        if (v.is_string()) return Kind::String;
        if (v.is_number()) return Kind::Number;
        if (v.is_boolean()) return Kind::Boolean;
        return Kind::Null;
    }
    switch (element_of(storage_).type()) {
        case dom::element_type::ARRAY:
            return Kind::Array;
        case dom::element_type::OBJECT:
            return Kind::Object;
        case dom::element_type::INT64:
        case dom::element_type::UINT64:
        case dom::element_type::DOUBLE:
            return Kind::Number;
        case dom::element_type::STRING:
            return Kind::String;
        case dom::element_type::BOOL:
            return Kind::Boolean;
        case dom::element_type::NULL_VALUE:
            return Kind::Null;
    }
    return Kind::Null;
}

std::string_view Node::string() const {
    if (source_ == Source::Tree) return value_of(storage_).get_ref<const std::string&>();
    return element_of(storage_).get_string().value_unsafe();
}

double Node::number() const {
    if (source_ == Source::Tree) return value_of(storage_).get<double>();
    const dom::element element = element_of(storage_);
    switch (element.type()) {
        case dom::element_type::INT64:
            return static_cast<double>(element.get_int64().value_unsafe());
        case dom::element_type::UINT64:
            return static_cast<double>(element.get_uint64().value_unsafe());
        default:
            return element.get_double().value_unsafe();
    }
}

bool Node::boolean() const {
    if (source_ == Source::Tree) return value_of(storage_).get<bool>();
    return element_of(storage_).get_bool().value_unsafe();
}

bool Node::any_member(FnRef<bool(std::string_view, const Node&)> test) const {
    if (source_ == Source::Tree) {
        const Value& v = value_of(storage_);
        if (!v.is_object()) return false;
        for (const auto& [name, member] : v.get_ref<const Value::object_t&>())
            if (test(name, tree_node(member))) return true;
        return false;
    }
    const dom::element element = element_of(storage_);
    if (element.type() != dom::element_type::OBJECT) return false;
    const dom::object object = element.get_object().value_unsafe();
    for (auto it = object.begin(); it != object.end(); ++it)
        if (test(it.key(), tape_node(it.value())) && !replaced_later(it, object.end(), it.key())) return true;
    return false;
}

bool Node::any_element(FnRef<bool(const Node&)> test) const {
    if (source_ == Source::Tree) {
        const Value& v = value_of(storage_);
        if (!v.is_array()) return false;
        for (const Value& element : v)
            if (test(tree_node(element))) return true;
        return false;
    }
    const dom::element element = element_of(storage_);
    if (element.type() != dom::element_type::ARRAY) return false;
    const dom::array array = element.get_array().value_unsafe();
    for (dom::element child : array)
        if (test(tape_node(child))) return true;
    return false;
}

bool Node::each_member_name(FnRef<bool(std::string_view)> visit) const {
    if (source_ == Source::Tree) {
        const Value& v = value_of(storage_);
        if (!v.is_object()) return true;
        for (const auto& member : v.get_ref<const Value::object_t&>())
            if (!visit(member.first)) return false;
        return true;
    }
    const dom::element element = element_of(storage_);
    if (element.type() != dom::element_type::OBJECT) return true;
    const dom::object object = element.get_object().value_unsafe();
    for (auto member : object)
        if (!visit(member.key)) return false;
    return true;
}

std::size_t Node::compact_size(std::string_view source) const {
    if (source_ == Source::Tree) return write_compact(value_of(storage_)).size();
    Counter counter;
    counter.plain_strings = source.find('\\') == std::string_view::npos;
    append_tape_compact(counter, element_of(storage_));
    return counter.size;
}

void Node::append_compact(std::string& out) const {
    if (source_ == Source::Tree)
        json::append_compact(out, value_of(storage_));
    else
        append_tape_compact(out, element_of(storage_));
}

// ------------------------------------------------------------- reader --

struct Reader::Impl {
    dom::parser records{};  // follows kMaxDepth: what it reads may be built
    dom::parser checks{};   // follows kCheckDepth: what it reads is only checked
    bool records_ready = false;
    bool checks_ready = false;
    std::vector<char> buffer;             // the text being parsed, with the padding the parser reads past its end
    std::vector<std::string_view> items;  // the sources of a window's top-level items

    dom::parser& parser(bool for_records) {
        bool& ready = for_records ? records_ready : checks_ready;
        dom::parser& p = for_records ? records : checks;
        if (!ready) {
            ready = p.allocate(simdjson::dom::MINIMAL_DOCUMENT_CAPACITY, for_records ? kMaxDepth : kCheckDepth) ==
                    simdjson::SUCCESS;
        }
        return p;
    }

    // Copies `open` + `text` + `close` into the padded buffer; returns its length.
    std::size_t load(std::string_view text, char open = '\0', char close = '\0') {
        const std::size_t length = text.size() + (open ? 2 : 0);
        buffer.resize(length + simdjson::SIMDJSON_PADDING);
        char* at = buffer.data();
        if (open) *at++ = open;
        std::memcpy(at, text.data(), text.size());
        at += text.size();
        if (close) *at++ = close;
        std::memset(at, 0, simdjson::SIMDJSON_PADDING);
        return length;
    }

    simdjson::simdjson_result<dom::element> parse_loaded(std::size_t length, bool for_records) {
        return parser(for_records).parse(buffer.data(), length, false);
    }

    struct Window {
        DocumentScan& scan;
        const ElementSink* sink;  // null once no more elements are wanted
    };

    // Checks one window of top-level items, `open` + `text` + `close`, and
    // hands its elements to the sink. False when it is not valid JSON.
    bool read_window(std::string_view text, char open, char close, Window& window) {
        const bool for_records = window.sink != nullptr;
        const std::size_t length = load(text, open, close);
        auto parsed = parse_loaded(length, for_records);
        if (!parsed.error()) {
            if (for_records) {
                std::size_t k = 0;
                const dom::array array = parsed.value_unsafe().get_array().value_unsafe();
                for (dom::element element : array) {
                    if (!(*window.sink)(tape_node(element), items[k++])) {
                        window.sink = nullptr;
                        break;
                    }
                }
            }
            return true;
        }
        if (!is_general_parser_case(parsed.error())) return false;
        const std::string_view loaded(buffer.data(), length);
        if (for_records) {
            if (std::optional<Value> tree = build_tree(loaded)) {
                std::size_t k = 0;
                for (const Value& element : *tree)
                    if (!(*window.sink)(tree_node(element), items[k++])) {
                        window.sink = nullptr;
                        break;
                    }
                return true;
            }
            window.scan.elements_complete = false;
            window.sink = nullptr;
        }
        return check_tree(loaded);
    }

    // Records larger than this are not built (see visit_document).
    std::size_t record_cap = 0;

    // Checks an item too large for a window by itself: a container by a
    // walk of its own, so that no more than a window is parsed at once.
    bool check_large_item(std::string_view item, bool is_member, Window& window, unsigned level) {
        if (is_member) {
            // "name": value, read as the name alone, then the value.
            const std::size_t name_end = item.front() == '"' ? string_end(item, 1) : std::string_view::npos;
            if (name_end == std::string_view::npos) return false;
            Window alone{window.scan, nullptr};
            if (!read_window(item.substr(0, name_end), '\0', '\0', alone)) return false;
            std::size_t at = name_end;
            while (at < item.size() && is_blank(item[at])) ++at;
            if (at == item.size() || item[at] != ':') return false;
            ++at;
            while (at < item.size() && is_blank(item[at])) ++at;
            return at < item.size() && check_large_item(item.substr(at), false, window, level);
        }
        if ((item.front() == '[' || item.front() == '{') && level < kMaxWalkLevels) {
            std::size_t blanks = 0;  // already counted by the walk outside
            Window inner{window.scan, nullptr};
            return walk_container(item, inner, blanks, level + 1) == item.size() - 1;
        }
        Window alone{window.scan, nullptr};
        return read_window(item, '\0', '\0', alone);
    }

    // Walks the container that opens at text[0], splitting it into its
    // items by a walk that knows strings and nesting, and parses the items
    // a window at a time. The walk alone proves nothing: each window is
    // checked whole by a parser, and windows that each parse join into a
    // container that parses. The position of the closing bracket, or npos.
    std::size_t walk_container(std::string_view text, Window& window, std::size_t& blanks, unsigned level) {
        constexpr std::size_t npos = std::string_view::npos;
        const char open = text[0];
        const char close = open == '[' ? ']' : '}';
        std::size_t pos = 1, depth = 0, window_begin = 1, item_begin = 1, window_items = 0, commas = 0;
        bool item_has_content = false;
        if (window.sink) items.clear();
        auto trimmed_item = [&](std::size_t end) {
            std::string_view item = text.substr(item_begin, end - item_begin);
            while (!item.empty() && is_blank(item.front())) item.remove_prefix(1);
            while (!item.empty() && is_blank(item.back())) item.remove_suffix(1);
            return item;
        };
        auto flush = [&](std::size_t end) {
            if (window_items > 0 && !read_window(text.substr(window_begin, end - window_begin), open, close, window))
                return false;
            if (window.sink) items.clear();
            window_items = 0;
            return true;
        };
        // Ends the item before `end` (a comma or the closing bracket).
        auto end_item = [&](std::size_t end) {
            if (end - item_begin <= kWindowBytes) {
                if (window.sink) items.push_back(trimmed_item(end));
                ++window_items;
                return true;
            }
            // A large item is read alone, after the items before it.
            if (!flush(item_begin == window_begin ? item_begin : item_begin - 1)) return false;
            const std::string_view item = trimmed_item(end);
            if (window.sink && item.size() <= record_cap) {
                items.push_back(item);
                if (!read_window(item, open, close, window)) return false;
                items.clear();
            } else {
                if (window.sink) {
                    window.scan.elements_complete = false;
                    window.sink = nullptr;
                }
                if (!check_large_item(item, open == '{', window, level)) return false;
            }
            window_begin = end + 1;
            return true;
        };
        // A bracket or comma outside strings: 0 to go on, 1 when it closes
        // the container, -1 when the text is invalid.
        auto structural = [&](char c, std::size_t at) {
            if (c == '[' || c == '{') {
                item_has_content = true;
                ++depth;
                return 0;
            }
            if (c == ']' || c == '}') {
                if (depth > 0) {
                    --depth;
                    return 0;
                }
                if (c != close || (commas > 0 && !item_has_content)) return -1;
                if (item_has_content && (!end_item(at) || !flush(at))) return -1;
                return 1;
            }
            if (depth > 0) return 0;  // a comma inside an item
            if (!item_has_content || !end_item(at)) return -1;
            ++commas;
            if (at - window_begin >= kWindowBytes) {
                if (!flush(at)) return -1;
                window_begin = at + 1;
            }
            item_begin = at + 1;
            item_has_content = false;
            return 0;
        };
        StringState state;
        WideBlocks blocks(text);
        // One character at a time, for blocks with a backslash and the tail.
        auto step = [&](std::size_t at) {
            const char c = text[at];
            if (state.take(c)) {
                item_has_content = true;
                return 0;
            }
            if (is_blank(c)) {
                ++blanks;
                return 0;
            }
            if (c == '[' || c == ']' || c == '{' || c == '}' || c == ',') return structural(c, at);
            item_has_content = true;
            return 0;
        };
        while (pos + kWideBlock <= text.size()) {
            const WideLanes lanes = blocks.at(pos);
            if (!state.can_take_wide_block(lanes)) {
                for (const std::size_t end = pos + kWideBlock; pos < end; ++pos)
                    if (const int r = step(pos); r != 0) return r > 0 ? pos : npos;
                continue;
            }
            const std::uint64_t inside = state.take_wide_block(lanes);
            const std::uint64_t opens = lanes.opens & ~inside, closes = lanes.closes & ~inside;
            const std::uint64_t events = opens | closes | (lanes.commas & ~inside);
            const std::uint64_t outside_blanks = lanes.blanks & ~inside;
            const std::uint64_t content = ~outside_blanks & ~events;
            if (depth > wide_count(closes)) {
                // Inside an item all through the block: only nesting changes.
                depth = depth + wide_count(opens) - wide_count(closes);
                if (content | opens) item_has_content = true;
                blanks += wide_count(outside_blanks);
                pos += kWideBlock;
                continue;
            }
            std::uint64_t done = 0;  // lanes up to the last event handled
            for (std::uint64_t rest = events; rest != 0; rest &= rest - 1) {
                const unsigned lane = static_cast<unsigned>(__builtin_ctzll(rest));
                const std::uint64_t before = (std::uint64_t{1} << lane) - 1;
                if (content & ~done & before) item_has_content = true;
                const int r = structural(text[pos + lane], pos + lane);
                if (r != 0) {
                    blanks += wide_count(outside_blanks & before);
                    return r > 0 ? pos + lane : npos;
                }
                done = before | (std::uint64_t{1} << lane);
            }
            if (content & ~done) item_has_content = true;
            blanks += wide_count(outside_blanks);
            pos += kWideBlock;
        }
        for (; pos < text.size(); ++pos)
            if (const int r = step(pos); r != 0) return r > 0 ? pos : npos;
        return npos;
    }

    DocumentScan visit_document(std::string_view text, const ElementSink* sink) {
        std::size_t pos = 0;
        while (pos < text.size() && is_blank(text[pos])) ++pos;
        if (pos == text.size()) return DocumentScan{};
        DocumentScan scan;
        if (text[pos] != '[' && text[pos] != '{') {
            // A lone scalar: small or rare; the general parser reads it.
            if (!check_tree(text)) return DocumentScan{};
            scan.kind = DocumentKind::Other;
            scan.minified_size = text.size();
            return scan;
        }
        // A record's parsed form takes a few times its size: one larger
        // than a quarter of the document is checked but not built.
        record_cap = std::max(kWindowBytes, text.size() / 4);
        const DocumentKind kind = text[pos] == '[' ? DocumentKind::Array : DocumentKind::Object;
        Window window{scan, kind == DocumentKind::Array ? sink : nullptr};
        std::size_t blanks = pos;
        const std::size_t close = walk_container(text.substr(pos), window, blanks, 0);
        if (close == std::string_view::npos) return DocumentScan{};
        for (std::size_t i = pos + close + 1; i < text.size(); ++i) {
            if (!is_blank(text[i])) return DocumentScan{};
            ++blanks;
        }
        scan.kind = kind;
        scan.minified_size = text.size() - blanks;
        return scan;
    }
};

Reader::Reader() : impl_(std::make_unique<Impl>()) {}
Reader::~Reader() = default;

DocumentScan Reader::visit_document(std::string_view text, const ElementSink* on_element) {
    return impl_->visit_document(text, on_element);
}

bool Reader::visit_object(std::string_view text, FnRef<void(const Node&)> on_object) {
    const std::size_t length = impl_->load(text);
    auto parsed = impl_->parse_loaded(length, true);
    if (!parsed.error()) {
        if (parsed.value_unsafe().type() != dom::element_type::OBJECT) return false;
        on_object(tape_node(parsed.value_unsafe()));
        return true;
    }
    if (!is_general_parser_case(parsed.error())) return false;
    std::optional<Value> tree = build_tree(text);
    if (!tree || !tree->is_object()) return false;
    on_object(tree_node(*tree));
    return true;
}

void Reader::append_compact_source(std::string& out, std::string_view source) {
    const std::size_t length = impl_->load(source);
    auto parsed = impl_->parse_loaded(length, true);
    if (!parsed.error()) {
        append_tape_compact(out, parsed.value_unsafe());
        return;
    }
    if (std::optional<Value> tree = build_tree(source)) {
        json::append_compact(out, *tree);
        return;
    }
    out.append("{}");
}

}  // namespace json
