#include "filters/json_payload/summary.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

namespace summary = filters::json_payload::summary;

json::Value parse(const std::string& s) {
    auto v = json::parse(s);
    EXPECT_TRUE(v) << s;
    return v ? *v : json::Value();
}

TEST(JsonSummary, InterestingText) {
    struct T {
        const char* text;
        bool want;
    };
    const T cases[] = {
        {"2 errors found", true},
        {"Build FAILED", true},
        {"warn: disk", true},
        {"a Traceback follows", true},
        {"terror in the night", false},      // whole letter runs only
        {"error_code", true},                // "_" ends the run
        {"see https://example.org", true},
        {"open ./src/main.cpp", true},
        {"/etc/hosts", true},
        {"~/notes", true},
        {"~\\notes", true},
        {"C:\\Users\\me", true},
        {"(src/lib.rs),", true},             // trim set removed first
        {"src/lib.rs:12", false},            // ":" is not a path character
        {"a/b/", false},                     // trailing "/"
        {"a//b", false},
        {"and/or", true},
        {"123e4567-e89b-12d3-a456-426614174000", true},
        {"123e4567-e89b-12d3-a456-42661417400", false},
        {"deadbeefcafe", true},
        {"deadbeefcaf", false},
        {"PROJ-42", true},
        {"A-12", false},
        {"proj-42", false},
        {"PROJ-4", false},
        {"PROJ-42a", false},
        {"", false},
        {"caf\xC3\xA9 ok", false},
    };
    for (const auto& c : cases) EXPECT_EQ(summary::is_interesting_text(c.text), c.want) << c.text;
}

TEST(JsonSummary, StatusRule) {
    struct T {
        const char* record;
        bool non_ok;
    };
    const T cases[] = {
        {R"({"status": 500})", true},
        {R"({"status": 204})", false},
        {R"({"status": 200.5})", false},
        {R"({"status": 300})", true},
        {R"({"status": 0})", false},
        {R"({"status": "204"})", false},
        {R"({"status": "0204"})", false},
        {R"({"status": "65736"})", true},     // past 16 bits
        {R"({"status": "+204"})", true},
        {R"({"status": " OK "})", false},
        {R"({"Status": "Completed"})", false},
        {R"({"status": "running"})", true},
        {R"({"status": true})", false},
        {R"({"status": false})", true},
        {R"({"status": null})", true},
        {R"({"status": {"code": 200}})", true},  // an object is never ok in itself
        {R"({"result": 200})", true},            // only 0 is ok there
        {R"({"result": "200"})", true},
        {R"({"outcome": 0})", false},
        {R"({"meta": {"result": "fail"}})", true},
        {R"({"steps": [{"status": "ok"}, {"status": "error"}]})", true},
        {R"({"state": "error"})", false},
    };
    for (const auto& c : cases) EXPECT_EQ(summary::has_non_ok_status(parse(c.record)), c.non_ok) << c.record;
}

TEST(JsonSummary, IdRule) {
    struct T {
        const char* record;
        bool has_id;
    };
    const T cases[] = {
        {R"({"trace_id": "123e4567-e89b-12d3-a456-426614174000"})", true},
        {R"({"id": "12345678901234567890"})", false},  // digits only
        {R"({"id": 123456789})", false},
        {R"({"id": "abc123"})", false},                // shorter than 8 bytes
        {R"({"id": "abc12345"})", true},
        {R"({"ID": "  a.b_c-d9  "})", true},
        {R"({"id": "has space1"})", false},
        {R"({"request-id": "r-000000a"})", true},
        {R"({"userUUID": "u0000000a"})", true},
        {R"({"contentHash": "0a1b2c3d4e"})", true},
        {R"({"sha256": "e3b0c44298fc"})", true},
        {R"({"shasum": "e3b0c44298fc"})", false},
        {R"({"identity": "e3b0c44298fc"})", false},
        {R"({"id": {"inner_id": "abcdefgh1"}})", true},
        {R"({"list": [{"x": 1}, {"build_id": "b-20240101"}]})", true},
    };
    for (const auto& c : cases) EXPECT_EQ(summary::has_named_id_field(parse(c.record)), c.has_id) << c.record;
}

TEST(JsonSummary, InterestingTextInValues) {
    EXPECT_TRUE(summary::has_interesting_text(parse(R"({"a": {"b": ["ok", "see /var/log"]}})")));
    EXPECT_FALSE(summary::has_interesting_text(parse(R"({"/var/log": "ok", "error": 1})")));  // names not tested
}

std::vector<json::Value> uniform(int n) {
    std::vector<json::Value> out;
    for (int i = 0; i < n; ++i) out.push_back(parse(R"({"n": )" + std::to_string(i) + R"(, "msg": "fine"})"));
    return out;
}

TEST(JsonSummary, KeptRecordsAndGaps) {
    auto records = uniform(12);
    records[4] = parse(R"({"n": 4, "msg": "fine", "extra": true})");  // more members
    records[5] = parse(R"({"n": 5})");                               // fewer members
    records[7] = parse(R"({"msg": "fine", "n": 7})");               // same names, other order
    records[9] = parse(R"({"n": 9, "msg": "2 warnings"})");
    EXPECT_EQ(summary::summarize_records("jsonl", "records", "JSONL records", records, true),
              "jsonl records=12 keys=n,msg,extra\n"
              R"({"n":0,"msg":"fine"})" "\n"
              R"({"n":1,"msg":"fine"})" "\n"
              R"({"n":2,"msg":"fine"})" "\n"
              "… 1 JSONL records omitted\n"
              R"({"n":4,"msg":"fine","extra":true})" "\n"
              R"({"n":5})" "\n"
              "… 3 JSONL records omitted\n"
              R"({"n":9,"msg":"2 warnings"})" "\n"
              R"({"n":10,"msg":"fine"})" "\n"
              R"({"n":11,"msg":"fine"})" "\n");
}

TEST(JsonSummary, SmallCountsAndLastRecordNotable) {
    EXPECT_EQ(summary::summarize_records("json array", "rows", "JSON rows", uniform(2), false),
              "json array: rows=2 keys=n,msg\n{\"n\":0,\"msg\":\"fine\"}\n{\"n\":1,\"msg\":\"fine\"}");
    auto records = uniform(10);
    records[9] = parse(R"({"n": 9, "msg": "FATAL"})");
    records[3] = parse(R"({"n": 3, "msg": "fine", "status": "down"})");
    const std::string got = summary::summarize_records("jsonl", "records", "JSONL records", records, false);
    EXPECT_EQ(got,
              "jsonl records=10 keys=n,msg,status\n{\"n\":0,\"msg\":\"fine\"}\n{\"n\":1,\"msg\":\"fine\"}\n"
              "{\"n\":2,\"msg\":\"fine\"}\n{\"n\":3,\"msg\":\"fine\",\"status\":\"down\"}\n"
              "… 3 JSONL records omitted\n{\"n\":7,\"msg\":\"fine\"}\n{\"n\":8,\"msg\":\"fine\"}\n"
              "{\"n\":9,\"msg\":\"FATAL\"}");
}

TEST(JsonSummary, ArrayNeedsTenObjects) {
    json::Value nine = json::Value::array();
    for (auto& r : uniform(9)) nine.push_back(r);
    EXPECT_FALSE(summary::summarize_json_array(nine, true));
    json::Value ten = nine;
    ten.push_back(parse(R"({"n": 9, "msg": "fine"})"));
    EXPECT_TRUE(summary::summarize_json_array(ten, true));
    ten.push_back(json::Value("scalar"));
    EXPECT_FALSE(summary::summarize_json_array(ten, true));
    EXPECT_FALSE(summary::summarize_json_array(parse(R"({"a": 1})"), true));
}

// Printed records are the adapter's compact form; pinned so that a change of
// the library behind it shows here.
TEST(JsonSummary, CompactFormOfPrintedRecords) {
    struct T {
        const char* source;
        const char* compact;
    };
    const T cases[] = {
        {R"({"a": 1, "b": -0, "c": 1.50, "d": 1E2, "e": 0.1, "f": 1e-7})",
         R"({"a":1,"b":0,"c":1.5,"d":100.0,"e":0.1,"f":1e-07})"},
        {R"({"big": 18446744073709551615, "bigger": 18446744073709551616, "neg": -9223372036854775809})",
         R"({"big":18446744073709551615,"bigger":1.8446744073709552e+19,"neg":-9.223372036854776e+18})"},
        {R"({"pi": 3.14159265358979323846, "tiny": 1e-400, "negz": -0.0})",
         R"({"pi":3.141592653589793,"tiny":0.0,"negz":-0.0})"},
        {R"({"s": "caf\u00e9 \ud83d\ude00 ☕"})", "{\"s\":\"caf\xC3\xA9 \xF0\x9F\x98\x80 \xE2\x98\x95\"}"},
        {R"({"c": "\u0001\u001f\t\n\r\b\f\u007f"})", "{\"c\":\"\\u0001\\u001f\\t\\n\\r\\b\\f\x7F\"}"},
        {R"({"slash": "a\/b/c", "q": "\"\\"})", R"({"slash":"a/b/c","q":"\"\\"})"},
        {R"({"dup": 1, "x": 2, "dup": 3})", R"({"dup":3,"x":2})"},
        {R"({"e": {}, "a": [], "n": null, "t": true})", R"({"e":{},"a":[],"n":null,"t":true})"},
    };
    for (const auto& c : cases) EXPECT_EQ(json::write_compact(parse(c.source)), c.compact) << c.source;
}

}  // namespace
