#include "filters/system_output/reducer.h"

#include <array>
#include <cstdint>
#include <vector>

#include "filters/filter.h"
#include "filters/system_output/detector.h"
#include "filters/system_output/summary.h"
#include "filters/system_output/types.h"
#include "text.h"

namespace filters::system_output::reducer {

namespace {

using namespace types;
using summary::edge_indices;
using summary::render_selected_rows;
using summary::RowTransform;

// A reducer writes its summary and answers whether it recognised the text.
using Reducer = bool (*)(const Lines&, SummaryWriter&);

void append(std::vector<std::size_t>& to, const std::vector<std::size_t>& from) {
    to.insert(to.end(), from.begin(), from.end());
}

// ------------------------------------------------------------------ env --

// The variables that say where and as whom the shell runs, in print order.
constexpr std::array<std::string_view, 12> kWellKnownEnv = {
    "USER",        "LOGNAME",           "HOME",           "PWD", "SHELL", "TERM", "LANG", "LC_ALL",
    "VIRTUAL_ENV", "CONDA_DEFAULT_ENV", "PYTHON_VERSION", "PATH"};

bool reduce_env(const Lines& lines, SummaryWriter& out) {
    const auto env = detector::parse_env_output(lines);
    if (!env) return false;
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::array<std::size_t, kWellKnownEnv.size()> first{};
    first.fill(kNone);
    std::size_t kept = 0;
    std::uint64_t redacted = 0;
    for (std::size_t v = 0; v < env->vars.size(); ++v) {
        const EnvVar& var = env->vars[v];
        for (std::size_t k = 0; k < kWellKnownEnv.size(); ++k)
            if (first[k] == kNone && var.key == kWellKnownEnv[k]) {
                first[k] = v;
                ++kept;
            }
        if (summary::is_sensitive_key(var.key) || (var.key != "PATH" && summary::is_opaque_value(var.value)))
            ++redacted;
    }
    if (kept == 0) return false;
    const std::size_t omitted = env->vars.size() - kept;
    out.add(text::format("system env: vars={} redacted={} omitted={}", env->vars.size(), redacted, omitted));
    for (std::size_t v : first)
        if (v != kNone) out.add(summary::format_env_var(env->vars[v].key, env->vars[v].value));
    if (omitted > 0) out.add_omission(omitted, "env var");
    return true;
}

// ------------------------------------------------------------------- df --

constexpr std::uint64_t kDfHighUsePercent = 85;

bool is_important_mount(std::string_view mount) {
    return text::equals_any(mount, {"/", "/var", "/tmp", "/home", "/boot", "/data"}) ||
           text::starts_with_any(mount, {"/var/", "/boot/", "/data/"});
}

bool reduce_df(const Lines& lines, SummaryWriter& out) {
    const auto df = detector::parse_df_output(lines);
    if (!df) return false;
    std::vector<std::size_t> selection = edge_indices(df->rows.size());
    std::vector<std::string_view> rows;
    rows.reserve(df->rows.size());
    std::size_t high = 0;
    for (std::size_t i = 0; i < df->rows.size(); ++i) {
        const DfRow& row = df->rows[i];
        rows.push_back(row.line);
        const bool is_high = row.use_percent >= kDfHighUsePercent;
        high += is_high;
        if (is_high || is_important_mount(row.mount)) selection.push_back(i);
    }
    out.add(text::format("df: filesystems={} high_use={}", df->rows.size(), high));
    out.add(df->header);
    render_selected_rows(out, rows, selection, "df", "row", RowTransform::identity);
    return true;
}

// ------------------------------------------------------------------- ps --

constexpr double kPsHighCpu = 10.0;
constexpr double kPsHighMem = 5.0;
// The developer tools and services whose processes are always shown.
constexpr std::array<std::string_view, 18> kInterestingProcesses = {
    "python",   "pytest", "cargo", "rustc",    "node",    "npm",    "java",    "gradle",  "mvn",
    "postgres", "redis",  "nginx", "gunicorn", "uvicorn", "docker", "kubectl", "systemd", "sshd"};

bool is_interesting_command(std::string_view command) {
    const std::string lower = text::to_lower(command);
    for (std::string_view name : kInterestingProcesses)
        if (text::contains(lower, name)) return true;
    return false;
}

bool reduce_ps(const Lines& lines, SummaryWriter& out) {
    const auto ps = detector::parse_ps_output(lines);
    if (!ps) return false;
    std::vector<std::size_t> selection = edge_indices(ps->rows.size());
    std::vector<std::string_view> rows;
    rows.reserve(ps->rows.size());
    std::size_t high = 0;
    std::size_t interesting = 0;
    for (std::size_t i = 0; i < ps->rows.size(); ++i) {
        const PsRow& row = ps->rows[i];
        rows.push_back(row.line);
        const bool is_high = (row.cpu && *row.cpu >= kPsHighCpu) || (row.mem && *row.mem >= kPsHighMem);
        const bool is_interesting = is_interesting_command(row.command);
        high += is_high;
        interesting += is_interesting;
        if (is_high || is_interesting) selection.push_back(i);
    }
    out.add(text::format("ps: processes={} high={} interesting={}", ps->rows.size(), high, interesting));
    out.add(ps->header);
    render_selected_rows(out, rows, selection, "ps", "row", RowTransform::redact);
    return true;
}

// ----------------------------------------------------------------- ping --

std::vector<std::string_view> all_lines(const Lines& lines) {
    std::vector<std::string_view> rows;
    rows.reserve(lines.size());
    for (std::string_view line : lines) rows.push_back(line);
    return rows;
}

bool reduce_ping(const Lines& lines, SummaryWriter& out) {
    const auto ping = detector::parse_ping_output(lines);
    if (!ping) return false;
    std::vector<std::size_t> selection = {0};
    const std::vector<std::size_t>& replies = ping->replies;
    for (std::size_t r : edge_indices(replies.size())) selection.push_back(replies[r]);
    append(selection, ping->events);
    append(selection, ping->summaries);
    out.add(text::format("ping: replies={} events={}", replies.size(), ping->events.size()));
    render_selected_rows(out, all_lines(lines), selection, "ping", "line", RowTransform::identity);
    return true;
}

// ------------------------------------------------------------ systemctl --

bool reduce_systemctl(const Lines& lines, SummaryWriter& out) {
    const auto status = detector::parse_systemctl_status_output(lines);
    if (!status) return false;
    std::vector<std::size_t> selection = status->key_lines;
    append(selection, status->alert_lines);
    out.add(text::format("systemctl status: lines={} alerts={}", lines.size(), status->alert_lines.size()));
    render_selected_rows(out, all_lines(lines), selection, "status", "line", RowTransform::redact);
    return true;
}

// ------------------------------------------------------------------- du --

constexpr std::size_t kDuLargest = 5;

// The positions of the `k` largest rows, largest first; of equal sizes the
// earlier row ranks higher. One pass, so a long listing stays linear.
std::vector<std::size_t> largest_rows(const std::vector<DuRow>& rows, std::size_t k) {
    std::vector<std::size_t> best;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (best.size() == k && !(rows[i].size > rows[best.back()].size)) continue;
        std::size_t at = best.size();
        while (at > 0 && rows[i].size > rows[best[at - 1]].size) --at;
        best.insert(best.begin() + static_cast<std::ptrdiff_t>(at), i);
        if (best.size() > k) best.pop_back();
    }
    return best;
}

bool reduce_du(const Lines& lines, SummaryWriter& out) {
    const auto du = detector::parse_du_output(lines);
    if (!du) return false;
    std::vector<std::size_t> selection = edge_indices(du->rows.size());
    append(selection, largest_rows(du->rows, kDuLargest));
    std::vector<std::string_view> rows;
    rows.reserve(du->rows.size());
    for (std::size_t i = 0; i < du->rows.size(); ++i) {
        rows.push_back(du->rows[i].line);
        if (du->rows[i].is_total) selection.push_back(i);
    }
    out.add(text::format("du: entries={}", du->rows.size()));
    render_selected_rows(out, rows, selection, "du", "row", RowTransform::identity);
    return true;
}

// ------------------------------------------------------------------- wc --

constexpr std::size_t kWcEdgeFiles = 3;

bool reduce_wc(const Lines& lines, SummaryWriter& out) {
    const auto wc = detector::parse_wc_output(lines);
    if (!wc) return false;
    std::vector<std::size_t> files;
    std::vector<std::string_view> rows;
    rows.reserve(wc->rows.size());
    for (std::size_t i = 0; i < wc->rows.size(); ++i) {
        rows.push_back(wc->rows[i].line);
        if (!wc->rows[i].is_total) files.push_back(i);
    }
    std::vector<std::size_t> selection = {wc->total_index};
    for (std::size_t f = 0; f < files.size(); ++f)
        if (f < kWcEdgeFiles || f + kWcEdgeFiles >= files.size()) selection.push_back(files[f]);
    out.add(text::format("wc: files={}", files.size()));
    render_selected_rows(out, rows, selection, "wc", "row", RowTransform::identity);
    return true;
}

// ----------------------------------------------------------------- stat --

bool reduce_stat(const Lines& lines, SummaryWriter& out) {
    const auto blocks = detector::parse_stat_blocks(lines);
    if (!blocks) return false;
    out.add(text::format("stat: files={}", blocks->size()));
    for (const StatBlock& b : *blocks)
        out.add(text::format("{} | size={} | mode={} | owner={} | group={} | modify={}", b.file, b.size, b.mode,
                             b.owner, b.group, b.modify));
    return true;
}

// Tried in this order; the first summary smaller than the input wins.
constexpr std::array<Reducer, 8> kReducers = {&reduce_env,       &reduce_df, &reduce_ps, &reduce_ping,
                                              &reduce_systemctl, &reduce_du, &reduce_wc, &reduce_stat};

}  // namespace

Attempt try_compress_system_output(const FilterInput& input) {
    // The empty text and a lone newline hold no lines.
    if (input.text.empty() || input.text == "\n") return std::nullopt;
    for (Reducer reduce : kReducers) {
        SummaryWriter out;
        if (!reduce(input.lines, out)) continue;
        if (Attempt smaller = out.take_if_smaller(input.text, input.lines.final_newline())) return smaller;
    }
    return std::nullopt;
}

std::string compress_system_output(std::string_view text) { return run_alone(&try_compress_system_output, text); }

}  // namespace filters::system_output::reducer
