#include "filters/tree.h"

#include <cstdint>
#include <deque>
#include <string_view>

namespace filters::tree {
namespace {

// The components of a row's path: backslashes read as "/", leading "./"
// pieces dropped, empty pieces ignored, a leading "/" kept on the first
// component. The views point into `path` (or `scratch` when backslashes
// had to be rewritten).
void path_components(std::string_view path, std::deque<std::string>& scratch, std::vector<std::string_view>& parts) {
    parts.clear();
    if (path.find('\\') != std::string_view::npos) {
        std::string copy(path);
        for (char& c : copy)
            if (c == '\\') c = '/';
        scratch.push_back(std::move(copy));
        path = scratch.back();
    }
    std::string_view p = path;
    if (p.empty()) p = ".";
    while (p.size() >= 2 && p.substr(0, 2) == "./") {
        if (p == "./") {
            p = ".";
            break;
        }
        p.remove_prefix(2);
    }
    std::size_t start = 0;
    while (start <= p.size()) {
        std::size_t slash = p.find('/', start);
        if (slash == std::string_view::npos) slash = p.size();
        if (slash > start) {
            // The first component of an absolute path keeps the slash that
            // stands right before it ("/usr").
            bool rooted = parts.empty() && p[0] == '/';
            parts.push_back(rooted ? p.substr(start - 1, slash - start + 1) : p.substr(start, slash - start));
        }
        start = slash + 1;
    }
    if (parts.empty()) parts.push_back(".");
}

// A node of the renderer's own tree: names and rows are borrowed from the
// caller's rows, which outlive the rendering.
struct LightNode {
    std::vector<std::pair<std::string_view, std::size_t>> children;
    std::vector<const TreeRow*> rows;
};

struct Light {
    std::vector<LightNode> nodes{1};
    std::vector<std::size_t> parent{0};
    std::vector<std::string_view> name{std::string_view()};
    std::deque<std::string> scratch;
};

// Open-addressing index from (parent, name) to the child node, flat so
// that a million paths cost a million probes of one array rather than a
// million scattered allocations.
class ChildIndex {
public:
    explicit ChildIndex(const Light& tree) : tree_(tree), slots_(1024, kEmpty), hashes_(1024) {}

    // The child of `parent` named `name`, created (and appended to the
    // parent's children) when it does not exist yet.
    std::size_t child(Light& tree, std::size_t parent, std::string_view name) {
        const std::uint64_t h = mix(std::hash<std::string_view>{}(name), parent);
        std::size_t mask = slots_.size() - 1;
        for (std::size_t i = h & mask;; i = (i + 1) & mask) {
            std::uint32_t slot = slots_[i];
            if (slot == kEmpty) break;
            if (hashes_[i] == h && tree.parent[slot] == parent && name_of(slot) == name) return slot;
        }
        const std::size_t node = tree.nodes.size();
        tree.nodes.emplace_back();
        tree.parent.push_back(parent);
        tree.name.push_back(name);
        tree.nodes[parent].children.emplace_back(name, node);
        if (++used_ * 2 > slots_.size()) grow();
        insert(h, static_cast<std::uint32_t>(node));
        return node;
    }

private:
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
    const Light& tree_;
    std::vector<std::uint32_t> slots_;
    std::vector<std::uint64_t> hashes_;
    std::size_t used_ = 0;

    static std::uint64_t mix(std::uint64_t h, std::uint64_t parent) {
        h ^= (parent + 1) * 0x9E3779B97F4A7C15ULL;
        h ^= h >> 31;
        h *= 0xBF58476D1CE4E5B9ULL;
        return h ^ (h >> 29);
    }
    std::string_view name_of(std::uint32_t node) const { return tree_.name[node]; }
    void insert(std::uint64_t h, std::uint32_t node) {
        std::size_t mask = slots_.size() - 1;
        std::size_t i = h & mask;
        while (slots_[i] != kEmpty) i = (i + 1) & mask;
        slots_[i] = node;
        hashes_[i] = h;
    }
    void grow() {
        std::vector<std::uint32_t> old_slots(slots_.size() * 2, kEmpty);
        std::vector<std::uint64_t> old_hashes(hashes_.size() * 2);
        old_slots.swap(slots_);
        old_hashes.swap(hashes_);
        for (std::size_t i = 0; i < old_slots.size(); ++i)
            if (old_slots[i] != kEmpty) insert(old_hashes[i], old_slots[i]);
    }
};

Light build(const std::vector<TreeRow>& rows) {
    Light t;
    ChildIndex index(t);
    std::vector<std::string_view> parts;
    // Consecutive rows usually share their leading directories: the nodes
    // of the previous row's path are reused without a lookup.
    std::vector<std::pair<std::string_view, std::size_t>> previous;
    for (const TreeRow& row : rows) {
        path_components(row.path, t.scratch, parts);
        std::size_t node = 0;
        std::size_t shared = 0;
        while (shared < parts.size() && shared < previous.size() && previous[shared].first == parts[shared])
            node = previous[shared++].second;
        previous.resize(shared);
        for (std::size_t k = shared; k < parts.size(); ++k) {
            node = index.child(t, node, parts[k]);
            previous.emplace_back(parts[k], node);
        }
        t.nodes[node].rows.push_back(&row);
    }
    return t;
}

const TreeRow& row_of(const TreeRow& r) { return r; }
const TreeRow& row_of(const TreeRow* r) { return *r; }

// Walks the tree depth-first with an explicit stack. `emit(depth, name,
// tail)` receives each line as its indent depth, its name and what follows
// the name ("/" for a directory, the row's suffix for a leaf, "" with the
// detail as name for a detail line); it returns false to stop the walk.
template <class Node, class Emit>
bool walk(const std::vector<Node>& nodes, std::size_t root, std::size_t depth, Emit&& emit) {
    struct Frame {
        std::size_t node, next_child, depth;
    };
    std::vector<Frame> stack{{root, 0, depth}};
    while (!stack.empty()) {
        Frame& f = stack.back();
        const Node& n = nodes[f.node];
        if (f.next_child == n.children.size()) {
            stack.pop_back();
            continue;
        }
        const auto& [name, idx] = n.children[f.next_child++];
        const Node& c = nodes[idx];
        const std::size_t d = f.depth;
        if (c.rows.empty() || !c.children.empty()) {
            if (!emit(d, std::string_view(name), std::string_view("/"))) return false;
            stack.push_back({idx, 0, d + 1});
            continue;
        }
        for (const auto& r : c.rows) {
            const TreeRow& row = row_of(r);
            if (!emit(d, std::string_view(name), std::string_view(row.suffix))) return false;
            for (const std::string& detail : row.details)
                if (!emit(d + 1, std::string_view(detail), std::string_view())) return false;
        }
    }
    return true;
}

}  // namespace

void render_tree(const std::vector<TreeNode>& nodes, std::size_t node, std::vector<std::string>& lines,
                 std::size_t depth) {
    walk(nodes, node, depth, [&](std::size_t d, std::string_view name, std::string_view tail) {
        std::string line(d, ' ');
        line.append(name).append(tail);
        lines.push_back(std::move(line));
        return true;
    });
}

std::optional<std::string> format_tree_within(const std::vector<TreeRow>& rows, std::size_t max_bytes) {
    Light t = build(rows);
    std::string out;
    bool fits = walk(t.nodes, 0, 0, [&](std::size_t d, std::string_view name, std::string_view tail) {
        std::size_t add = (out.empty() ? 0 : 1) + d + name.size() + tail.size();
        if (add > max_bytes - out.size()) return false;
        if (!out.empty()) out.push_back('\n');
        out.append(d, ' ').append(name).append(tail);
        return true;
    });
    if (!fits) return std::nullopt;
    return out;
}

std::string format_tree(const std::vector<TreeRow>& rows) {
    return *format_tree_within(rows, static_cast<std::size_t>(-1));
}

}  // namespace filters::tree
