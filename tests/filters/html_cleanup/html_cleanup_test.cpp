#include <gtest/gtest.h>

#include <string>

#include "filters/html_cleanup/detector.h"
#include "filters/html_cleanup/reducer.h"
#include "filters/html_cleanup/summary.h"
#include "support.h"

namespace {

using filters::html_cleanup::detector::detect_html_payload;
using filters::html_cleanup::reducer::compress_html_cleanup_output;
namespace summary = filters::html_cleanup::summary;

// A page of exactly `bytes` bytes (at least its markup): `body` inside
// <body>, padded with a comment that the summary drops.
std::string page_of(std::size_t bytes, const std::string& body, const std::string& head = "<title>Doc</title>") {
    const std::string open = "<!DOCTYPE html>\n<html><head>" + head + "</head><body>\n" + body + "\n<!--";
    const std::string close = "-->\n</body></html>\n";
    std::string pad = bytes > open.size() + close.size() ? std::string(bytes - open.size() - close.size(), 'x') : "";
    return open + pad + close;
}

std::string page(const std::string& body, const std::string& head = "<title>Doc</title>") {
    return page_of(5000, body, head);
}

TEST(HtmlCleanupDetector, AcceptsWholePagesOnly) {
    const std::string good = page("<p>Hello there world</p>");
    struct Row {
        std::string name;
        std::string text;
        bool accepted;
    };
    std::string feeds = page_of(4096, "<p>a</p>");
    std::string feeds40 = feeds;
    std::string feeds41 = feeds;
    std::string feeds41_of_4100 = page_of(4100, "<p>a</p>");
    for (int i = 0; i < 40; ++i) feeds40[200 + static_cast<std::size_t>(i)] = '\f';
    for (int i = 0; i < 41; ++i) feeds41[200 + static_cast<std::size_t>(i)] = '\f';
    for (int i = 0; i < 41; ++i) feeds41_of_4100[200 + static_cast<std::size_t>(i)] = '\f';
    const Row rows[] = {
        {"4096 bytes examined", page_of(4096, "<p>a</p>"), true},
        {"4095 bytes declined", page_of(4095, "<p>a</p>"), false},
        {"capital doctype and blank lines around", "\n\n" + page("<P>Up</P>") + "\n\n", true},
        {"starts with <html", good.substr(good.find("<html")), true},
        {"text before the page", "see:\n" + good, false},
        {"no closing html at the end", good + "trailer\n", false},
        {"template braces", page("<p>{{ user.name }}</p>"), false},
        {"component source", page("<div className=\"x\">y</div>"), false},
        {"diff inside", page("<p>x</p>\n--- a/x"), false},
        {"NUL byte", page(std::string("<p>a\0b</p>", 10)), false},
        {"40 form feeds of 4096 characters", feeds40, true},
        {"41 form feeds", feeds41, false},
        {"41 form feeds of 4100 characters, exactly one in a hundred", feeds41_of_4100, true},
        {"status line alone as head", "HTTP/1.1 200 OK\n\n" + good, true},
        {"header line without colon", "HTTP/1.1 200 OK\nServer nginx\n\n" + good, false},
        {"protocol in lower case", "http/1.1 200 OK\nServer: x\n\n" + good, false},
    };
    for (const auto& r : rows) EXPECT_EQ(detect_html_payload(r.text).has_value(), r.accepted) << r.name;
    // Each mark of template or component source, a diff, a traceback or a
    // compiler diagnostic declines the page on its own.
    for (const std::string mark : {"```", "{%", "<%", "<?php", "function App(", "React.",
                                   "Traceback (most recent call last):", "\ndiff --git ", "\n+++ ",
                                   "\n --> src/main.rs:2:5 error:", "\n --> src/main.rs:2:5 Warning:"})
        EXPECT_FALSE(detect_html_payload(page("<p>x " + mark + " y</p>"))) << mark;
    EXPECT_TRUE(detect_html_payload(page("<p>x\n --> y</p>"))) << "an arrow line alone";
}

TEST(HtmlCleanupDetector, KeepsTheHeadByteForByte) {
    const std::string body = page("<p>x y z</p>");
    const auto crlf = detect_html_payload("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n" + body);
    ASSERT_TRUE(crlf);
    EXPECT_EQ(crlf->head, "HTTP/1.1 200 OK\r\nContent-Type: text/html");
    EXPECT_EQ(crlf->separator, "\r\n\r\n");
    EXPECT_EQ(crlf->body, body);
    const auto none = detect_html_payload(body);
    ASSERT_TRUE(none);
    EXPECT_EQ(none->head, "");
    EXPECT_EQ(none->separator, "");
}

TEST(HtmlCleanupText, CharacterReferences) {
    const test_support::Case cases[] = {
        {"named in any case", "&AMP; &lt;b&GT; &quot;&apos;&colon;", "& <b> \"':"},
        {"decimal, hex, plus", "&#65;&#x41;&#+65;", "AAA"},
        {"NUL decodes as U+FFFD", "a&#0;b&#x0;c&#x00000;",
         "a\xEF\xBF\xBD"
         "b\xEF\xBF\xBD"
         "c\xEF\xBF\xBD"},
        {"minus, empty, surrogate stay", "&#-65; &#; &#x; &#xD800;", "&#-65; &#; &#x; &#xD800;"},
        {"beyond 32 bits stays", "&#4294967296;", "&#4294967296;"},
        {"largest scalar", "&#x10FFFF;", "\xF4\x8F\xBF\xBF"},
        {"unknown name stays", "&nbsp;&copy;", "&nbsp;&copy;"},
        {"no reference before the semicolon", "a & b; c", "a & b; c"},
        {"no semicolon at all", "&&&&", "&&&&"},
    };
    for (const auto& c : cases) EXPECT_EQ(summary::html_unescape(c.in), c.want) << c.name;
}

TEST(HtmlCleanupText, TagsSnippetsAndTruncation) {
    EXPECT_EQ(summary::tags_to_text("<p>One</p><span>two</span>", true), "\nOne\n two ");
    EXPECT_EQ(summary::tags_to_text("<p>One</p><span>two</span>", false), " One  two ");
    EXPECT_EQ(summary::tags_to_text("a < b", true), "a < b");
    EXPECT_EQ(summary::sanitize_snippet("see data:image/png;base64,AAAA) end"), "see [data-url omitted]) end");
    EXPECT_EQ(summary::sanitize_snippet("DATA: x"), "[data-url omitted] x");
    EXPECT_EQ(summary::normalize_visible_text("  a\n\t&amp;  b "), "a & b");
    EXPECT_EQ(summary::truncate("h\xC3\xA9llo", 5), "h\xC3\xA9llo");
    EXPECT_EQ(summary::truncate("h\xC3\xA9llo!", 5), "h\xC3\xA9ll\xE2\x80\xA6");
    const auto tag = summary::parse_open_tag("< DIV class=x>", 0);
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag->first, "DIV");
    EXPECT_EQ(tag->second, 13u);
    EXPECT_FALSE(summary::parse_open_tag("<!-- x -->", 0));
    EXPECT_FALSE(summary::parse_open_tag("</div>", 0));
    const auto body = summary::find_open_tag("<bodyguard><body>", "body");
    ASSERT_TRUE(body);
    EXPECT_EQ(body->first, 11u);
    EXPECT_FALSE(summary::find_open_tag("text <body", "body"));
}

TEST(HtmlCleanupReducer, SummarisesAPage) {
    const std::string body =
        "<h1>Guide</h1><h2>Setup</h2><h2>Setup</h2><h3>Setup</h3>\n"
        "<script>var x = '<h1>hidden</h1>';</script><style>p{}</style><svg><text>icon</text></svg>\n"
        "<nav><a data-href=\"bad\" href=\"/docs\">Docs</a> <a href=\"FTP://x/y\">ftp</a> "
        "<a href=\"C:\\\\x\">drive</a> <a href=\"HTTPS://Example.org/A\">Site</a> <a href=\"mailto:a@b.c\"></a> "
        "<a name=\"anchor\">no href</a> <a href=javascript:alert(1)>js</a></nav>\n"
        "<p>Install the package first.</p><p>ok</p><p>errors</p><p>Run &lt;make&gt; twice.</p>\n";
    const std::string in = page(body, "<title>The \"Best\" Guide</title>");
    const std::string want =
        "html document: bytes=5000 title=\"The \\\"Best\\\" Guide\"\n"
        "headings:\n"
        "- h1: Guide\n"
        "- h2: Setup\n"
        "- h3: Setup\n"
        "links:\n"
        "- Docs -> /docs\n"
        "- Site -> HTTPS://Example.org/A\n"
        "- mailto:a@b.c -> mailto:a@b.c\n"
        "text:\n"
        "- Docs ftp drive Site no href js\n"
        "- Install the package first.\n"
        "- errors\n"
        "- Run <make> twice.\n"
        "[html cleanup removed: comments=1 scripts=1 styles=1 svg=1 data_urls=0]\n";
    EXPECT_EQ(compress_html_cleanup_output(in), want);
}

TEST(HtmlCleanupReducer, ListsAreCappedAroundSalientBlocks) {
    std::string body;
    for (int i = 1; i <= 9; ++i) body += "<h2>Part " + std::to_string(i) + "</h2>";
    for (int i = 1; i <= 20; ++i)
        body += "<p>" + std::string(i == 10 || i == 15 ? "Build failed at step " : "Plain words in block ") +
                std::to_string(i) + "</p>\n";
    // No title: the headline ends after the byte count. Single words such
    // as "Part" would be dropped, but "Part 1" has two.
    std::string want = "html document: bytes=5000\nheadings:\n";
    for (int i = 1; i <= 8; ++i) want += "- h2: Part " + std::to_string(i) + "\n";
    want +=
        "… 1 headings omitted\n"
        "text:\n"
        "- Part 1\n"
        "- Part 2\n"
        "- Part 3\n"
        "… 15 text blocks omitted\n"
        "- Build failed at step 10\n"
        "… 4 text blocks omitted\n"
        "- Build failed at step 15\n"
        "… 3 text blocks omitted\n"
        "- Plain words in block 19\n"
        "- Plain words in block 20\n"
        "[html cleanup removed: comments=1 scripts=0 styles=0 svg=0 data_urls=0]\n";
    EXPECT_EQ(compress_html_cleanup_output(page(body, "")), want);
}

TEST(HtmlCleanupReducer, CountsWhatItRemoves) {
    const auto removed_line = [](const std::string& body) {
        const std::string out = compress_html_cleanup_output(page(body));
        const std::size_t at = out.find("[html cleanup removed:");
        return at == std::string::npos ? std::string("none") : out.substr(at, out.find(']', at) - at + 1);
    };
    const std::string url127 = "data:" + std::string(122, 'A');
    const test_support::Case cases[] = {
        {"data URL of 127 bytes not counted", "<p>see the image " + url127 + " here</p>",
         "[html cleanup removed: comments=1 scripts=0 styles=0 svg=0 data_urls=0]"},
        {"data URL of 128 bytes counted", "<p>see the image " + url127 + "A here</p>",
         "[html cleanup removed: comments=1 scripts=0 styles=0 svg=0 data_urls=1]"},
        {"style without its closing tag stays", "<style>p{} Plain words stay here",
         "[html cleanup removed: comments=1 scripts=0 styles=0 svg=0 data_urls=0]"},
        {"script-like elements", "<noscript>a</noscript><template>b</template><SCRIPT>c</script >two words",
         "[html cleanup removed: comments=1 scripts=3 styles=0 svg=0 data_urls=0]"},
        // Read as in a lowercased copy, "\xE2@j" is no whitespace: the URL
        // runs on past 128 bytes.
        {"a stray byte inside a data URL", "<p>see the image data:" + std::string(120, 'c') + "\xE2@J" +
                                               std::string(10, 'c') + " here</p>",
         "[html cleanup removed: comments=1 scripts=0 styles=0 svg=0 data_urls=1]"},
        {"unclosed tags and a stretch of <", "<p>two words</p>" + std::string(3000, '<') + "<h1><a href=x>more",
         "[html cleanup removed: comments=1 scripts=0 styles=0 svg=0 data_urls=0]"},
    };
    for (const auto& c : cases) EXPECT_EQ(removed_line(c.in), c.want) << c.name;
}

TEST(HtmlCleanupReducer, DeclinesWhatItCannotOutline) {
    const std::string rows[] = {
        page_of(5000, "<!-- <body> -->").replace(page_of(5000, "").find("<body>"), 6, "<div>"),
        page("<script>only a script</script>"),
        page("<p>ab</p>"),
    };
    for (const auto& in : rows) EXPECT_EQ(compress_html_cleanup_output(in), in);
}

TEST(HtmlCleanupReducer, KeepsTheResponseHead) {
    const std::string in = "HTTP/1.1 200 OK\nContent-Type: text/html\n\n" + page("<h1>T&#0;itle</h1>");
    EXPECT_EQ(compress_html_cleanup_output(in),
              "HTTP/1.1 200 OK\nContent-Type: text/html\n\nhtml document: bytes=5000 title=\"Doc\"\nheadings:\n"
              "- h1: T\xEF\xBF\xBDitle\ntext:\n- T\xEF\xBF\xBDitle\n"
              "[html cleanup removed: comments=1 scripts=0 styles=0 svg=0 data_urls=0]\n");
}

// The lines of one section of an outline ("links:", "text:"): its title
// line, its items and its omission lines.
std::string section(const std::string& outline, const std::string& title) {
    const std::size_t start = outline.find(title + "\n");
    if (start == std::string::npos) return "";
    std::size_t end = start + title.size() + 1;
    while (end < outline.size() && (outline.compare(end, 2, "- ") == 0 || outline.compare(end, 3, "…") == 0))
        end = outline.find('\n', end) + 1;
    return outline.substr(start, end - start);
}

TEST(HtmlCleanupReducer, ReadsTheTextOfEachBlock) {
    const auto block = [](const std::string& markup) {
        const std::string text = section(compress_html_cleanup_output(page("<p>" + markup + "</p>")), "text:");
        return text.empty() ? text : text.substr(std::string("text:\n- ").size(), text.size() - 9);
    };
    const test_support::Case cases[] = {
        {"a tag inside a reference", "&am<b>p; one two", "&am p; one two"},
        {"references next to each other", "&&&amp; ab cd", "&&& ab cd"},
        {"a decoded line feed is a space", "A&#x41;&#10;B c", "AA B c"},
        {"decoded tab and line feed names", "tab&tab;sep &NEWLINE;more", "tab sep more"},
        {"no-break space collapses", "a\xC2\xA0\xC2\xA0 b c", "a b c"},
        {"unknown and invalid references stay", "x&nbsp;y &#xD800; z", "x&nbsp;y &#xD800; z"},
        {"decoded emoji", "&#x1F600; ok go", "\xF0\x9F\x98\x80 ok go"},
        {"data URL hidden", "see data:image/png;base64,AAAA end", "see [data-url omitted] end"},
        {"data URL written with a reference", "see data&colon;text/plain,x end", "see [data-url omitted] end"},
        {"a line break ends the block", "one<br>two three", "two three"},
        {"malformed UTF-8 read byte by byte", "caf\xE9 ok here", "caf\xE9 ok here"},
        {"three letters in two words stay", "a bc", "a bc"},
        {"two letters in two words are dropped", "a b", ""},
        {"one plain word is dropped", "plain", ""},
        {"a block of 240 characters stays whole", "a " + std::string(238, 'b'), "a " + std::string(238, 'b')},
        {"a block of 241 characters is cut", "a " + std::string(239, 'b'), "a " + std::string(237, 'b') + "\u2026"},
    };
    for (const auto& c : cases) EXPECT_EQ(block(c.in), c.want) << c.name;
    // One word survives when it speaks of trouble.
    for (const char* word : {"error", "warning", "failed", "failure", "exception", "traceback", "fatal", "critical",
                             "denied", "404", "500"})
        EXPECT_EQ(block(word), word);
    // Each block element, opening or closing, ends a block; others do not.
    for (const char* name :
         {"p", "br", "dd", "dl", "dt", "h1", "h2", "h3", "h4", "h5", "h6", "hr", "li", "ol", "td", "th", "tr", "ul",
          "div", "nav", "pre", "form", "main", "aside", "table", "tbody", "tfoot", "thead", "figure", "footer",
          "header", "address", "article", "details", "section", "blockquote", "figcaption"}) {
        EXPECT_EQ(block(std::string("one two<") + name + ">three four"), "one two\n- three four") << name;
        EXPECT_EQ(block(std::string("one two</") + name + ">three four"), "one two\n- three four") << name;
    }
    EXPECT_EQ(block("one two<abbr>three four"), "one two three four");
}

TEST(HtmlCleanupReducer, KeepsTheFirstLastAndSalientDistinctBlocks) {
    // Twelve distinct blocks; repeats, however written, count once and are
    // not among the last two. Four are salient, two of them last.
    const std::string body =
        "<p>Block zero here</p><p>Block one here</p><p>Block two here</p><p>Plain three here</p>"
        "<p>Build failed four</p><p>Plain five here</p><p>Plain six here</p><p>Plain seven here</p>"
        "<p>Plain eight here</p><p><i>Block</i>  one\there</p><p>Error nine here</p><p>Denied ten here</p>"
        "<p>Fatal eleven here</p><div>Block zero here</div>";
    EXPECT_EQ(section(compress_html_cleanup_output(page(body)), "text:"),
              "text:\n- Block zero here\n- Block one here\n- Block two here\n… 1 text blocks omitted\n"
              "- Build failed four\n… 4 text blocks omitted\n- Error nine here\n- Denied ten here\n"
              "- Fatal eleven here\n");
}

TEST(HtmlCleanupReducer, CountsManyDistinctLinks) {
    std::string body;
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 600; ++i) body += "<a href=\"/p" + std::to_string(i) + "\">page " + std::to_string(i) + "</a>\n";
    std::string want = "links:\n";
    for (int i = 0; i < 8; ++i) want += "- page " + std::to_string(i) + " -> /p" + std::to_string(i) + "\n";
    want += "… 592 links omitted\n";
    EXPECT_EQ(section(compress_html_cleanup_output(page(body)), "links:"), want);
}

TEST(HtmlCleanupReducer, ListsAndLengths) {
    // `n` items of markup and the lines that list them, the first eight
    // and a marker for the rest.
    const auto items = [](int n, const std::string& markup, const std::string& line) {
        std::string in, out;
        for (int i = 1; i <= n; ++i) {
            in += text::format(markup, i, i) + "\n";
            if (i <= 8) out += text::format(line, i, i) + "\n";
        }
        return std::pair{in, out};
    };
    const auto [h8, h8_lines] = items(8, "<h2>Part {}</h2>", "- h2: Part {}");
    const auto [a8, a8_lines] = items(8, "<a href=\"/p{}\">page {}</a>", "- page {} -> /p{}");
    const auto [a9, a9_lines] = items(9, "<a href=\"/p{}\">page {}</a>", "- page {} -> /p{}");
    const auto [p8, p8_lines] = items(8, "<p>Plain words {}</p>", "- Plain words {}");
    const auto [p9, p9_lines] = items(9, "<p>Plain words {}</p>", "- Plain words {}");
    // Four salient blocks in the middle: the first three fill the eight places.
    const auto [salient, salient_lines] = items(3, "<p>Plain words {}</p>", "- Plain words {}");
    const std::string salient_body =
        salient + "<p>Build failed 4</p><p>Build failed 5</p><p>Build failed 6</p><p>Build failed 7</p>" +
        "<p>Plain words 8</p><p>Plain words 9</p><p>Plain words 10</p><p>Plain words 11</p><p>Plain words 12</p>";
    const std::string go = "<p>two words</p>";
    struct Row {
        const char* name;
        std::string body;
        std::string title;  // the <title> element's text
        std::string part;   // a section of the outline, or "" for the headline
        std::string want;
    };
    const Row rows[] = {
        {"eight headings, no marker", h8, "Doc", "headings:", "headings:\n" + h8_lines},
        {"eight links, no marker", a8, "Doc", "links:", "links:\n" + a8_lines},
        {"nine links", a9, "Doc", "links:", "links:\n" + a9_lines + "\u2026 1 links omitted\n"},
        {"eight text blocks, all shown", p8, "Doc", "text:", "text:\n" + p8_lines},
        {"nine text blocks", p9, "Doc", "text:",
         "text:\n- Plain words 1\n- Plain words 2\n- Plain words 3\n\u2026 4 text blocks omitted\n"
         "- Plain words 8\n- Plain words 9\n"},
        {"at most three salient blocks from the middle", salient_body, "Doc", "text:",
         "text:\n" + salient_lines + "- Build failed 4\n- Build failed 5\n- Build failed 6\n"
         "\u2026 4 text blocks omitted\n- Plain words 11\n- Plain words 12\n"},
        {"a title of 80 characters", go, std::string(80, 't'), "",
         "html document: bytes=5000 title=\"" + std::string(80, 't') + "\""},
        {"a title of 81 characters", go, std::string(81, 't'), "",
         "html document: bytes=5000 title=\"" + std::string(79, 't') + "\u2026\""},
        {"a heading of 120 characters", "<h1>" + std::string(120, 'h') + "</h1>", "Doc", "headings:",
         "headings:\n- h1: " + std::string(120, 'h') + "\n"},
        {"a heading of 121 characters", "<h1>" + std::string(121, 'h') + "</h1>", "Doc", "headings:",
         "headings:\n- h1: " + std::string(119, 'h') + "\u2026\n"},
        {"a link text of 80 characters", "<a href=\"/x\">" + std::string(80, 'l') + "</a>", "Doc", "links:",
         "links:\n- " + std::string(80, 'l') + " -> /x\n"},
        {"a link text of 81 characters", "<a href=\"/x\">" + std::string(81, 'l') + "</a>", "Doc", "links:",
         "links:\n- " + std::string(79, 'l') + "\u2026 -> /x\n"},
        {"an href of 160 characters", "<a href=\"/" + std::string(159, 'r') + "\">go</a>", "Doc", "links:",
         "links:\n- go -> /" + std::string(159, 'r') + "\n"},
        {"an href of 161 characters", "<a href=\"/" + std::string(160, 'r') + "\">go</a>", "Doc", "links:",
         "links:\n- go -> /" + std::string(158, 'r') + "\u2026\n"},
        {"http", go + "<a href=\"http://example.org/a\">site</a>", "Doc", "links:",
         "links:\n- site -> http://example.org/a\n"},
        {"https", go + "<a href=\"https://example.org/a\">site</a>", "Doc", "links:",
         "links:\n- site -> https://example.org/a\n"},
        {"mailto", go + "<a href=\"mailto:dev@example.org\">mail</a>", "Doc", "links:",
         "links:\n- mail -> mailto:dev@example.org\n"},
        {"tel", go + "<a href=\"tel:+1-555-0100\">call</a>", "Doc", "links:", "links:\n- call -> tel:+1-555-0100\n"},
        {"telnet is no tel", go + "<a href=\"telnet://example.org\">term</a>", "Doc", "links:", ""},
    };
    for (const auto& r : rows) {
        const std::string out = compress_html_cleanup_output(page(r.body, "<title>" + r.title + "</title>"));
        EXPECT_EQ(r.part.empty() ? out.substr(0, out.find('\n')) : section(out, r.part), r.want) << r.name;
    }
}

TEST(HtmlCleanupDetector, FindsMarksOfSourceAnywhere) {
    // The marks are looked for many bytes at a time: each must be found
    // at every offset, and a near miss must not count.
    for (std::size_t offset = 0; offset < 70; ++offset) {
        const std::string pad(offset, 'w');
        EXPECT_FALSE(detect_html_payload(page("<p>" + pad + "export default x</p>"))) << offset;
        EXPECT_FALSE(detect_html_payload(page("<p>" + pad + "</>x</p>"))) << offset;
        EXPECT_FALSE(detect_html_payload(page("<p>" + pad + "\n@@ x</p>"))) << offset;
        EXPECT_FALSE(detect_html_payload(page("<p>" + pad + "const App x</p>"))) << offset;
        EXPECT_TRUE(detect_html_payload(page("<p>" + pad + "exports defaults App x</p>"))) << offset;
    }
}

}  // namespace
