#include "json.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

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
    for (const char* bad :
         {"",          "   ",     "{",        "}",       "[1,]",       "{\"a\":1,}", "{'a':1}", "nul",
          "01",        "1 2",     "[1] x",    "NaN",     "Infinity",   "1e400",      "\"\\x\"", "\"\\ud83d\"",
          "/* c */ 1", "// c\n1", "\"a\nb\"", "{\"a\"}", "[\"\xFF\"]", "\"\xC3\""})
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

// The reader and `parse` accept the same texts, the reader without the
// depth limit: its fast parser hands what it cannot read the way `parse`
// does (integers beyond 64 bits, numbers out of range, deep nesting) to the
// general parser.
TEST(JsonReader, AcceptsWhatParseAccepts) {
    const std::string deep = std::string(json::kMaxDepth + 1, '[') + std::string(json::kMaxDepth + 1, ']');
    const std::string deeper = std::string(100000, '[') + std::string(100000, ']');
    std::string wide = "[";
    for (int i = 0; i < 60000; ++i)
        wide += (i ? ", " : "") + std::string(R"({"k": "v", "n": )") + std::to_string(i) + "}";
    std::string huge = "{";  // an item larger than a parse window
    for (int i = 0; i < 100000; ++i)
        huge += (i ? ", \"k" : "\"k") + std::to_string(i) + "\": [" + std::to_string(i) + "]";
    const std::string texts[] = {
        "[" + huge + "}]",
        "[1, " + huge + "}, 2]",
        "[[" + huge + "}]]",
        "{\"a\": " + huge + "}}",
        "[" + huge + ",}]",
        "[" + huge + "}, ]",
        "[" + huge + ", \"x\": [1,]}]",
        "[" + huge + ", \"x\": 123456789012345678901234}]",
        "[\"" + std::string(2000000, 'x') + "\"]",
        "[\"" + std::string(2000000, 'x') + "]",
        "[]",
        "{ }",
        " [1, 2] ",
        "42",
        "\"s\"",
        "null",
        "[1,]",
        "[,1]",
        "[1 2]",
        "[1,,2]",
        "{\"a\":1,}",
        "{\"a\"}",
        "[1] x",
        "[[]",
        "[]]",
        "[}",
        "{]",
        "[\"a\nb\"]",
        "[\"\\x\"]",
        "[\"\\ud800\"]",
        "[\"\\udc00\"]",
        "[\"\xFF\"]",
        "[01]",
        "[1.]",
        "[-]",
        "[tru]",
        "[truex]",
        "[123456789012345678901234567890]",
        "[18446744073709551616, -9223372036854775809]",
        "[1e400]",
        "[1e-400]",
        "{\"a\": [1, {\"b\": \"c\"}]}",
        "[\"unterminated]",
        deep,
        deeper,
        deeper + "]",
        wide + "]",
        wide + ",]",
        wide + ", 1e400]",
        wide + ", 123456789012345678901234567890]",
    };
    json::Reader reader;
    for (const std::string& text : texts) {
        const bool parses = json::parse(text).has_value() || text == deep || text == deeper;
        EXPECT_EQ(reader.visit_document(text, nullptr).kind != json::DocumentKind::Invalid, parses)
            << text.substr(0, 40);
    }
}

// The compact form escapes what the general library escapes wherever it
// stands in a string: each escaped character at every offset of strings
// around the sizes the search steps by (a word, a vector, a block).
TEST(JsonReader, CompactFormEscapesAtEveryOffset) {
    struct Row {
        const char* name;
        std::string_view escaped;  // as written in the JSON text
    } rows[] = {{"newline", "\\n"}, {"quote", "\\\""}, {"backslash", "\\\\"}, {"control", "\\u0001"}, {"unit separator", "\\u001f"}};
    json::Reader reader;
    for (const Row& row : rows)
        for (std::size_t length : {1u, 7u, 8u, 9u, 31u, 33u, 40u, 64u, 70u})
            for (std::size_t at = 0; at < length; ++at) {
                std::string text = "[\"" + std::string(at, 'a') + std::string(row.escaped) + std::string(length - at - 1, 'b') + "\"]";
                std::string compact;
                reader.append_compact_source(compact, text);
                EXPECT_EQ(compact, json::write_compact(*json::parse(text))) << row.name << " " << length << " " << at;
            }
}

// Elements go to the sink with their source, in order, until it declines;
// each written back exactly as `write_compact` writes the parsed value.
TEST(JsonReader, ElementsAndTheirCompactForm) {
    const std::string elements[] = {
        "{\"a\": 1, \"b\": -0, \"c\": 1.50, \"d\": 1E2, \"e\": 0.1, \"f\": 1e-7, \"g\": -0.0}",
        "{\"big\": 18446744073709551615, \"bigger\": 18446744073709551616, \"pi\": 3.14159265358979323846}",
        "{\"s\": \"caf\\u00e9 \\ud83d\\ude00 \xE2\x98\x95\", \"c\": \"\\u0001\\u001F\\t\\n\\r\\b\\f\\u007f\"}",
        "{\"slash\": \"a\\/b/c\", \"q\": \"\\\"\\\\\"}",
        "{\"dup\": 1, \"x\": [{\"d\": 1, \"d\": 2}], \"dup\": 3}",
        "[{}, [], null, true, false, \"\"]",
        "-12",
    };
    std::string text = "[";
    for (const std::string& e : elements) text += (text.size() > 1 ? " ,\n " : "") + e;
    text += "]";
    json::Reader reader;
    std::vector<std::string> sources, compact;
    auto collect = [&](const json::Node& element, std::string_view source) {
        sources.emplace_back(source);
        element.append_compact(compact.emplace_back());
        return element.kind() != json::Kind::Array;  // declines at the array
    };
    const json::ElementSink sink = collect;
    const json::DocumentScan scan = reader.visit_document(text, &sink);
    EXPECT_EQ(scan.kind, json::DocumentKind::Array);
    EXPECT_EQ(reader.visit_document(" [ 1 ,\t\"a \\\" b\" ]\n", nullptr).minified_size,
              std::string(R"([1,"a \" b"])").size());
    ASSERT_EQ(sources.size(), 6u);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        EXPECT_EQ(sources[i], elements[i]);
        EXPECT_EQ(compact[i], json::write_compact(*json::parse(elements[i]))) << elements[i];
        std::string again;
        reader.append_compact_source(again, sources[i]);
        EXPECT_EQ(again, compact[i]);
    }
}

// Records are built at most kMaxDepth deep; a deeper element ends the
// elements handed over, and the document is still checked.
TEST(JsonReader, DepthLimitsRecordsOnly) {
    const std::string deep = std::string(json::kMaxDepth, '[') + std::string(json::kMaxDepth, ']');
    json::Reader reader;
    std::size_t seen = 0;
    auto count = [&](const json::Node&, std::string_view) { return ++seen > 0; };
    const json::ElementSink sink = count;
    for (const auto& [text, kind, complete, elements] :
         {std::tuple{"[{}, " + deep.substr(1, deep.size() - 2) + "]", json::DocumentKind::Array, true, 2u},
          std::tuple{"[{}, " + deep + ", {}]", json::DocumentKind::Array, false, 1u},
          std::tuple{"[{}, " + deep + ", }]", json::DocumentKind::Invalid, false, 1u}}) {
        seen = 0;
        const json::DocumentScan scan = reader.visit_document(text, &sink);
        EXPECT_EQ(scan.kind, kind);
        if (kind != json::DocumentKind::Invalid) {
            EXPECT_EQ(scan.elements_complete, complete);
        }
        EXPECT_LE(seen, elements);
    }
    bool called = false;
    EXPECT_TRUE(reader.visit_object(R"({"a": 123456789012345678901234567890})", [&](const json::Node& n) {
        std::string out;
        n.append_compact(out);
        called = out == R"({"a":1.2345678901234568e+29})";
    }));
    EXPECT_TRUE(called);
    EXPECT_FALSE(reader.visit_object("{\"a\":" + deep + "}", [](const json::Node&) {}));
    // At the limit with a scalar innermost: still a record.
    const std::string at_limit = std::string(json::kMaxDepth - 1, '[') + "1" + std::string(json::kMaxDepth - 1, ']');
    EXPECT_TRUE(reader.visit_object("{\"a\":" + at_limit + "}", [](const json::Node&) {}));
    EXPECT_FALSE(reader.visit_object("[1]", [](const json::Node&) {}));
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
    auto v =
        json::parse("{\"t\":\"caf\xC3\xA9 \xE2\x9C\x93\",\"c\":\"\\u0001\\n\\t\\r\\b\\f\\\"\\\\\",\"p\":\"a\\/b/c\"}");
    ASSERT_TRUE(v);
    EXPECT_EQ(json::write_compact(*v),
              "{\"t\":\"caf\xC3\xA9 \xE2\x9C\x93\",\"c\":\"\\u0001\\n\\t\\r\\b\\f\\\"\\\\\",\"p\":\"a/b/c\"}");
}

TEST(JsonWrite, InvalidUtf8IsReplaced) {
    EXPECT_EQ(json::quote_string("a\xFF"
                                 "b"),
              "\"a\xEF\xBF\xBD"
              "b\"");
    EXPECT_EQ(json::quote_string("x\xC3(y"), "\"x\xEF\xBF\xBD(y\"");
    EXPECT_EQ(json::quote_string("end\xE2\x80"), "\"end\xEF\xBF\xBD\"");
    json::Value object = json::Value::object();
    object["k\xFF"] = std::string("v\xFE");
    EXPECT_EQ(json::write_compact(object), "{\"k\xEF\xBF\xBD\":\"v\xEF\xBF\xBD\"}");
    EXPECT_EQ(json::quote_string("q\"\\\x1f/"), "\"q\\\"\\\\\\u001f/\"");
}

}  // namespace
