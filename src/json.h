// The project's one door to the JSON libraries.
//
// Two libraries sit behind it. A fast validating parser reads every text
// first: documents and records (`Reader`, `Node`), and the text of `parse`,
// whose tree it fills. A general one holds the ordered `Value` tree, writes
// it back, and reads any piece of text that the fast one cannot read the
// way the general one would: integers beyond 64 bits, numbers out of range,
// the depth limit's edge, a byte order mark, "-0". Either way callers see
// one behaviour: that of the general library's `parse` and `write_compact`.
#pragma once

#include <cstddef>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace json {

// ------------------------------------------------------------ trees --

// Objects keep their members in order of first appearance; a repeated key
// keeps its first position and takes its last value.
using Value = nlohmann::ordered_json;

// Records nested deeper than this are not built: writing them back would
// recurse too deep. Checking a document alone has no such limit.
inline constexpr std::size_t kMaxDepth = 2000;

// One JSON value filling the whole text (surrounding whitespace allowed), or
// nothing. Never throws; linear in the text, however wide an object is.
std::optional<Value> parse(std::string_view text);

// The member named `key` of an object, or nullptr (also for non-objects).
const Value* find_member(const Value& object, std::string_view key);

// Compact form: no insignificant whitespace, non-ASCII kept as is, invalid
// UTF-8 replaced by U+FFFD.
std::string write_compact(const Value& value);
// The compact form appended to `out`.
void append_compact(std::string& out, const Value& value);

// A string as a JSON string literal, quotes included.
std::string quote_string(std::string_view s);

// ------------------------------------------------------------- text --

// The length of JSON source text once the blanks, tabs and line ends
// outside strings are removed (a string runs to the next double quote that
// no backslash escapes). Nothing is validated.
std::size_t minified_size(std::string_view source);
// Whether `minified_size` would remove anything; stops at the first blank.
bool has_blank_between_tokens(std::string_view source);
// The position of the first blank, tab or carriage return outside strings,
// or npos, in text made of lines that each start and end outside strings
// (such as JSON Lines): its line feeds are passed over.
std::size_t first_blank_within_lines(std::string_view source);
// The source with those blanks removed, appended to `out`.
void append_minified(std::string& out, std::string_view source);

// ----------------------------------------------------------- records --

// A reference to a callable, for callbacks that run while the caller waits.
template <class Signature>
class FnRef;
template <class R, class... Args>
class FnRef<R(Args...)> {
public:
    template <class F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, FnRef> && std::is_invocable_r_v<R, F&, Args...>)
        FnRef(F&& f)  // NOLINT: implicit, like a function pointer
        : object_(const_cast<void*>(static_cast<const void*>(&f))), call_([](void* o, Args... args) -> R {
              return (*static_cast<std::remove_reference_t<F>*>(o))(std::forward<Args>(args)...);
          }) {}
    R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

private:
    void* object_;
    R (*call_)(void*, Args...);
};

enum class Kind { Null, Boolean, Number, String, Array, Object };

// A read-only view of one parsed value. Valid only while the callback that
// received it runs.
class Node {
public:
    Kind kind() const;
    // The unescaped text of a string.
    std::string_view string() const;
    // A number read as a 64-bit float.
    double number() const;
    bool boolean() const;

    // Whether `test` holds for some member of an object (name, value). A
    // member that a later one of the same name replaces does not count, as
    // in `Value`, where only the last value of a repeated key is kept.
    bool any_member(FnRef<bool(std::string_view, const Node&)> test) const;
    // Whether `test` holds for some element of an array.
    bool any_element(FnRef<bool(const Node&)> test) const;
    // Calls `visit` with each member name of an object in source order,
    // repeats included, while it returns true; whether it always did.
    bool each_member_name(FnRef<bool(std::string_view)> visit) const;
    // The compact form that `write_compact` gives the same value.
    void append_compact(std::string& out) const;
    // Its length, without writing it; `source` is the text it was read from.
    std::size_t compact_size(std::string_view source) const;

    // Built only by the reader.
    struct Storage {
        alignas(void*) unsigned char bytes[16];
    };
    enum class Source : unsigned char { Tape, Tree };
    Node(Source source, const Storage& storage) : source_(source), storage_(storage) {}

private:
    Source source_;
    Storage storage_;
};

// Whether the characters of JSON text, taken one after another, lie inside
// a string: the one rule of quotes and backslashes for every walk that
// tracks brackets without parsing.
struct StringCursor {
    bool in_string = false, escaped = false;

    // Takes one character; true when it belongs to a string, quotes included.
    bool take(char c) {
        if (in_string) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                in_string = false;
            return true;
        }
        return in_string = c == '"';
    }
};

// What `Reader::visit_document` found.
enum class DocumentKind { Invalid, Array, Object, Other };

struct DocumentScan {
    DocumentKind kind = DocumentKind::Invalid;
    // Every element of a top-level array went to the sink, up to the one it
    // declined: none was nested too deep to build.
    bool elements_complete = true;
    // The length of the text with the whitespace between tokens removed.
    std::size_t minified_size = 0;
};

// Receives one element of a top-level array and its source text; returns
// whether it wants the elements that follow.
using ElementSink = FnRef<bool(const Node&, std::string_view)>;

// Reads documents and records one after another, reusing its buffers. One
// reader per call of a filter; nothing is shared between calls.
class Reader {
public:
    Reader();
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Checks that `text` is one JSON value, as `parse` would read it but
    // without its depth limit, keeping only a small window of it parsed at a
    // time. Each element of a top-level array, nested at most kMaxDepth deep,
    // goes to `on_element` in order until it declines one. Invalid when the
    // text does not parse, also after some elements were handed over.
    DocumentScan visit_document(std::string_view text, const ElementSink* on_element);

    // Reads `text` as one JSON object (depth limit included) and hands it to
    // `on_object`; false when it is anything else.
    bool visit_object(std::string_view text, FnRef<void(const Node&)> on_object);

    // The compact form of the one JSON value in `source` (text that a visit
    // accepted, such as an element's source), appended to `out`.
    void append_compact_source(std::string& out, std::string_view source);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace json
