#include "json.h"

#include <unordered_map>
#include <vector>

namespace json {
namespace {

using ObjectBase = std::vector<std::pair<const std::string, Value>>;

// Builds values bottom-up. Objects are filled through their underlying
// vector with our own key index, because the library's ordered map finds
// keys by a linear scan and a wide object would parse in quadratic time.
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

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

   private:
    struct Frame {
        Value value;
        std::string key;
        std::unordered_map<std::string, std::size_t> index;
    };
    std::vector<Frame> stack_;

    bool open(Value v) {
        if (stack_.size() >= kMaxDepth) return false;
        stack_.push_back(Frame{std::move(v), {}, {}});
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
        auto& members = static_cast<ObjectBase&>(top.value.get_ref<Value::object_t&>());
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

const Value* find_member(const Value& object, std::string_view key) {
    if (!object.is_object()) return nullptr;
    for (const auto& [k, v] : object.get_ref<const Value::object_t&>())
        if (k == key) return &v;
    return nullptr;
}

std::string write_compact(const Value& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string quote_string(std::string_view s) { return write_compact(Value(std::string(s))); }

}  // namespace json
