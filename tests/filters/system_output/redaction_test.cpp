#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../support.h"
#include "filters/system_output/summary.h"

namespace {

using namespace filters::system_output::summary;
using test_support::Case;

TEST(SystemOutputRedaction, SensitiveKeys) {
    for (const char* key : {"GITHUB_TOKEN", "ssh-key", "KEY", "AWS_SECRET_ACCESS_KEY", "AUTHOR", "db-password",
                            "session_key", "X_BEARER", "private_key_path", "Passwd"})
        EXPECT_TRUE(is_sensitive_key(key)) << key;
    for (const char* key : {"MONKEY", "KEYS", "HOME", "DB_PASS", "", "keyboard"})
        EXPECT_FALSE(is_sensitive_key(key)) << key;
}

TEST(SystemOutputRedaction, OpaqueValues) {
    const std::string run64(64, 'a');
    std::string spaced = run64;
    spaced[30] = ' ';
    EXPECT_FALSE(is_opaque_value(std::string(63, 'a')));
    EXPECT_FALSE(is_opaque_value("https://x"));
    EXPECT_TRUE(is_opaque_value("https://example.com/" + std::string(44, 'p')));
    EXPECT_TRUE(is_opaque_value(run64));
    EXPECT_FALSE(is_opaque_value(spaced));
    // Up to five characters in a hundred outside the token set still pass; six do not.
    EXPECT_TRUE(is_opaque_value(std::string(96, 'b') + "!!!!"));
    EXPECT_TRUE(is_opaque_value(std::string(95, 'b') + "!!!!!"));
    EXPECT_FALSE(is_opaque_value(std::string(94, 'b') + "!!!!!!"));
}

TEST(SystemOutputRedaction, Lines) {
    const std::vector<Case> cases = {
        {"nothing sensitive keeps the spacing", "  root   12  0.0  node  app.js --port=80",
         "  root   12  0.0  node  app.js --port=80"},
        {"one redaction joins with single spaces", "  run   --token=abc   x", "run --token=[redacted] x"},
        {"name=value with a sensitive name", "app  password=hunter2", "app password=[redacted]"},
        {"the first matching split hides the rest", "x a=api_key=v=w", "x a=api_key=[redacted]"},
        {"the key is read after the last comma", "mount -o opt,password=value /mnt",
         "mount -o opt,password=[redacted] /mnt"},
        {"leading dashes are not part of the key", "cli -secret=abc", "cli -secret=[redacted]"},
        {"dotted property names are hidden", "java -Dspring.datasource.password=pw -jar a.jar",
         "java -Dspring.datasource.password=[redacted] -jar a.jar"},
        {"_url with a scheme", "svc  DATABASE_URL=postgres://u:p@h/db", "svc DATABASE_URL=[redacted]"},
        {"_url without a scheme stays", "svc  HOME_URL=example.com", "svc  HOME_URL=example.com"},
        {"bearer hides the next token", "curl -H  Bearer abc.def", "curl -H Bearer [redacted]"},
        {"BEARER in any case", "BEARER tok", "BEARER [redacted]"},
        {"Authorization=Bearer hides itself and the next", "x  Authorization=Bearer eyJ.x.y z",
         "x Authorization=[redacted] [redacted] z"},
        {"Authorization=Basic hides the next too", "Authorization=basic dXNlcjpw",
         "Authorization=[redacted] [redacted]"},
        {"a sensitive option takes its value along", "db  --password hunter2 --user admin",
         "db --password [redacted] --user admin"},
        {"a sensitive option with an empty value", "db  --api-key= next", "db --api-key=[redacted] next"},
        {"a harmless option is left alone", "db  --user admin", "db  --user admin"},
        {"bearer at the end changes nothing", "  say  bearer", "  say  bearer"},
        {"a sensitive option at the end changes nothing", "  db  --password", "  db  --password"},
        {"a key holding other characters is not a pair", "q  a?token=x", "q  a?token=x"},
        {"an empty value is not a pair", "  token=  y", "  token=  y"},
    };
    for (const Case& c : cases) EXPECT_EQ(redact_sensitive_text(c.in), c.want) << c.name;
}

TEST(SystemOutputRedaction, EnvVars) {
    struct EnvCase {
        const char* key;
        std::string value;
        std::string want;
    };
    const std::vector<EnvCase> cases = {
        {"PATH", "/usr/local/bin:/usr/bin:/bin", "PATH=[path entries=3 first=/usr/local/bin last=/bin]"},
        {"PATH", "/usr/bin", "PATH=/usr/bin"},
        {"PATH", "", "PATH=[]"},
        {"PATH", "::/bin::", "PATH=/bin"},
        {"PATH", "C:\\Windows;C:\\Tools\\bin", "PATH=[path entries=2 first=C:\\Windows last=C:\\Tools\\bin]"},
        {"PATH", "a;b;c:d", "PATH=[path entries=3 first=a last=c:d]"},
        {"PATH", "/a:/b;c", "PATH=[path entries=2 first=/a last=/b;c]"},
        {"PATH", "/opt/" + std::string(70, 'p'), "PATH=/opt/" + std::string(70, 'p')},
        {"GITHUB_TOKEN", "ghp_x", "GITHUB_TOKEN=[redacted]"},
        // Each sensitive word on its own, and the two forms of "key".
        {"CLIENT_SECRET", "s", "CLIENT_SECRET=[redacted]"},
        {"DB_PASSWORD", "s", "DB_PASSWORD=[redacted]"},
        {"HTPASSWD_FILE", "s", "HTPASSWD_FILE=[redacted]"},
        {"GIT_CREDENTIALS", "s", "GIT_CREDENTIALS=[redacted]"},
        {"PRIVATE_PEM", "s", "PRIVATE_PEM=[redacted]"},
        {"MY_API_KEY_ID", "s", "MY_API_KEY_ID=[redacted]"},
        {"APIKEY_FILE", "s", "APIKEY_FILE=[redacted]"},
        {"AWS_ACCESS_KEY_ID", "s", "AWS_ACCESS_KEY_ID=[redacted]"},
        {"SESSION_KEY_FILE", "s", "SESSION_KEY_FILE=[redacted]"},
        {"NPM_AUTH", "s", "NPM_AUTH=[redacted]"},
        {"X_BEARER", "s", "X_BEARER=[redacted]"},
        {"KEY", "s", "KEY=[redacted]"},
        {"SSH_KEY", "s", "SSH_KEY=[redacted]"},
        {"MONKEY", "s", "MONKEY=s"},
        {"KEYS", "s", "KEYS=s"},
        {"VIRTUAL_ENV", "/home/dev/" + std::string(60, 'v'), "VIRTUAL_ENV=[redacted]"},
        {"HOME", "/home/dev", "HOME=/home/dev"},
        {"EMPTY", "", "EMPTY="},
    };
    for (const EnvCase& c : cases) EXPECT_EQ(format_env_var(c.key, c.value), c.want) << c.key << "=" << c.value;
}

TEST(SystemOutputRedaction, EdgeRows) {
    const std::vector<std::pair<std::size_t, std::vector<std::size_t>>> cases = {
        {0, {}}, {1, {0}}, {2, {0, 1}}, {3, {0, 1, 2}}, {4, {0, 1, 2, 3}}, {5, {0, 1, 3, 4}}, {10, {0, 1, 8, 9}}};
    for (const auto& [n, want] : cases) EXPECT_EQ(edge_indices(n), want) << n;
}

TEST(SystemOutputRedaction, KeptRowRendering) {
    std::vector<std::string> texts;
    for (int i = 0; i < 10; ++i) texts.push_back("row " + std::to_string(i));
    const std::vector<std::string_view> rows(texts.begin(), texts.end());
    auto render = [&](const std::vector<std::size_t>& selection) {
        filters::SummaryWriter out;
        render_selected_rows(out, rows, selection, "df", "row", RowTransform::identity);
        return out.take(false);
    };
    EXPECT_EQ(render({9, 0, 8, 1}), "row 0\nrow 1\n… 6 df rows omitted\nrow 8\nrow 9");
    EXPECT_EQ(render({2}), "… 2 df rows omitted\nrow 2\n… 7 df rows omitted");
    EXPECT_EQ(render({3, 3, 5}), "… 3 df rows omitted\nrow 3\n… 1 df row omitted\nrow 5\n… 4 df rows omitted");
    EXPECT_EQ(render({}), "… 10 df rows omitted");
}

}  // namespace
