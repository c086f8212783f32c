#include "json.h"

#include <unordered_map>
#include <vector>

namespace json {
namespace {

using ObjectBase = std::vector<std::pair<const std::string, Value>>;

// Objects with at most this many members find a repeated key by scanning
// their members; a wider one builds a hash index of its keys once, so that
// a wide object still parses in linear time.
constexpr std::size_t kScanMembers = 16;

// Builds values bottom-up. Objects are filled through their underlying
// vector, because the library's ordered map finds keys by a linear scan and
// a wide object would parse in quadratic time.
//
// With an element sink, a top-level array is not kept: each of its elements
// is handed to the sink once complete. A top-level object or scalar, and
// the elements after the sink declines one, are only checked, never built.
class Builder : public nlohmann::json_sax<Value> {
   public:
    explicit Builder(const ElementSink* sink = nullptr) : sink_(sink) {}

    std::optional<Value> result;
    DocumentKind kind = DocumentKind::Invalid;

    bool null() override { return add_scalar([] { return Value(nullptr); }); }
    bool boolean(bool v) override { return add_scalar([v] { return Value(v); }); }
    bool number_integer(number_integer_t v) override { return add_scalar([v] { return Value(v); }); }
    bool number_unsigned(number_unsigned_t v) override { return add_scalar([v] { return Value(v); }); }
    bool number_float(number_float_t v, const string_t&) override { return add_scalar([v] { return Value(v); }); }
    bool string(string_t& v) override { return add_scalar([&v] { return Value(std::move(v)); }); }
    bool binary(binary_t&) override { return false; }

    bool start_object(std::size_t) override { return open(DocumentKind::Object); }
    bool key(string_t& k) override {
        if (!checking_) stack_.back().key = std::move(k);
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(DocumentKind::Array); }
    bool end_array() override { return close(); }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

   private:
    struct Frame {
        Value value;
        std::string key;
        std::unordered_map<std::string, std::size_t> index;  // wide objects only
    };
    const ElementSink* sink_;
    std::vector<Frame> stack_;
    std::size_t depth_ = 0;         // open containers, built or not
    bool streaming_array_ = false;  // the top-level array's elements go to the sink
    bool checking_ = false;         // from here to the end nothing is built

    bool open(DocumentKind what) {
        if (depth_ >= kMaxDepth) return false;
        ++depth_;
        if (checking_) return true;
        if (sink_ && depth_ == 1) {
            kind = what;
            streaming_array_ = what == DocumentKind::Array && *sink_;
            checking_ = !streaming_array_;
            return true;
        }
        stack_.push_back(Frame{what == DocumentKind::Object ? Value::object() : Value::array(), {}, {}});
        return true;
    }

    bool close() {
        --depth_;
        if (checking_ || (streaming_array_ && depth_ == 0)) return true;
        Value done = std::move(stack_.back().value);
        stack_.pop_back();
        return add(std::move(done));
    }

    template <class Make>
    bool add_scalar(Make make) {
        if (checking_) return true;
        if (sink_ && depth_ == 0) {
            kind = DocumentKind::Other;
            return true;
        }
        return add(make());
    }

    bool add(Value v) {
        if (stack_.empty()) {
            if (streaming_array_) {
                checking_ = !(*sink_)(std::move(v));
                return true;
            }
            result = std::move(v);
            return true;
        }
        Frame& top = stack_.back();
        if (top.value.is_array()) {
            top.value.get_ref<Value::array_t&>().push_back(std::move(v));
            return true;
        }
        auto& members = static_cast<ObjectBase&>(top.value.get_ref<Value::object_t&>());
        if (top.index.empty() && members.size() < kScanMembers) {
            for (auto& member : members)
                if (member.first == top.key) {
                    member.second = std::move(v);
                    return true;
                }
            members.emplace_back(std::move(top.key), std::move(v));
            return true;
        }
        if (top.index.empty())
            for (std::size_t i = 0; i < members.size(); ++i) top.index.emplace(members[i].first, i);
        auto [it, inserted] = top.index.try_emplace(top.key, members.size());
        if (inserted)
            members.emplace_back(std::move(top.key), std::move(v));
        else
            members[it->second].second = std::move(v);
        return true;
    }
};

}  // namespace

std::optional<Value> parse(std::string_view text) {
    Builder builder;
    bool ok = false;
    try {
        ok = Value::sax_parse(text.begin(), text.end(), &builder, nlohmann::detail::input_format_t::json, true);
    } catch (...) {
        ok = false;
    }
    if (!ok || !builder.result) return std::nullopt;
    return std::move(builder.result);
}

DocumentKind visit_document(std::string_view text, const ElementSink& on_element) {
    Builder builder(&on_element);
    bool ok = false;
    try {
        ok = Value::sax_parse(text.begin(), text.end(), &builder, nlohmann::detail::input_format_t::json, true);
    } catch (...) {
        ok = false;
    }
    return ok ? builder.kind : DocumentKind::Invalid;
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

}  // namespace json
