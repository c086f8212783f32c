#include "filters/json_payload/reducer.h"

#include <gtest/gtest.h>

#include <string>

#include "../../support.h"
#include "json.h"

namespace {

using filters::json_payload::reducer::compress_json_payload_output;
using test_support::Case;

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

TEST(JsonPayloadReducer, DocumentsAndLines) {
    const std::string rec = R"({"level": "info", "msg": "cache warmed", "n": #})";
    const Case cases[] = {
        // Minifying: whitespace goes between tokens only.
        {"blanks inside strings kept", "{ \"k\": \"a  b\\tc\" }", "{\"k\":\"a  b\\tc\"}"},
        {"escaped quote does not close", R"(["say \"x  y\"" , 1])", R"(["say \"x  y\"",1])"},
        {"escaped backslash closes at next quote", R"(["dir\\"   ,  "z"])", R"(["dir\\","z"])"},
        {"backslash, quote, backslash", R"(["\\\"  " , 2])", R"(["\\\"  ",2])"},
        {"non-ASCII copied", "{ \"caf\xC3\xA9\" : \"\xE2\x98\x95 \" }", "{\"caf\xC3\xA9\":\"\xE2\x98\x95 \"}"},
        {"escapes kept as written", "[ \"\\u00e9\\/\" ]", "[\"\\u00e9\\/\"]"},
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
        {"nine records only minified", records(9, rec), records(9, R"({"level":"info","msg":"cache warmed","n":#})")},
        {"ten records summarised", records(10, rec),
         "jsonl records=10 keys=level,msg,n\n"
         R"({"level":"info","msg":"cache warmed","n":0})"
         "\n"
         R"({"level":"info","msg":"cache warmed","n":1})"
         "\n"
         R"({"level":"info","msg":"cache warmed","n":2})"
         "\n"
         "… 4 JSONL records omitted\n"
         R"({"level":"info","msg":"cache warmed","n":7})"
         "\n"
         R"({"level":"info","msg":"cache warmed","n":8})"
         "\n"
         R"({"level":"info","msg":"cache warmed","n":9})"
         "\n"},
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
        {"carriage returns trimmed", "{\"a\":1}\r\n{\"a\":2}\r\n", "{\"a\":1}\n{\"a\":2}\n"},
        {"a record indented by a no-break space", "{\"a\":1}\n\xC2\xA0{\"b\":2}\n", "{\"a\":1}\n{\"b\":2}\n"},
        {"blanks inside strings of long lines, then a blank between tokens",
         "{\"k\":\"" + std::string(70, 'x') + "\"}\n{\"k\":\"a  b\"}\n{\"k\": 1}\n",
         "{\"k\":\"" + std::string(70, 'x') + "\"}\n{\"k\":\"a  b\"}\n{\"k\":1}\n"},
        {"pretty document with a syntax error", "{\n  \"a\": 1,\n}\n", "{\n  \"a\": 1,\n}\n"},
        {"compact but invalid single line", "{\"a\":1,}", "{\"a\":1,}"},
        {"array of ten objects then a scalar is only minified", "[{}, {}, {}, {}, {}, {}, {}, {}, {}, {}, \"x\"]",
         "[{},{},{},{},{},{},{},{},{},{},\"x\"]"},
        {"array of ten with a scalar is only minified", "[{}, {}, {}, {}, {}, {}, {}, {}, {}, 1]\n",
         "[{},{},{},{},{},{},{},{},{},1]\n"},
        {"duplicate keys: minified text keeps both", "{\"a\": 1, \"a\": 2}", "{\"a\":1,\"a\":2}"},
    };
    for (const auto& c : cases) EXPECT_EQ(compress_json_payload_output(c.in), c.want) << c.name;
}

// The sizes the filter compares must be those of the text it builds,
// escapes and broken strings included.
TEST(JsonPayloadReducer, MinifiedSizeIsTheMinifiedTextSize) {
    const std::string long_string = "[\"" + std::string(40, 'x') + "\\\"" + std::string(20, ' ') + "\" , 1]";
    const std::string cases[] = {
        "",
        "{}",
        "{ }",
        R"({"a":"b c"})",
        R"({"a":"b"} )",
        "[1,\t2]",
        "[1,\n2]",
        "[1,\r2]",
        R"(["\" "])",
        R"(["\\" ])",
        R"(["\\\" "])",
        R"(["\\\\" ,1])",
        R"(["a\"b" ,1])",
        R"(["x\\y" ])",
        R"(["unterminated  )",
        R"(["\)",
        "\"",
        R"("a""b" )",
        "x y",
        R"({"k":"v\\"} )",
        "\xC2\xA0[1]",
        long_string,
        "{\n" + std::string(100, ' ') + "\"k\" :\t\"" + std::string(33, '\\') + "\" }",
    };
    // Nothing is validated: other whitespace stays, an open string runs to the end.
    EXPECT_EQ(filters::json_payload::reducer::minify_json_source("[1,\xC2\xA0 2]"),
              "[1,\xC2\xA0"
              "2]");
    EXPECT_EQ(filters::json_payload::reducer::minify_json_source("[ \"a  b"), "[\"a  b");
    EXPECT_EQ(filters::json_payload::reducer::minify_json_source(long_string),
              "[\"" + std::string(40, 'x') + "\\\"" + std::string(20, ' ') + "\",1]");
    for (const std::string& c : cases) {
        const std::size_t minified = filters::json_payload::reducer::minify_json_source(c).size();
        EXPECT_EQ(json::minified_size(c), minified) << c;
        EXPECT_EQ(json::has_blank_between_tokens(c), minified != c.size()) << c;
    }
}

// Hostile shapes must be declined or handled quickly and without a crash.
TEST(JsonPayloadReducer, DeepAndWideInputs) {
    const std::string deep_array = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_EQ(compress_json_payload_output(deep_array), deep_array);

    const std::string open_brackets(1000000, '[');
    EXPECT_EQ(compress_json_payload_output(open_brackets + "\n"), open_brackets + "\n");

    // Deeper than records are built, yet valid: minified.
    std::string deep_object, deep_minified;
    for (int i = 0; i < 100000; ++i) deep_object += "{\"a\": ", deep_minified += "{\"a\":";
    deep_object += "1" + std::string(100000, '}');
    deep_minified += "1" + std::string(100000, '}');
    EXPECT_EQ(compress_json_payload_output(deep_object), deep_minified);
    // A record too deep to build: the lines are not JSON Lines records.
    const std::string too_deep = "{\"a\": " + std::string(2000, '[') + std::string(2000, ']') + "}\n";
    EXPECT_EQ(compress_json_payload_output(too_deep + too_deep), too_deep + too_deep);

    // Within the depth limit: parsed, minified and summarised.
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

    // Larger than one parse window: elements across windows, a number only
    // the general parser reads, and a fault past the first window.
    std::string big = "[";
    for (int i = 0; i < 60000; ++i) big += (i ? ", " : "") + std::string(R"({"n": )") + std::to_string(i) + "}";
    const std::string big_got = compress_json_payload_output(big + ", {\"n\": 123456789012345678901234}]");
    EXPECT_TRUE(big_got.starts_with("json array: rows=60001 keys=n\n{\"n\":0}")) << big_got.substr(0, 60);
    EXPECT_TRUE(big_got.ends_with("\n{\"n\":59999}\n{\"n\":1.2345678901234569e+23}"))
        << big_got.substr(big_got.size() - 60);
    EXPECT_EQ(compress_json_payload_output(big + ",]"), big + ",]");
}

// The record for the member `name` with the value `value`, among twenty
// plain ones, is printed in the summary or left in a gap.
bool printed(const std::string& name, const std::string& value) {
    std::string lines;
    for (int i = 0; i < 20; ++i)
        lines += "{\"n\": " + std::to_string(i) + ", \"" + name + "\": " + (i == 10 ? value : "\"ok\"") + "}\n";
    const std::string got = compress_json_payload_output(lines);
    EXPECT_TRUE(got.starts_with("jsonl records=20")) << got.substr(0, 80);
    return got.find("{\"n\":10,") != std::string::npos;
}

TEST(JsonPayloadSummary, RecordsThatStandOut) {
    struct Row {
        const char* name;
        const char* value;
        bool printed;
    };
    const Row rows[] = {
        // Status: "status" is ok for 0 and 200-299, as a number or all-digit string.
        {"status", "199", true},
        {"status", "200", false},
        {"status", "299", false},
        {"status", "300", true},
        {"status", "\"200\"", false},
        {"status", "\"300\"", true},
        {"status", "200.5", false},
        {"status", "0", false},
        {"status", "\"0204\"", false},
        {"status", "\"65736\"", true},
        {"status", "\"+204\"", true},
        {"Status", "\" Completed \"", false},
        {"status", "\"running\"", true},
        {"status", "true", false},
        {"status", "false", true},
        {"status", "null", true},
        {"status", "{\"code\": 200}", true},
        {"result", "200", true},
        {"result", "\"200\"", true},
        {"outcome", "0", false},
        {"meta", "{\"result\": \"fail\"}", true},
        {"steps", "[{\"status\": \"ok\"}, {\"status\": \"error\"}]", true},
        {"state", "\"running\"", false},
        // A repeated name counts with its last value only.
        {"status", "500, \"status\": 200", false},
        {"status", "200, \"status\": 500", true},
        // Ids: an id-like name holding an opaque identifier.
        {"trace_id", "\"123e4567-e89b-12d3-a456-426614174000\"", true},
        {"id", "\"12345678901\"", false},
        {"id", "123456789", false},
        {"id", "\"abc123\"", false},
        {"id", "\"abc12345\"", true},
        {"ID", "\"  a.b_c-d9  \"", true},
        {"id", "\"has space1\"", false},
        {"request-id", "\"r-000000a\"", true},
        {"userUUID", "\"u0000000a\"", true},
        {"contentHash", "\"0a1b2c3d4e\"", true},
        {"sha256", "\"e3b0c44298fc\"", true},
        {"shasum", "\"e3b0c4429x\"", false},
        {"id", "{\"inner_id\": \"abcdefgh1\"}", true},
        {"list", "[{\"x\": 1}, {\"build_id\": \"b-20240101\"}]", true},
        // Text anywhere in the values (never in names).
        {"msg", "\"2 errors found\"", true},
        {"msg", "\"Build FAILED\"", true},
        {"msg", "\"terror\"", false},
        {"msg", "\"error_code\"", true},
        {"msg", "\"see https://example.org\"", true},
        {"msg", "\"open ./src/main.cpp\"", true},
        {"msg", "\"~/notes\"", true},
        {"msg", "\"C:\\\\Users\"", true},
        {"msg", "\"(src/lib.rs),\"", true},
        {"msg", "\"src/lib.rs:12\"", false},
        {"msg", "\"a/b/\"", false},
        {"msg", "\"a//b\"", false},
        {"msg", "\"and/or\"", true},
        {"msg", "\"123e4567-e89b-12d3-a456-426614174000\"", true},
        {"msg", "\"deadbeefcafe\"", true},
        {"msg", "\"deadbeefcaf\"", false},
        {"msg", "\"PROJ-42\"", true},
        {"msg", "\"A-12\"", false},
        {"msg", "\"proj-42\"", false},
        {"msg", "\"PROJ-4\"", false},
        {"msg", "\"caf\xC3\xA9\"", false},
        {"msg", "{\"/var/log\": \"ok\", \"error\": 1}", false},
        {"msg", "[\"ok\", [\"see /var/log\"]]", true},
        // Shape: other member names than record 0's.
        {"msg", "\"ok\", \"extra\": true", true},
        {"msg", "\"ok\", \"msg\": \"ok\"", false},
    };
    for (const Row& row : rows) EXPECT_EQ(printed(row.name, row.value), row.printed) << row.name << ": " << row.value;
}

TEST(JsonPayloadSummary, KeptRecordsGapsAndKeys) {
    std::string lines;
    for (int i = 0; i < 12; ++i) {
        const std::string n = std::to_string(i);
        lines += i == 4   ? R"({"n": 4, "msg": "fine", "extra": true})"
                 : i == 5 ? R"({"n": 5})"
                 : i == 7 ? R"({"msg": "fine", "n": 7})"
                 : i == 9 ? R"({"n": 9, "msg": "2 warnings"})"
                          : R"({"n": )" + n + R"(, "msg": "fine and dandy, nothing to report today"})";
        lines += "\n";
    }
    EXPECT_EQ(compress_json_payload_output(lines),
              "jsonl records=12 keys=n,msg,extra\n"
              R"({"n":0,"msg":"fine and dandy, nothing to report today"})"
              "\n"
              R"({"n":1,"msg":"fine and dandy, nothing to report today"})"
              "\n"
              R"({"n":2,"msg":"fine and dandy, nothing to report today"})"
              "\n"
              "… 1 JSONL records omitted\n"
              R"({"n":4,"msg":"fine","extra":true})"
              "\n"
              R"({"n":5})"
              "\n"
              "… 3 JSONL records omitted\n"
              R"({"n":9,"msg":"2 warnings"})"
              "\n"
              R"({"n":10,"msg":"fine and dandy, nothing to report today"})"
              "\n"
              R"({"n":11,"msg":"fine and dandy, nothing to report today"})"
              "\n");
    // Record 0 may repeat a name; it counts once.
    const std::string repeated = compress_json_payload_output(R"({"status": 500, "status": 200, "n": 0})"
                                                              "\n" +
                                                              records(11, R"({"status": 200, "n": #})"));
    EXPECT_TRUE(repeated.starts_with("jsonl records=12 keys=status,n\n{\"status\":200,\"n\":0}\n")) << repeated;
    // An array of ten ok records is summarised, not only minified; printed
    // records are written back in the library's compact form.
    std::string array = "[";
    for (int i = 0; i < 10; ++i)
        array += (i ? ",\n " : "") + std::string(R"({"status": 200, "took": 1.50, "job": "nightly build )") +
                 std::to_string(i) + "\"}";
    array += "]\n";
    EXPECT_EQ(compress_json_payload_output(array),
              "json array: rows=10 keys=status,took,job\n"
              R"({"status":200,"took":1.5,"job":"nightly build 0"})"
              "\n"
              R"({"status":200,"took":1.5,"job":"nightly build 1"})"
              "\n"
              R"({"status":200,"took":1.5,"job":"nightly build 2"})"
              "\n"
              "… 4 JSON rows omitted\n"
              R"({"status":200,"took":1.5,"job":"nightly build 7"})"
              "\n"
              R"({"status":200,"took":1.5,"job":"nightly build 8"})"
              "\n"
              R"({"status":200,"took":1.5,"job":"nightly build 9"})"
              "\n");
}

}  // namespace
