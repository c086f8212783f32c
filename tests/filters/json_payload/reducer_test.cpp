#include "filters/json_payload/reducer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "filters/json_payload/detector.h"

namespace {

using filters::json_payload::reducer::compress_json_payload_output;
using filters::json_payload::reducer::minify_json_source;
using filters::json_payload::reducer::try_compress_json_payload_output;

struct Case {
    const char* name;
    std::string in;
    std::string want;
};

TEST(MinifyJsonSource, WhitespaceOutsideStringsOnly) {
    const Case cases[] = {
        {"blanks between tokens", "{ \"a\" : [ 1 ,\n\t2 ]\r\n}", R"({"a":[1,2]})"},
        {"blanks inside strings kept", R"({"k": "a  b	c"})", "{\"k\":\"a  b\tc\"}"},
        {"escaped quote does not close", R"(["say \"x  y\"" , 1])", R"(["say \"x  y\"",1])"},
        {"escaped backslash closes at next quote", R"(["dir\\"   ,  "z"])", R"(["dir\\","z"])"},
        {"backslash then quote then backslash", R"(["\\\"  " , 2])", R"(["\\\"  ",2])"},
        {"non-ASCII copied", "{ \"caf\xC3\xA9\" : \"\xE2\x98\x95 \" }", "{\"caf\xC3\xA9\":\"\xE2\x98\x95 \"}"},
        {"other whitespace kept (no validation)", "[1,\xC2\xA0" "2]", "[1,\xC2\xA0" "2]"},
        {"unterminated string runs to the end", "[\"a  b", "[\"a  b"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(minify_json_source(c.in), c.want) << c.name;
}

// The quick test must agree with the minifier itself, escapes and broken
// strings included.
TEST(MinifyJsonSource, DropsSomethingExactlyWhenShorter) {
    const char* cases[] = {
        "", "{}", "{ }", R"({"a":"b c"})", R"({"a":"b"} )", "[1,\t2]", "[1,\n2]", "[1,\r2]",
        R"(["\" "])", R"(["\\" ])", R"(["\\\" "])", R"(["\\\\" ,1])", R"(["a\"b" ,1])", R"(["a\"b\"",1])",
        R"(["x\\y" ])", R"(["unterminated  )", R"(["\)", "\"", R"("a""b" )", R"(["a" "b"])", "x y",
        R"(["\u0022" ])", R"({"k":"v\\"} )", "\xC2\xA0[1]",
    };
    for (const char* c : cases)
        EXPECT_EQ(filters::json_payload::reducer::minify_drops_something(c), minify_json_source(c).size() != std::strlen(c))
            << c;
}

std::string records(int n, const std::string& shape) {
    std::string out;
    for (int i = 0; i < n; ++i) {
        const std::size_t mark = shape.find('#');
        out.append(shape, 0, mark).append(std::to_string(i)).append(shape, mark + 1).push_back('\n');
    }
    return out;
}

std::string array_of_ten(const std::string& comma = ", ", const std::string& colon = ": ") {
    std::string s = "[";
    for (int i = 0; i < 10; ++i)
        s.append(i ? comma : "").append("{\"k\"" + colon + "\"value number ").append(std::to_string(i)).append("\"}");
    return s.append("]");
}

TEST(CompressJsonPayload, DocumentsAndLines) {
    const std::string rec = R"({"level": "info", "msg": "cache warmed", "n": #})";
    const Case cases[] = {
        {"pretty object, final newline kept", "{\n  \"a\": 1,\n  \"b\": [true, null]\n}\n",
         "{\"a\":1,\"b\":[true,null]}\n"},
        {"pretty object, no final newline", "{\n  \"a\": 1\n}", R"({"a":1})"},
        {"surrounding blank lines trimmed", "\n\n  [ 1, 2 ]  \n", "[1,2]\n"},
        {"already compact: tie keeps input", "{\"a\":1}\n", "{\"a\":1}\n"},
        {"top-level number", "42\n", "42\n"},
        {"top-level string", "\"a  b\"\n", "\"a  b\"\n"},
        {"not JSON", "{ this is not json }\n", "{ this is not json }\n"},
        {"two objects on two lines", "{\"a\": 1}\n{\"a\": 2}\n", "{\"a\":1}\n{\"a\":2}\n"},
        {"blank line between records stays", "{\"a\": 1}\n\n   \n{\"a\": 2}", "{\"a\":1}\n\n\n{\"a\":2}"},
        {"indented record lines trimmed", "  {\"a\": 1}\n\t{\"b\": 2}\n", "{\"a\":1}\n{\"b\":2}\n"},
        {"one line an array", "{\"a\": 1}\n[1, 2]\n", "{\"a\": 1}\n[1, 2]\n"},
        {"one line a number", "{\"a\": 1}\n7\n", "{\"a\": 1}\n7\n"},
        {"one line invalid", "{\"a\": 1}\n{\"a\": }\n", "{\"a\": 1}\n{\"a\": }\n"},
        {"one line bracketed but trailing text", "{\"a\": 1} {\"b\": 2}\n{\"a\": 3}\n",
         "{\"a\": 1} {\"b\": 2}\n{\"a\": 3}\n"},
        {"only blank lines", "\n \n", "\n \n"},
        {"empty", "", ""},
        {"nine records only minified", records(9, rec),
         records(9, R"({"level":"info","msg":"cache warmed","n":#})")},
        {"ten records summarised", records(10, rec),
         "jsonl records=10 keys=level,msg,n\n"
         R"({"level":"info","msg":"cache warmed","n":0})" "\n"
         R"({"level":"info","msg":"cache warmed","n":1})" "\n"
         R"({"level":"info","msg":"cache warmed","n":2})" "\n"
         "… 4 JSONL records omitted\n"
         R"({"level":"info","msg":"cache warmed","n":7})" "\n"
         R"({"level":"info","msg":"cache warmed","n":8})" "\n"
         R"({"level":"info","msg":"cache warmed","n":9})" "\n"},
        // The summary of ten tiny records is longer than the records.
        {"ten tiny records: minified wins", records(10, "{\"n\": #}"), records(10, "{\"n\":#}")},
        {"array of ten objects summarised without final newline", array_of_ten(),
         "json array: rows=10 keys=k\n{\"k\":\"value number 0\"}\n{\"k\":\"value number 1\"}\n{\"k\":\"value number "
         "2\"}\n… 4 JSON rows omitted\n{\"k\":\"value number 7\"}\n{\"k\":\"value number 8\"}\n{\"k\":\"value "
         "number 9\"}"},
        {"compact array of ten objects still summarised", array_of_ten(",", ":"),
         "json array: rows=10 keys=k\n{\"k\":\"value number 0\"}\n{\"k\":\"value number 1\"}\n{\"k\":\"value number "
         "2\"}\n… 4 JSON rows omitted\n{\"k\":\"value number 7\"}\n{\"k\":\"value number 8\"}\n{\"k\":\"value "
         "number 9\"}"},
        {"compact document below a blank line", "\n{\"a\":[1,2]}\n", "{\"a\":[1,2]}\n"},
        {"compact document after blanks, no final newline", "  {\"a\":1}", "{\"a\":1}"},
        {"compact lines: tie keeps input", "{\"a\":1}\n{\"a\":2}\n", "{\"a\":1}\n{\"a\":2}\n"},
        {"only a later line changes", "{\"a\":1}\n{\"a\":2}\n{\"a\": 3}\n", "{\"a\":1}\n{\"a\":2}\n{\"a\":3}\n"},
        {"a blank line of spaces is the only change", "{\"a\":1}\n   \n{\"a\":2}", "{\"a\":1}\n\n{\"a\":2}"},
        {"pretty document with a syntax error", "{\n  \"a\": 1,\n}\n", "{\n  \"a\": 1,\n}\n"},
        {"compact but invalid single line", "{\"a\":1,}", "{\"a\":1,}"},
        {"array of ten objects then a scalar is only minified",
         "[{}, {}, {}, {}, {}, {}, {}, {}, {}, {}, \"x\"]", "[{},{},{},{},{},{},{},{},{},{},\"x\"]"},
        {"array of ten with a scalar is only minified", "[{}, {}, {}, {}, {}, {}, {}, {}, {}, 1]\n",
         "[{},{},{},{},{},{},{},{},{},1]\n"},
        {"duplicate keys: minified text keeps both", "{\"a\": 1, \"a\": 2}", "{\"a\":1,\"a\":2}"},
    };
    for (const auto& c : cases) EXPECT_EQ(compress_json_payload_output(c.in), c.want) << c.name;
}

TEST(CompressJsonPayload, DeclinesWithoutCopying) {
    EXPECT_FALSE(try_compress_json_payload_output("plain text\n"));
    EXPECT_FALSE(try_compress_json_payload_output("{\"a\":1}\n"));
}

// Hostile shapes must be declined or handled quickly and without a crash.
TEST(CompressJsonPayload, DeepAndWideInputs) {
    const std::string deep_array = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_EQ(compress_json_payload_output(deep_array), deep_array);

    const std::string open_brackets(1000000, '[');
    EXPECT_EQ(compress_json_payload_output(open_brackets + "\n"), open_brackets + "\n");

    std::string deep_object;
    for (int i = 0; i < 100000; ++i) deep_object += "{\"a\": ";
    deep_object += "1" + std::string(100000, '}');
    EXPECT_EQ(compress_json_payload_output(deep_object), deep_object);

    // Within the adapter's depth limit: parsed, minified and summarised.
    const std::string nested = std::string(1500, '[') + "1" + std::string(1500, ']');
    std::string line = "{\"deep\": " + nested + "}\n";
    std::string many;
    for (int i = 0; i < 12; ++i) many += line;
    const std::string got = compress_json_payload_output(many);
    EXPECT_TRUE(got.starts_with("jsonl records=12 keys=deep\n")) << got.substr(0, 60);

    // A 100,000-key object in ten records: the key union stays linear.
    std::string wide = "{";
    for (int k = 0; k < 100000; ++k) wide += (k ? ", \"k" : "\"k") + std::to_string(k) + "\": 0";
    wide += "}\n";
    std::string wide_lines;
    for (int i = 0; i < 10; ++i) wide_lines += wide;
    const std::string wide_got = compress_json_payload_output(wide_lines);
    EXPECT_TRUE(wide_got.starts_with("jsonl records=10 keys=k0,k1,k2,")) << wide_got.substr(0, 60);
}

TEST(JsonPayloadDetector, WholeDocumentAndLines) {
    using filters::json_payload::detector::parse_jsonl_payload;
    using filters::json_payload::detector::parse_whole_json_payload;
    EXPECT_TRUE(parse_whole_json_payload(" [1] \n"));
    EXPECT_TRUE(parse_whole_json_payload("{}"));
    EXPECT_FALSE(parse_whole_json_payload("\"x\""));
    EXPECT_FALSE(parse_whole_json_payload("[1] x"));
    EXPECT_FALSE(parse_whole_json_payload("{\"a\":1}\n{\"a\":2}"));
    EXPECT_FALSE(parse_whole_json_payload("[1e400]"));  // out of the library's number range

    std::vector<json::Value> seen;
    auto sink = [&seen](json::Value&& v) { seen.push_back(std::move(v)); };
    EXPECT_EQ(parse_jsonl_payload({"{\"a\":1}", "", " {\"b\":2} "}, sink), 2u);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].begin().key(), "b");
    EXPECT_FALSE(parse_jsonl_payload({}, sink));
    EXPECT_FALSE(parse_jsonl_payload({"", "  "}, sink));
    EXPECT_FALSE(parse_jsonl_payload({"{\"a\":1}", "[]"}, sink));
}

}  // namespace
