#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "filters/opaque_payload/detector.h"
#include "filters/opaque_payload/reducer.h"
#include "json.h"
#include "support.h"

namespace {

using filters::opaque_payload::reducer::compress_opaque_payload_output;
namespace detector = filters::opaque_payload::detector;

// `n` characters cycling through letters and digits (no hex-only run).
std::string alnum(std::size_t n, std::size_t seed = 0) {
    static const std::string kChars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s.push_back(kChars[(i * 7 + seed) % kChars.size()]);
    return s;
}

std::string lines_of(std::size_t count, std::size_t width, std::string last = "") {
    std::string s;
    for (std::size_t i = 0; i < count; ++i) s += alnum(width, i) + "\n";
    if (!last.empty()) s += last + "\n";
    return s;
}

std::string pem(const std::string& label, const std::string& body, const std::string& end_label = "") {
    return "-----BEGIN " + label + "-----\n" + body + "-----END " + (end_label.empty() ? label : end_label) + "-----\n";
}

TEST(OpaquePayloadDetector, Base64Shapes) {
    struct Row {
        std::string text;
        bool valid;
    };
    const Row rows[] = {
        {"QUJD", true},    {"QUJDRA==", true}, {"QUJDRAE=", true}, {"QUJDR", false}, {"QU=JD", false},
        {"ab+c_d", false}, {"ab-c_dxy", true}, {"a b", false},     {"", false},
        // Longer than one sixteen-byte step: the two alphabets met in
        // different steps, a stranger after the first step, and padding
        // inside the text.
        {std::string(16, 'A') + "+" + std::string(15, 'B') + "_AAA", false},
        {"+" + std::string(31, 'B') + "/AAA", true},
        {std::string(20, 'A') + "\xC3\xA9" + std::string(10, 'A'), false},
        {std::string(17, 'A') + "====" + std::string(11, 'A'), false},
    };
    for (const auto& r : rows) EXPECT_EQ(detector::valid_base64_shape(r.text), r.valid) << r.text;
    EXPECT_FALSE(detector::is_base64_token(alnum(1023)));
    EXPECT_TRUE(detector::is_base64_token(alnum(1024)));
    EXPECT_FALSE(detector::is_base64_token(std::string(1024, 'a')));  // hexadecimal digits only
    EXPECT_FALSE(detector::is_base64_token(alnum(1000) + "," + alnum(999)));
    EXPECT_TRUE(detector::looks_like_path_or_diff_line("-" + alnum(40)));
    EXPECT_TRUE(detector::looks_like_path_or_diff_line("a/b/c/d"));
    EXPECT_FALSE(detector::looks_like_path_or_diff_line("ab//" + alnum(40)));
    EXPECT_TRUE(detector::looks_like_path_or_diff_line("+" + alnum(40)));
    EXPECT_TRUE(detector::looks_like_path_or_diff_line("ab//" + alnum(12)));   // two "/" in 16 bytes
    EXPECT_FALSE(detector::looks_like_path_or_diff_line("ab//" + alnum(13)));  // two "/" in 17 bytes
    EXPECT_TRUE(detector::looks_like_path_or_diff_line(alnum(10) + "/" + alnum(10) + "/" + alnum(10) + "/" + alnum(9)));
    EXPECT_FALSE(detector::looks_like_path_or_diff_line(alnum(10) + "/" + alnum(10) + "//" + alnum(10)));
}

TEST(OpaquePayloadDetector, OpaqueStringsAndSourceMaps) {
    const auto value = [](const std::string& text) { return *json::parse(text); };
    const std::string indented = "function f() {\n    return 1;\n}\n";
    std::string source;
    while (source.size() < 10000) source += indented;
    EXPECT_EQ(detector::opaque_string_bytes(
                  value("{\"src\":[" + json::quote_string(source) + "," + json::quote_string(source) + "]}"), ""),
              0u);
    EXPECT_EQ(detector::opaque_string_bytes(value("{\"Mappings\":\"" + std::string(9000, ';') + "\"}"), ""), 9000u);
    // One space in 9000 characters and no script marker: dense enough.
    std::string dense = alnum(8955);
    dense += ". ";
    dense += alnum(43);
    EXPECT_EQ(detector::opaque_string_bytes(value("{\"blob\":\"" + dense + "\"}"), ""), 9000u);
    EXPECT_TRUE(detector::is_source_map_signature(value(R"({"VERSION":3,"Sources":[],"mappings":""})")));
    EXPECT_FALSE(detector::is_source_map_signature(value(R"({"version":3,"mappings":""})")));
}

TEST(OpaquePayloadReducer, LineSpans) {
    const std::string cert = lines_of(40, 64, alnum(18) + "==");
    const std::string short_last = lines_of(40, 64, "AbCd1234");
    const auto pem_marker = [](const std::string& label, const std::string& block) {
        return text::format("[opaque payload omitted: kind=pem label=\"{}\" lines={} bytes={}]\n", label,
                            std::count(block.begin(), block.end(), '\n'), block.size() - 1);
    };
    const std::string four16 = lines_of(4, 16);
    const std::string three16 = lines_of(3, 16);
    const std::string body512 = alnum(168) + "\n" + alnum(170) + "\n" + alnum(172) + "\n";
    const std::string body511 = alnum(168) + "\n" + alnum(170) + "\n" + alnum(171) + "\n";
    const std::string header80 = "Comment: " + alnum(71) + "\n";
    const std::string header81 = "Comment: " + alnum(72) + "\n";
    const test_support::Case cases[] = {
        {"certificate", "before\n" + pem("CERTIFICATE", cert) + "after\n",
         "before\n[opaque payload omitted: kind=pem label=\"CERTIFICATE\" lines=43 bytes=2674]\nafter\n"},
        {"short data line: a base64 run instead", pem("CERTIFICATE", short_last),
         "-----BEGIN CERTIFICATE-----\n[opaque payload omitted: kind=base64 lines=40 bytes=2599]\nAbCd1234\n"
         "-----END CERTIFICATE-----\n"},
        {"encrypted key headers",
         pem("RSA PRIVATE KEY", "Proc-Type: 4,ENCRYPTED\nDEK-Info: AES-128-CBC,00FF\n\n" + cert),
         "[opaque payload omitted: kind=pem label=\"RSA PRIVATE KEY\" lines=46 bytes=2733]\n"},
        {"three long lines are three tokens", lines_of(3, 1100),
         "[opaque payload omitted: kind=base64 lines=1 bytes=1100]\n[opaque payload omitted: kind=base64 lines=1 "
         "bytes=1100]\n[opaque payload omitted: kind=base64 lines=1 bytes=1100]\n"},
        {"four lines of 600 make a run", "x\n" + lines_of(4, 600) + "y",
         "x\n[opaque payload omitted: kind=base64 lines=4 bytes=2403]\ny"},
        {"four content lines of 16 bytes", pem("A", four16), pem_marker("A", pem("A", four16))},
        {"three content lines of 16 bytes", pem("A", three16), pem("A", three16)},
        {"a data line of 15 bytes", pem("A", three16 + alnum(15) + "\n"), pem("A", three16 + alnum(15) + "\n")},
        {"three content lines of 512 bytes", pem("A", body512), pem_marker("A", pem("A", body512))},
        {"three content lines of 511 bytes", pem("A", body511), pem("A", body511)},
        {"a header of 80 bytes", pem("A", header80 + four16), pem_marker("A", pem("A", header80 + four16))},
        {"a header of 81 bytes", pem("A", header81 + four16), pem("A", header81 + four16)},
        {"a label starting with a digit", pem("1KEY", four16), pem_marker("1KEY", pem("1KEY", four16))},
        {"a label with a dash", pem("A-B", four16), pem_marker("A-B", pem("A-B", four16))},
        {"a label with a point", pem("A.B", four16), pem_marker("A.B", pem("A.B", four16))},
        {"a label with an underscore", pem("A_B", four16), pem_marker("A_B", pem("A_B", four16))},
        {"a run of 2048 bytes", lines_of(4, 512), "[opaque payload omitted: kind=base64 lines=4 bytes=2051]\n"},
        {"a run of 2047 bytes", lines_of(3, 512, alnum(511)), lines_of(3, 512, alnum(511))},
        {"a run line of 32 bytes", lines_of(3, 700, alnum(32)),
         "[opaque payload omitted: kind=base64 lines=4 bytes=2135]\n"},
        {"a run line of 31 bytes", lines_of(3, 700, alnum(31)), lines_of(3, 700, alnum(31))},
    };
    for (const auto& c : cases) EXPECT_EQ(compress_opaque_payload_output(c.in), c.want) << c.name;
}

TEST(OpaquePayloadReducer, LeavesLookalikesAlone) {
    std::string hex;
    for (int i = 0; i < 4; ++i) hex += std::string(600, "0123456789abcdef"[i]) + "\n";
    const std::string rows[] = {
        pem("certificate", lines_of(40, 30)),
        pem("CERTIFICATE", lines_of(40, 30), "PRIVATE KEY"),
        pem("CERTIFICATE", "QUJDRA==\nQUJDRA==\nQUJDRA==\n"),
        hex,
        "  " + alnum(2000) + "\n",
        "no newline at the end",
        // Many BEGIN lines that never end, and "data:" that never forms a URL.
        [] {
            std::string s;
            for (int i = 0; i < 2000; ++i) s += "-----BEGIN KEY " + std::to_string(i) + "-----\n" + alnum(64) + "\n";
            for (int i = 0; i < 2000; ++i) s += "data:data:a/b;data:x/y,data:\n";
            for (int i = 0; i < 2000; ++i) s += "-----BEGIN X-----";
            return s + "\n";
        }(),
        // Runs of three long base64 lines, each broken by a short line.
        [] {
            std::string s;
            for (int i = 0; i < 500; ++i) s += lines_of(3, 600) + "short\n";
            return s;
        }(),
    };
    for (const auto& in : rows) EXPECT_EQ(compress_opaque_payload_output(in), in) << in.substr(0, 60);
}

TEST(OpaquePayloadReducer, DataUrls) {
    const std::string b64 = "data:image/PNG;base64,";
    const test_support::Case cases[] = {
        {"base64 image in a log line", "GET /a img=" + b64 + alnum(5000) + " ok\n",
         "GET /a img=[opaque payload omitted: kind=data-url mime=image/png encoding=base64 bytes=5022] ok\n"},
        {"2048 payload bytes", "<img src=\"" + b64 + alnum(2048) + "\">",
         "<img src=\"[opaque payload omitted: kind=data-url mime=image/png encoding=base64 bytes=2070]\">"},
        {"2047 payload bytes stay", "x " + b64 + alnum(2047), "x " + b64 + alnum(2047)},
        {"capital scheme stays", "DATA:image/png;base64," + alnum(3000), "DATA:image/png;base64," + alnum(3000)},
        {"no media type stays", "data:;base64," + alnum(3000), "data:;base64," + alnum(3000)},
        {"underscore in media type stays", "data:image/x_png;base64," + alnum(3000),
         "data:image/x_png;base64," + alnum(3000)},
        {"url-encoded up to the quote", "u='data:text/plain," + std::string(5000, '%') + "' end",
         "u='[opaque payload omitted: kind=data-url mime=text/plain encoding=urlencoded bytes=5016]' end"},
        // A no-break space ends the payload; other non-ASCII characters belong to it.
        {"url-encoded up to a no-break space", "data:text/plain," + std::string(5000, '%') + "\u00a0end",
         "[opaque payload omitted: kind=data-url mime=text/plain encoding=urlencoded bytes=5016]\u00a0end"},
        {"url-encoded through accented letters", "data:text/plain,\u00e9" + std::string(4998, '%') + " end",
         "[opaque payload omitted: kind=data-url mime=text/plain encoding=urlencoded bytes=5016] end"},
        {"base64 up to an accented letter", "x " + b64 + alnum(3000) + "\u00e9 y",
         "x [opaque payload omitted: kind=data-url mime=image/png encoding=base64 bytes=3022]\u00e9 y"},
        {"the base64 parameter in capitals", "data:image/svg+xml;BASE64," + alnum(3000),
         "[opaque payload omitted: kind=data-url mime=image/svg+xml encoding=base64 bytes=3026]"},
        {"a media type with points and dashes", "data:application/vnd.ms-excel;base64," + alnum(3000),
         "[opaque payload omitted: kind=data-url mime=application/vnd.ms-excel encoding=base64 bytes=3037]"},
    };
    for (const auto& c : cases) EXPECT_EQ(compress_opaque_payload_output(c.in), c.want) << c.name;
    // Each of these ends a payload where it stands, and rejects a header.
    const std::string percents(2100, '%');
    for (const std::string stop : {" ", "\t", "\"", "'", ")", "<", ">", "]", "`", "}"}) {
        EXPECT_EQ(compress_opaque_payload_output("data:text/plain," + percents + stop + "end"),
                  "[opaque payload omitted: kind=data-url mime=text/plain encoding=urlencoded bytes=2116]" + stop +
                      "end")
            << stop;
        const std::string header = "data:text/pl" + stop + "ain," + percents;
        EXPECT_EQ(compress_opaque_payload_output(header), header) << stop;
    }
}

TEST(OpaquePayloadReducer, WholeBodies) {
    const auto source_map = [](std::size_t mappings, std::size_t total,
                               const std::string& head = R"({"version":3,"sources":["a.js"],"mappings":")") {
        std::string s = head + std::string(mappings, 'A') + "\"";
        s += std::string(total - s.size() - 1, ' ') + "}";
        return s;
    };
    const auto pretty_map = [](std::size_t mappings) {
        std::string s = "{\n\"version\": 3,\n\"sources\": [\"a.js\"],\n\"mappings\":\n\"" +
                        std::string(mappings, 'A') + "\"";
        while (s.size() < 9000) s += ",\n\"k\": 1";
        return s + "\n}";
    };
    const auto page_of = [](std::size_t bytes, const std::string& title) {
        std::string page = "<!DOCTYPE html>\n<html><head><title>" + title + "</title></head><body>\n";
        while (page.size() + 11 <= bytes - 15) page += "<p>row</p>\n";
        return page + std::string(bytes - 15 - page.size(), ' ') + "</body></html>\n";
    };
    const std::string page = page_of(40000, "Build\n Report");
    // A page of short lines but one, of `bytes` full stops.
    const auto long_line_page = [](std::size_t bytes) {
        return "<!DOCTYPE html>\n<html><body>\n" + std::string(bytes, '.') + "\n</body></html>\n";
    };
    const auto bundle_of = [](std::size_t bytes, const std::string& open = "!function(){",
                              const std::string& close = "}();") {
        return open + std::string(bytes - open.size() - close.size() - 1, 'a') + close + "\n";
    };
    const std::string bundle = bundle_of(40000);
    const std::string script = "[opaque payload omitted: kind=minified-js bytes=40000]\n";
    // Five lines of 8191 bytes, the first of `first` bytes.
    const auto five_lines = [](std::size_t first) {
        std::string s = "!function(){" + std::string(first - 13, 'a') + ";\n";
        for (int i = 0; i < 4; ++i) s += std::string(8190, 'a') + ";\n";
        return s;
    };
    // A one-line bundle of 40000 characters, `spaces` of them spaces.
    const auto spaced_bundle = [](std::size_t spaces) {
        std::string s = "!function(){" + std::string(40000 - 16, 'a') + "}();";
        for (std::size_t i = 0; i < spaces; ++i) s[12 + i * 9] = ' ';
        return s;
    };
    // An object of 14000 opaque bytes and a string of spaces, `compact` bytes in all.
    const auto opaque_share = [](std::size_t compact) {
        return "{\"a\":\"" + std::string(14000, 'A') + "\",\"b\":\"" + std::string(compact - 14015, ' ') + "\"}";
    };
    // One member: 9000 characters under `key`, `word` first and `spaces` spaces spread out.
    const auto blob = [](const std::string& key, std::size_t spaces, const std::string& word = "") {
        std::string value = word + alnum(9000 - word.size());
        for (std::size_t i = 0; i < spaces; ++i) value[word.size() + i * (9000 - word.size()) / spaces] = ' ';
        return "{\"" + key + "\":\"" + value + "\"}";
    };
    const auto blob_marker = [](const std::string& key) {
        return text::format("[opaque payload omitted: kind=json-opaque keys={} bytes={}]", key, key.size() + 9007);
    };
    std::string spread;
    while (spread.size() < 40000) spread += "  function f(a, b) {\n    return a + b;\n  }\n";
    const test_support::Case cases[] = {
        {"source map", source_map(19000, 20000),
         "[opaque payload omitted: kind=json-source-map keys=version,sources,mappings bytes=20000]"},
        {"short mappings", source_map(8191, 20000), source_map(8191, 20000)},
        // The shortest opaque string alone on its line among many short lines.
        {"pretty source map", pretty_map(8192),
         "[opaque payload omitted: kind=json-source-map keys=version,sources,mappings,k bytes=" +
             std::to_string(pretty_map(8192).size()) + "]"},
        {"pretty source map one byte short", pretty_map(8191), pretty_map(8191)},
        {"large page", page, "[opaque payload omitted: kind=html bytes=40000 title=\"Build Report\"]\n"},
        {"small page", page.substr(0, 20000 - 15) + "</body></html>", page.substr(0, 20000 - 15) + "</body></html>"},
        {"minified bundle", bundle, "[opaque payload omitted: kind=minified-js bytes=40000]\n"},
        {"bundle after a response head", "HTTP/1.1 200 OK\nContent-Type: text/javascript\n\n" + bundle,
         "HTTP/1.1 200 OK\nContent-Type: text/javascript\n\n[opaque payload omitted: kind=minified-js bytes=40000]\n"},
        {"indented source", spread, spread},
        {"70 percent opaque", opaque_share(20000), "[opaque payload omitted: kind=json-opaque keys=a,b bytes=20000]"},
        {"just under 70 percent opaque", opaque_share(20001), opaque_share(20001)},
        {"file names a source map", source_map(19000, 20000, R"({"version":3,"file":"a.js","mappings":")"),
         "[opaque payload omitted: kind=json-source-map keys=version,file,mappings bytes=20000]"},
        {"names name a source map", source_map(19000, 20000, R"({"version":3,"names":[],"mappings":")"),
         "[opaque payload omitted: kind=json-source-map keys=version,names,mappings bytes=20000]"},
        {"version and mappings alone", source_map(19000, 20000, R"({"version":3,"mappings":")"),
         "[opaque payload omitted: kind=json-opaque keys=version,mappings bytes=20000]"},
        {"one space in a hundred", blob("s", 90), blob_marker("s")},
        {"91 spaces in 9000", blob("s", 91), blob("s", 91)},
        {"function and one space in ten", blob("s", 900, "function"), blob_marker("s")},
        {"function and 901 spaces in 9000", blob("s", 901, "function"), blob("s", 901, "function")},
        {"webpack", blob("s", 450, "webpack"), blob_marker("s")},
        {"an arrow", blob("s", 450, "x=>"), blob_marker("s")},
        {"no script word", blob("s", 450), blob("s", 450)},
        {"under mappings", blob("mappings", 4500), blob_marker("mappings")},
        {"not under mappings", blob("m", 4500), blob("m", 4500)},
        {"a data: string", blob("s", 4500, "data:"), blob_marker("s")},
        {"a page of 32768 bytes", page_of(32768, "Doc"),
         "[opaque payload omitted: kind=html bytes=32768 title=\"Doc\"]\n"},
        {"a page of 32767 bytes", page_of(32767, "Doc"), page_of(32767, "Doc")},
        {"a page with a line of 8192 bytes", long_line_page(8192), "[opaque payload omitted: kind=html bytes=8237]\n"},
        {"a page with a line of 8191 bytes", long_line_page(8191), long_line_page(8191)},
        {"a page opening with <html", page.substr(16),
         "[opaque payload omitted: kind=html bytes=39984 title=\"Build Report\"]\n"},
        {"a title of 80 characters", page_of(40000, std::string(80, 't')),
         "[opaque payload omitted: kind=html bytes=40000 title=\"" + std::string(80, 't') + "\"]\n"},
        {"a title of 81 characters", page_of(40000, std::string(81, 't')),
         "[opaque payload omitted: kind=html bytes=40000 title=\"" + std::string(77, 't') + "...\"]\n"},
        {"a bundle of 32768 bytes", bundle_of(32768), "[opaque payload omitted: kind=minified-js bytes=32768]\n"},
        {"a bundle of 32767 bytes", bundle_of(32767), bundle_of(32767)},
        {"a longest line of 8192 among five", five_lines(8192),
         "[opaque payload omitted: kind=minified-js bytes=40961]\n"},
        {"five lines of 8191", five_lines(8191), five_lines(8191)},
        {"one space in ten", spaced_bundle(4000), "[opaque payload omitted: kind=minified-js bytes=40000]"},
        {"4001 spaces in 40000", spaced_bundle(4001), spaced_bundle(4001)},
        {"opening (()=>", bundle_of(40000, "(()=>{"), script},
        {"opening function", bundle_of(40000, "function(){"), script},
        {"opening var", bundle_of(40000, "var f=function(){"), script},
        {"opening let", bundle_of(40000, "let f=function(){"), script},
        {"opening const", bundle_of(40000, "const f=function(){"), script},
        {"opening (function", bundle_of(40000, "(function(){"), script},
        {"another opening", bundle_of(40000, "run(function(){"), bundle_of(40000, "run(function(){")},
        {"var with webpack", bundle_of(40000, "var a=1;", ";webpack"), script},
        {"var with a source map comment", bundle_of(40000, "var a=1;", ";//# sourceMappingURL=a.js"),
         script},
        {"var with an arrow", bundle_of(40000, "var a=1;", ";b=>b"), script},
        {"var with no script word", bundle_of(40000, "var a=1;", ";"), bundle_of(40000, "var a=1;", ";")},
    };
    for (const auto& c : cases) EXPECT_EQ(compress_opaque_payload_output(c.in), c.want) << c.name;

    // An object is read into a tree only when it may hold a string of the
    // opaque size: escaped quotes, or an escaped backslash before the
    // closing quote, do not hide one; a wide object of short members holds
    // none and is left as it is.
    const auto mappings = [](const char* name, const std::string& raw) {
        const std::string s = R"({"version":3,"sources":["a.js"],"mappings":")" + raw + "\"}";
        return test_support::Case{name, s,
                                  "[opaque payload omitted: kind=json-source-map keys=version,sources,mappings bytes=" +
                                      std::to_string(s.size()) + "]"};
    };
    std::string quotes;  // one in every window the test reads
    for (int k = 0; k < 82; ++k) quotes += std::string(99, 'A') + "\\\"";
    std::string wide = "{";
    for (int k = 0; k < 2000; ++k) wide += (k ? ",\"k" : "\"k") + std::to_string(k) + "\":" + std::to_string(k);
    wide += "}";
    for (const auto& c : {mappings("escaped quotes", quotes),
                          mappings("escaped backslash last", std::string(8191, 'A') + "\\\\"),
                          mappings("both", std::string(4000, 'A') + "\\\"" + std::string(4190, 'A') + "\\\\"),
                          test_support::Case{"wide object of short members", wide, wide}}) {
        const std::string out = compress_opaque_payload_output(c.in);
        EXPECT_TRUE(out == c.want) << c.name << ": " << out.substr(0, 100);
    }
}

// The early decline must never turn away a payload that the scan replaces:
// payloads just at their size limits, at every offset across the windows
// that the early test looks at.
TEST(OpaquePayloadReducer, EarlyDeclineKeepsPayloadsAtTheirLimits) {
    // The header's comma as far as it may stand: 257 bytes after "data:".
    const std::string url_head = "data:image/png;" + std::string(240, 'x') + ";base64,";
    const std::string payloads[] = {
        alnum(1024),                                                          // the shortest token
        lines_of(4, 512),                                                     // the shortest run
        pem("A", "Proc-Type: 4,ENCRYPTED\nk: v\nk: v\n" + alnum(16) + "\n"),  // a small block
        url_head + alnum(2048),
        "u='data:text/plain," + std::string(2048, '%') + "'",
    };
    for (const std::string& payload : payloads) {
        const std::size_t replaced = compress_opaque_payload_output(payload).size();
        ASSERT_LT(replaced, payload.size()) << payload.substr(0, 40);
        for (std::size_t offset = 0; offset < 600; offset += 37) {
            const std::string before = std::string(offset, '.') + "\n";
            const std::string in = before + payload + "\nafter\n";
            EXPECT_EQ(compress_opaque_payload_output(in).size(), before.size() + replaced + 7)
                << offset << ": " << payload.substr(0, 40);
        }
    }
    // One comma too far, one payload byte short, one stop inside.
    for (const std::string& in :
         {"data:image/png;" + std::string(241, 'x') + ";base64," + alnum(2048), url_head + alnum(2047),
          "data:text/plain," + std::string(2000, '%') + " " + std::string(2000, '%')})
        EXPECT_EQ(compress_opaque_payload_output(in), in);
}

TEST(OpaquePayloadDetector, SignsOfLinePayloads) {
    struct Row {
        std::string text;
        bool maybe;
    };
    const Row rows[] = {
        {"commit 3f2a9c1\nAuthor: A U Thor\n\n    Fix the model::load path, see data: none\n", false},
        {"-----BEGIN X-----\n" + alnum(64) + "\n", false},  // never ends
        {"-----END X-----\n-----BEGIN X-----\n", false},    // ends before it begins
        {"-----BEGIN X-----\n-----END X-----\n", true},
        {lines_of(3, 100) + "short\n" + lines_of(3, 100), false},
        {"data:" + std::string(5000, '%'), false},  // no comma
        {"data:a/b," + alnum(3000), true},
    };
    for (const auto& r : rows) EXPECT_EQ(detector::may_hold_line_payload(r.text), r.maybe) << r.text.substr(0, 40);
}

}  // namespace
