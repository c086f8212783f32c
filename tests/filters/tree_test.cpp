#include "filters/tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using filters::tree::format_tree;
using filters::tree::format_tree_within;
using filters::tree::TreeNode;
using filters::tree::TreeRow;

std::vector<TreeRow> rows_of(std::initializer_list<const char*> paths) {
    std::vector<TreeRow> rows;
    for (const char* p : paths) rows.push_back({p, "", {}});
    return rows;
}

TEST(FormatTree, Paths) {
    struct Case {
        const char* name;
        std::vector<TreeRow> rows;
        std::string want;
    };
    const Case cases[] = {
        {"no rows", {}, ""},
        {"first appearance order, one space per level", rows_of({"src/b.rs", "NOTES", "src/a.rs", "lib/x"}),
         "src/\n b.rs\n a.rs\nNOTES\nlib/\n x"},
        {"directories are never merged", rows_of({"a/b/c"}), "a/\n b/\n  c"},
        {"a directory left and re-entered keeps its place",
         rows_of({"a/b/c", "a/b/d", "a/x", "a/b/e", "q/b/c", "a/b/c"}),
         "a/\n b/\n  c\n  c\n  d\n  e\n x\nq/\n b/\n  c"},
        {"same name under different parents", rows_of({"a/n/n", "b/n/n", "n"}), "a/\n n/\n  n\nb/\n n/\n  n\nn"},
        {"empty path", rows_of({""}), "."},
        {"dot slash", rows_of({"./"}), "."},
        {"dot slash dot", rows_of({"./."}), "."},
        {"root alone", rows_of({"/"}), "."},
        {"slashes alone", rows_of({"//"}), "."},
        {"repeated dot slash prefixes", rows_of({"././a"}), "a"},
        {"dot slash before a slash", rows_of({".//a"}), "/a"},
        {"dot slash not at the start stays", rows_of({"a/./b"}), "a/\n ./\n  b"},
        {"backslash separates like slash", rows_of({"a\\b", "a/b"}), "a/\n b\n b"},
        {"doubled and trailing slashes", rows_of({"a//b/", "a/b"}), "a/\n b\n b"},
        {"absolute and relative differ", rows_of({"/usr/x", "usr/x"}), "/usr/\n x\nusr/\n x"},
        {"absolute names side by side keep their slash", rows_of({"/usr/a", "/usr/b", "/x", "/y", "z/w", "z//v"}),
         "/usr/\n a\n b\n/x\n/y\nz/\n w\n v"},
        {"directory row after its child is not printed", rows_of({"a/b", "a"}), "a/\n b"},
        {"directory row before its child is not printed", rows_of({"a", "a/b"}), "a/\n b"},
        {"duplicate paths give one line each", rows_of({"x/y", "x/y"}), "x/\n y\n y"},
        {"multi-byte names", rows_of({"d\xC3\xA9j\xC3\xA0/\xE2\x9C\x93"}), "d\xC3\xA9j\xC3\xA0/\n \xE2\x9C\x93"},
    };
    for (const auto& c : cases) EXPECT_EQ(format_tree(c.rows), c.want) << c.name;
}

TEST(FormatTree, SuffixesAndDetails) {
    std::vector<TreeRow> rows{
        {"src/a.rs", " (2)", {"x"}},
        {"src/b.rs", "", {}},
        {"NOTES", "", {}},
    };
    EXPECT_EQ(format_tree(rows), "src/\n a.rs (2)\n  x\n b.rs\nNOTES");

    // Same path twice: each row keeps its own suffix and details, in order.
    rows = {{"p/q", ": 1", {"first"}}, {"p/q", ": 2", {"second", "third"}}};
    EXPECT_EQ(format_tree(rows), "p/\n q: 1\n  first\n q: 2\n  second\n  third");

    // Details of a leaf at depth 2 sit three spaces in; a root-level leaf's one.
    rows = {{"a/b/c", "", {"deep"}}, {"top", "!", {"shallow", ""}}};
    EXPECT_EQ(format_tree(rows), "a/\n b/\n  c\n   deep\ntop!\n shallow\n ");

    // The "." leaf takes its row's suffix; a directory row's details vanish with it.
    rows = {{"", " root", {"d"}}, {"k", " dir", {"hidden"}}, {"k/v", "", {}}};
    EXPECT_EQ(format_tree(rows), ". root\n d\nk/\n v");
}

TEST(FormatTree, CallerRowsAreOnlyRead) {
    const std::vector<TreeRow> rows{{".\\w\\x", " s", {"d"}}};
    (void)format_tree(rows);
    EXPECT_EQ(rows[0].path, ".\\w\\x");
    EXPECT_EQ(format_tree(rows), "w/\n x s\n  d");
}

TEST(FormatTreeWithin, LimitIsInclusive) {
    const auto rows = rows_of({"a/b", "c"});
    const std::string full = format_tree(rows);  // "a/\n b\nc"
    ASSERT_EQ(full.size(), 7u);
    EXPECT_EQ(format_tree_within(rows, full.size()), full);
    EXPECT_FALSE(format_tree_within(rows, full.size() - 1));
    EXPECT_EQ(format_tree_within({}, 0), "");
}

TEST(FormatTreeWithin, DeepPathIsRefused) {
    // A 1 MB path of single-letter components: its rendering would need
    // about 1.25e11 indent bytes, and a renderer that recursed per level
    // would exhaust the stack long before.
    std::string path = "a";
    while (path.size() < (1u << 20)) path += "/a";
    const std::vector<TreeRow> rows{{path, "", {}}};
    EXPECT_FALSE(format_tree_within(rows, 1u << 20));
}

TEST(FormatTree, ThousandsOfLevelsRenderFully) {
    std::string path = "d";
    for (int i = 1; i < 3000; ++i) path += "/d";
    const std::string out = format_tree({{path, "", {}}});
    // Level k (0-based) is k spaces, "d", "/" except at the leaf, and a
    // newline before every line but the first.
    std::size_t want = 0;
    for (std::size_t k = 0; k < 3000; ++k) want += k + 1 + (k + 1 < 3000 ? 1 : 0) + (k ? 1 : 0);
    EXPECT_EQ(out.size(), want);
    EXPECT_EQ(out.substr(out.size() - 3001), "\n" + std::string(2999, ' ') + "d");
}

// The tree as a renderer that looks every child up by name draws it: a
// slow oracle for inputs whose paths leave directories and come back.
std::string drawn_by_lookup(const std::vector<TreeRow>& rows) {
    std::vector<TreeNode> nodes(1);
    for (const TreeRow& row : rows) {
        std::size_t node = 0;
        for (std::size_t start = 0; start <= row.path.size();) {
            const std::size_t slash = std::min(row.path.find('/', start), row.path.size());
            const std::string name = row.path.substr(start, slash - start);
            start = slash + 1;
            auto& children = nodes[node].children;
            auto found = std::find_if(children.begin(), children.end(), [&](const auto& c) { return c.first == name; });
            if (found != children.end()) {
                node = found->second;
                continue;
            }
            children.emplace_back(name, nodes.size());
            node = nodes.size();
            nodes.emplace_back();
        }
        nodes[node].rows.push_back(row);
    }
    std::vector<std::string> lines;
    filters::tree::render_tree(nodes, 0, lines, 0);
    std::string out;
    for (const std::string& line : lines) out += (out.empty() ? "" : "\n") + line;
    return out;
}

TEST(FormatTree, PathsThatComeBackMatchALookupOfEveryChild) {
    // Short names from three letters make directories that are left and
    // entered again at every depth, repeated leaves, and leaves that later
    // turn out to be directories.
    std::uint32_t seed = 12345;
    auto next = [&seed](std::uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    // The same path written another way: "./" before it, doubled or
    // backslash separators, a trailing slash; none changes its components.
    auto written_otherwise = [&next](const std::string& path) {
        std::string out = next(3) == 0 ? "./" : "";
        for (char c : path) {
            const std::uint32_t pick = c == '/' ? next(4) : 3;
            out += pick == 0 ? "//" : pick == 1 ? "\\" : std::string(1, c);
        }
        return next(4) == 0 ? out + "/" : out;
    };
    for (int round = 0; round < 400; ++round) {
        std::vector<TreeRow> rows, written;
        const std::uint32_t count = 1 + next(40);
        // Every other round, twelve letters make directories of many
        // children, which are told apart by hashing rather than pairwise.
        const std::uint32_t letters = round % 2 ? 3 : 12;
        for (std::uint32_t r = 0; r < count; ++r) {
            std::string path;
            const std::uint32_t depth = 1 + next(4);
            for (std::uint32_t d = 0; d < depth; ++d) path += std::string(d ? "/" : "") + char('a' + next(letters));
            rows.push_back({path, next(4) == 0 ? " *" : "", {}});
            written.push_back({written_otherwise(path), rows.back().suffix, {}});
        }
        ASSERT_EQ(format_tree(rows), drawn_by_lookup(rows)) << "round " << round;
        ASSERT_EQ(format_tree(written), drawn_by_lookup(rows)) << "round " << round;
    }
    // Two letters ten levels deep: paths come back so often that merging
    // would outgrow its allowance, and the tree is built by lookup instead.
    seed = 7;
    std::vector<TreeRow> rows;
    for (int r = 0; r < 2000; ++r) {
        std::string path;
        for (int d = 0; d < 10; ++d) path += std::string(d ? "/" : "") + char('a' + next(2));
        rows.push_back({path, "", {}});
    }
    EXPECT_EQ(format_tree(rows), drawn_by_lookup(rows));

    // More nodes than the room made for them: directories that rows keep
    // coming back to (the tree is then built by lookup), new directories on
    // every row (the room grows), and both at once.
    auto many = [](int count, auto&& path_of) {
        std::vector<TreeRow> out;
        for (int r = 0; r < count; ++r) out.push_back({path_of(r), r % 7 == 0 ? " *" : "", {}});
        return out;
    };
    auto join = [](std::initializer_list<std::string> parts) {
        std::string out;
        for (const std::string& p : parts) out += p;
        return out;
    };
    auto n = [](int v) { return std::to_string(v); };
    for (const std::vector<TreeRow>& big :
         {many(3000, [&](int r) { return join({"src/d", n(r % 50), "/f", n(r), ".c"}); }),
          many(3000, [&](int r) { return join({"d", n(r % 50), "/f", n(r % 70)}); }),
          many(3000, [&](int r) { return join({"a", n(r), "/b/c/f", n(r)}); }),
          many(3000, [&](int r) { return r % 2 ? join({"a", n(r), "/b/c/f"}) : join({"d", n(r % 40), "/f", n(r)}); })})
        EXPECT_EQ(format_tree(big), drawn_by_lookup(big)) << big[1].path;
}

TEST(RenderTree, StartsAtTheGivenDepth) {
    // Root 0 -> "x" (1) -> "y" (2, one row with a detail).
    std::vector<TreeNode> nodes(3);
    nodes[0].children.emplace_back("x", 1);
    nodes[1].children.emplace_back("y", 2);
    nodes[2].rows.push_back({"x/y", " s", {"d"}});
    std::vector<std::string> lines{"kept"};
    filters::tree::render_tree(nodes, 0, lines, 2);
    EXPECT_EQ(lines, (std::vector<std::string>{"kept", "  x/", "   y s", "    d"}));
}

}  // namespace
