#include "filters/git/diff_sections.h"

#include <gtest/gtest.h>

#include "filters/git/git.h"
#include "support.h"

namespace {

using filters::git::compress_git_diff_sections;

std::string run(const std::string& in) { return compress_git_diff_sections(in).value_or(in); }

const std::string kHeader =
    "diff --git a/src/lib.rs b/src/lib.rs\n"
    "index 3b18e51..a7c9d10 100644\n"
    "--- a/src/lib.rs\n"
    "+++ b/src/lib.rs\n";
const std::string kShortenedHeader =
    "diff --git a/src/lib.rs b/src/lib.rs\n"
    "--- a/src/lib.rs\n"
    "+++ b/src/lib.rs\n";

TEST(GitDiffSections, SectionWalk) {
    const test_support::Case cases[] = {
        {"context runs become markers with their plural",
         kHeader + "@@ -1,4 +1,4 @@\n"
                   "     let first_value = compute_first_value(input);\n"
                   "     let second_value = compute_second_value(input);\n"
                   "-    old_call(first_value);\n"
                   "+    new_call(first_value, second_value);\n"
                   "     finish_everything(first_value, second_value);\n",
         kShortenedHeader + "@@ -1,4 +1,4 @@\n"
                            "\xE2\x80\xA6 2 context lines\n"
                            "-    old_call(first_value);\n"
                            "+    new_call(first_value, second_value);\n"
                            "\xE2\x80\xA6 1 context line\n"},
        {"only changed lines: the index line goes", kHeader + "@@ -1 +1 @@\n-a\n+b\n",
         kShortenedHeader + "@@ -1 +1 @@\n-a\n+b\n"},
        {"markers longer than short context keep the whole section", kHeader + "@@ -1,3 +1,3 @@\n x\n-a\n+b\n y\n",
         kHeader + "@@ -1,3 +1,3 @@\n x\n-a\n+b\n y\n"},
        {"an empty line splits a context run without ending the hunk",
         kHeader + "@@ -1,5 +1,5 @@\n first context line of the hunk\n\n second context line of the hunk\n-a\n+b\n",
         kShortenedHeader + "@@ -1,5 +1,5 @@\n\xE2\x80\xA6 1 context line\n\n\xE2\x80\xA6 1 context line\n-a\n+b\n"},
        {"no newline marker flushes the context run",
         kHeader + "@@ -1,2 +1,2 @@\n keep this context line here\n\\ No newline at end of file\n+x\n",
         kShortenedHeader + "@@ -1,2 +1,2 @@\n\xE2\x80\xA6 1 context line\n\\ No newline at end of file\n+x\n"},
        {"binary patch payloads counted up to each literal line",
         "diff --git a/logo.png b/logo.png\n"
         "index 5f2e1c0..9e0d4b1 100644\n"
         "GIT binary patch\n"
         "literal 800\n"
         "zcmZSJl~Olx^o!0YZR(%1a@*kxcVB&H5tP%ma1Dy\n"
         "ZDXi<Bv2@e^GdG`oW*GJVX#C?z{{V^Ri@*Q?\n"
         "\n"
         "literal 700\n"
         "zcmZSJ7E{zQck+!$&Z}(cpS5(u?qe74Jpc5ULs(A\n"
         "\n",
         "diff --git a/logo.png b/logo.png\n"
         "GIT binary patch\n"
         "literal 800\n"
         "\xE2\x80\xA6 3 binary patch payload lines\n"
         "literal 700\n"
         "\xE2\x80\xA6 2 binary patch payload lines\n"},
        {"in binary mode blank-led and index lines are payload",
         "diff --git a/f b/f\nGIT binary patch\nliteral 9\n leading blank payload\nindex "
         "1..2\nzzzzzzzzzzzzzzzzzzzzzzzz\n",
         "diff --git a/f b/f\nGIT binary patch\nliteral 9\n\xE2\x80\xA6 3 binary patch payload lines\n"},
        {"a hunk header ends binary mode",
         "diff --git a/f b/f\nGIT binary patch\nliteral 9\nzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz\n@@ -1 +1 @@\n"
         " context after the binary part of the section\n+x\n",
         "diff --git a/f b/f\nGIT binary patch\nliteral 9\n\xE2\x80\xA6 1 binary patch payload line\n@@ -1 +1 @@\n"
         "\xE2\x80\xA6 1 context line\n+x\n"},
        {"a literal line ends hunk mode",
         "diff --git a/f b/f\n@@ -1 +1 @@\n+x\nliteral 3\n payload line that starts with a blank char\n",
         "diff --git a/f b/f\n@@ -1 +1 @@\n+x\nliteral 3\n\xE2\x80\xA6 1 binary patch payload line\n"},
        {"plus and minus lines outside a hunk are kept as they are",
         "diff --git a/f b/f\nindex 1..2\n-x outside\n+y outside\n", "diff --git a/f b/f\n-x outside\n+y outside\n"},
        {"lines before the first section are never touched",
         "commit 0123456789abcdef0123456789abcdef01234567\nAuthor: A <a@b.c>\n\n    Message line that is long enough\n"
         "index 1..2\n" +
             kHeader + "@@ -1 +1 @@\n-a\n+b\n",
         "commit 0123456789abcdef0123456789abcdef01234567\nAuthor: A <a@b.c>\n\n    Message line that is long enough\n"
         "index 1..2\n" +
             kShortenedHeader + "@@ -1 +1 @@\n-a\n+b\n"},
        {"a later commit's message in log output is not taken for context",
         kHeader +
             "@@ -1 +1 @@\n-a\n+b\n\ncommit 89abcdef0123456789abcdef0123456789abcdef (tag: v1)\n"
             "Author: A <a@b.c>\n\n    Second commit message, long enough to be worth a marker\n\n" +
             kHeader + "@@ -1 +1 @@\n-c\n+d\n",
         kShortenedHeader +
             "@@ -1 +1 @@\n-a\n+b\n\ncommit 89abcdef0123456789abcdef0123456789abcdef (tag: v1)\n"
             "Author: A <a@b.c>\n\n    Second commit message, long enough to be worth a marker\n\n" +
             kShortenedHeader + "@@ -1 +1 @@\n-c\n+d\n"},
        {"the next commit's header after a binary patch is not payload",
         "diff --git a/f.png b/f.png\nGIT binary patch\nliteral 9\nzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz\n\n"
         "commit 89abcdef0123456789abcdef0123456789abcdef\nAuthor: A <a@b.c>\n\n    Second commit message\n",
         "diff --git a/f.png b/f.png\nGIT binary patch\nliteral 9\n\xE2\x80\xA6 2 binary patch payload lines\n"
         "commit 89abcdef0123456789abcdef0123456789abcdef\nAuthor: A <a@b.c>\n\n    Second commit message\n"},
        {"the next mail of format-patch output ends the hunk: its stat is not context",
         kHeader + "@@ -1 +1 @@\n-a\n+b\n--\n2.39.5\n\n"
                   "From 89abcdef0123456789abcdef0123456789abcdef Mon Sep 17 00:00:00 2001\nSubject: [PATCH 2/2] x\n"
                   "---\n src/lib.rs | 2 +-\n 1 file changed, 1 insertion(+), 1 deletion(-)\n\n",
         kShortenedHeader + "@@ -1 +1 @@\n-a\n+b\n--\n2.39.5\n\n"
                            "From 89abcdef0123456789abcdef0123456789abcdef Mon Sep 17 00:00:00 2001\n"
                            "Subject: [PATCH 2/2] x\n---\n src/lib.rs | 2 +-\n"
                            " 1 file changed, 1 insertion(+), 1 deletion(-)\n\n"},
        {"the next mail after a binary patch is not payload",
         "diff --git a/f.png b/f.png\nGIT binary patch\nliteral 9\nzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz\n\n"
         "From 89abcdef0123456789abcdef0123456789abcdef Mon Sep 17 00:00:00 2001\nFrom: A <a@b.c>\n",
         "diff --git a/f.png b/f.png\nGIT binary patch\nliteral 9\n\xE2\x80\xA6 2 binary patch payload lines\n"
         "From 89abcdef0123456789abcdef0123456789abcdef Mon Sep 17 00:00:00 2001\nFrom: A <a@b.c>\n"},
        {"From and a word is no mail header and stays payload",
         "diff --git a/f.png b/f.png\nGIT binary patch\nliteral 9\nzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz\n"
         "From here on\ncommit 12345\n",
         "diff --git a/f.png b/f.png\nGIT binary patch\nliteral 9\n\xE2\x80\xA6 3 binary patch payload lines\n"},
        {"an abbreviated object name of seven hex digits starts the next commit",
         kHeader + "@@ -1 +1 @@\n-a\n+b\n\ncommit 89abcde\nAuthor: A <a@b.c>\n\n    Second commit message\n",
         kShortenedHeader + "@@ -1 +1 @@\n-a\n+b\n\ncommit 89abcde\nAuthor: A <a@b.c>\n\n    Second commit message\n"},
        {"six hex digits name no object: the hunk stays open",
         kHeader + "@@ -1 +1 @@\n-a\n+b\n\ncommit 89abcd\nAuthor: A <a@b.c>\n\n    Second commit message\n",
         kShortenedHeader + "@@ -1 +1 @@\n-a\n+b\n\ncommit 89abcd\nAuthor: A <a@b.c>\n\n\xE2\x80\xA6 1 context line\n"},
        {"a word after commit that is not an object name keeps the hunk open",
         kHeader + "@@ -1,2 +1,2 @@\n-a\ncommit message\n indented context line after it in the same hunk\n",
         kShortenedHeader + "@@ -1,2 +1,2 @@\n-a\ncommit message\n\xE2\x80\xA6 1 context line\n"},
        {"diff --git inside a line starts no section", "see diff --git a/x b/x\nindex 1..2\n",
         "see diff --git a/x b/x\nindex 1..2\n"},
        {"a rename without hunks saves nothing",
         "diff --git a/a.rs b/b.rs\nsimilarity index 100%\nrename from a.rs\nrename to b.rs",
         "diff --git a/a.rs b/b.rs\nsimilarity index 100%\nrename from a.rs\nrename to b.rs"},
    };
    for (const test_support::Case& c : cases) EXPECT_EQ(run(c.in), c.want) << c.name;
}

TEST(GitDiffSections, EachSectionChosenOnItsOwn) {
    // The first section would grow (short context), the second shrinks.
    std::string grows = "diff --git a/s b/s\n@@ -1,3 +1,3 @@\n x\n-a\n+b\n y\n";
    std::string shrinks = kHeader + "@@ -1 +1 @@\n-a\n+b\n";
    EXPECT_EQ(run(grows + shrinks), grows + kShortenedHeader + "@@ -1 +1 @@\n-a\n+b\n");
}

}  // namespace
