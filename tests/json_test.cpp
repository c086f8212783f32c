#include "json.h"

#include <gtest/gtest.h>


namespace {

std::vector<std::string> keys_of(const json::Value& object) {
    std::vector<std::string> keys;
    for (const auto& [k, v] : object.items()) keys.push_back(k);
    return keys;
}

TEST(JsonParse, MembersKeepTheirOrder) {
    auto v = json::parse(R"({"zeta":1,"alpha":{"y":true,"x":null},"mid":[3,2,1]})");
    ASSERT_TRUE(v);
    EXPECT_EQ(keys_of(*v), (std::vector<std::string>{"zeta", "alpha", "mid"}));
    EXPECT_EQ(keys_of((*v)["alpha"]), (std::vector<std::string>{"y", "x"}));
    EXPECT_EQ(json::write_compact(*v), R"({"zeta":1,"alpha":{"y":true,"x":null},"mid":[3,2,1]})");
}

TEST(JsonParse, DuplicateKeyKeepsFirstPositionAndLastValue) {
    auto v = json::parse(R"({"a":1,"b":2,"a":{"n":3},"c":4,"b":5})");
    ASSERT_TRUE(v);
    EXPECT_EQ(keys_of(*v), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(json::write_compact(*v), R"({"a":{"n":3},"b":5,"c":4})");
}

TEST(JsonParse, AcceptsDocuments) {
    struct Case {
        const char* in;
        const char* compact;
    };
    const Case cases[] = {
        {"  {\"a\" : [ 1 , 2 ] }\n\t", R"({"a":[1,2]})"},
        {"null", "null"},
        {"true", "true"},
        {"\"s\"", "\"s\""},
        {"[]", "[]"},
        {"{}", "{}"},
        {R"("\ud83d\ude00")", "\"\xF0\x9F\x98\x80\""},
        {R"(["a\/b","\u00e9"])", "[\"a/b\",\"\xC3\xA9\"]"},
    };
    for (const auto& c : cases) {
        auto v = json::parse(c.in);
        ASSERT_TRUE(v) << c.in;
        EXPECT_EQ(json::write_compact(*v), c.compact) << c.in;
    }
}

TEST(JsonParse, DeclinesInvalidText) {
    for (const char* bad : {"", "   ", "{", "}", "[1,]", "{\"a\":1,}", "{'a':1}", "nul", "01", "1 2", "[1] x",
                            "NaN", "Infinity", "1e400", "\"\\x\"", "\"\\ud83d\"", "/* c */ 1", "// c\n1",
                            "\"a\nb\"", "{\"a\"}", "[\"\xFF\"]", "\"\xC3\""})
        EXPECT_FALSE(json::parse(bad)) << bad;
}

TEST(JsonParse, WideObjectIsLinear) {
    std::string doc = "{";
    for (int i = 0; i < 100000; ++i) {
        if (i) doc += ',';
        doc += "\"key" + std::to_string(i) + "\":" + std::to_string(i);
    }
    doc += '}';
    auto v = json::parse(doc);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->size(), 100000u);
    EXPECT_EQ(v->begin().key(), "key0");
    const json::Value* last = json::find_member(*v, "key99999");
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(*last, 99999);
    EXPECT_EQ(json::write_compact(*v), doc);
}

TEST(JsonParse, DepthIsCapped) {
    auto nested = [](std::size_t depth, const char* open, const char* close) {
        std::string s;
        for (std::size_t i = 0; i < depth; ++i) s += open;
        s += "0";
        for (std::size_t i = 0; i < depth; ++i) s += close;
        return s;
    };
    // At the cap a document still parses and writes back.
    const std::string at_cap = nested(json::kMaxDepth, "[", "]");
    auto v = json::parse(at_cap);
    ASSERT_TRUE(v);
    EXPECT_EQ(json::write_compact(*v), at_cap);
    EXPECT_FALSE(json::parse(nested(json::kMaxDepth + 1, "[", "]")));
    EXPECT_FALSE(json::parse(nested(100000, "[", "]")));
    EXPECT_FALSE(json::parse(nested(100000, "{\"a\":", "}")));
    EXPECT_FALSE(json::parse(std::string(1000000, '[')));
}

TEST(JsonParse, RepeatedKeyInAWideObject) {
    // Past sixteen members the keys are found through an index built then.
    std::string doc = "{";
    for (int i = 0; i < 20; ++i) doc += "\"k" + std::to_string(i) + "\":" + std::to_string(i) + ",";
    doc += R"("k3":"late","k19":"last","k20":20,"k0":"again"})";
    auto v = json::parse(doc);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->size(), 21u);
    EXPECT_EQ(v->begin().key(), "k0");
    EXPECT_EQ(*json::find_member(*v, "k0"), "again");
    EXPECT_EQ(*json::find_member(*v, "k3"), "late");
    EXPECT_EQ(*json::find_member(*v, "k19"), "last");
}

TEST(JsonVisitDocument, KindsElementsAndValidity) {
    struct Case {
        std::string text;
        bool decline_scalars;  // the sink wants no more after a non-object
        json::DocumentKind kind;
        std::string delivered;  // compact elements handed over, joined by " "
    };
    using K = json::DocumentKind;
    const std::string deep = std::string(json::kMaxDepth, '[') + std::string(json::kMaxDepth, ']');
    const std::string deeper = "[" + deep + "]";
    const Case cases[] = {
        {R"([{"a":1}, [2, {"b":null}], "s"])", false, K::Array, R"({"a":1} [2,{"b":null}] "s")"},
        {R"( {"a": [1, 2]} )", false, K::Object, ""},
        {"42", false, K::Other, ""},
        {"[]", false, K::Array, ""},
        {"[1,]", false, K::Invalid, "1"},
        {R"([{"a":1}] x)", false, K::Invalid, R"({"a":1})"},
        // After the sink declines, the rest is still checked.
        {R"([{}, 1, {"c": 2}, [3]])", true, K::Array, "{} 1"},
        {R"([{}, 1, {"c": ]])", true, K::Invalid, "{} 1"},
        // The depth limit of `parse` holds here too, inside and outside elements.
        {deep, false, K::Array, deep.substr(1, deep.size() - 2)},
        {deeper, false, K::Invalid, ""},
        {"{\"a\":" + deep + "}", false, K::Invalid, ""},
    };
    for (const auto& c : cases) {
        std::string delivered;
        const json::DocumentKind kind = json::visit_document(c.text, [&](json::Value&& element) {
            if (!delivered.empty()) delivered += ' ';
            delivered += json::write_compact(element);
            return !(c.decline_scalars && !element.is_object());
        });
        EXPECT_EQ(kind, c.kind) << c.text.substr(0, 40);
        EXPECT_EQ(delivered, c.delivered) << c.text.substr(0, 40);
        EXPECT_EQ(json::visit_document(c.text, json::ElementSink()) != K::Invalid, json::parse(c.text).has_value())
            << c.text.substr(0, 40);
    }
}

TEST(JsonFindMember, Lookup) {
    auto v = json::parse(R"({"a":1,"b":{"c":[true]}})");
    ASSERT_TRUE(v);
    ASSERT_NE(json::find_member(*v, "b"), nullptr);
    EXPECT_EQ(json::write_compact(*json::find_member(*v, "b")), R"({"c":[true]})");
    EXPECT_EQ(json::find_member(*v, "c"), nullptr);
    EXPECT_EQ(json::find_member(*v, "A"), nullptr);
    EXPECT_EQ(json::find_member((*v)["a"], "a"), nullptr);
    EXPECT_EQ(json::find_member(json::Value::array(), "a"), nullptr);
}

TEST(JsonWrite, Compact) {
    struct Case {
        const char* in;
        const char* compact;
    };
    const Case numbers[] = {
        {"0", "0"},
        {"-0", "0"},
        {"-0.0", "-0.0"},
        {"1.0", "1.0"},
        {"0.1", "0.1"},
        {"2.50", "2.5"},
        {"1E2", "100.0"},
        {"-3e-5", "-3e-05"},
        {"1.5e300", "1.5e+300"},
        {"3.141592653589793", "3.141592653589793"},
        {"18446744073709551615", "18446744073709551615"},
        {"-9223372036854775808", "-9223372036854775808"},
        {"123456789012345678901234567890", "1.2345678901234568e+29"},
    };
    for (const auto& c : numbers) {
        auto v = json::parse(c.in);
        ASSERT_TRUE(v) << c.in;
        EXPECT_EQ(json::write_compact(*v), c.compact) << c.in;
    }
    // Non-ASCII text is written as is; control characters are escaped; "/" is not.
    auto v = json::parse("{\"t\":\"caf\xC3\xA9 \xE2\x9C\x93\",\"c\":\"\\u0001\\n\\t\\r\\b\\f\\\"\\\\\",\"p\":\"a\\/b/c\"}");
    ASSERT_TRUE(v);
    EXPECT_EQ(json::write_compact(*v),
              "{\"t\":\"caf\xC3\xA9 \xE2\x9C\x93\",\"c\":\"\\u0001\\n\\t\\r\\b\\f\\\"\\\\\",\"p\":\"a/b/c\"}");
}

TEST(JsonWrite, InvalidUtf8IsReplaced) {
    EXPECT_EQ(json::quote_string("a\xFF" "b"), "\"a\xEF\xBF\xBD" "b\"");
    EXPECT_EQ(json::quote_string("x\xC3(y"), "\"x\xEF\xBF\xBD(y\"");
    EXPECT_EQ(json::quote_string("end\xE2\x80"), "\"end\xEF\xBF\xBD\"");
    json::Value object = json::Value::object();
    object["k\xFF"] = std::string("v\xFE");
    EXPECT_EQ(json::write_compact(object), "{\"k\xEF\xBF\xBD\":\"v\xEF\xBF\xBD\"}");
    EXPECT_EQ(json::quote_string("q\"\\\x1f/"), "\"q\\\"\\\\\\u001f/\"");
}

}  // namespace
