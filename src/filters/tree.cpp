#include "filters/tree.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <deque>

namespace filters::tree {
namespace {

// The components of a row's path: backslashes read as "/", leading "./"
// pieces dropped, empty pieces ignored, a leading "/" kept on the first
// component. The views point into `path` (or `scratch` when backslashes
// had to be rewritten).
void path_components(std::string_view path, std::deque<std::string>& scratch, std::vector<std::string_view>& parts) {
    parts.clear();
    if (std::memchr(path.data(), '\\', path.size()) != nullptr) {
        std::string copy(path);
        for (char& c : copy)
            if (c == '\\') c = '/';
        scratch.push_back(std::move(copy));
        path = scratch.back();
    }
    std::string_view p = path;
    if (p.empty()) p = ".";
    while (p.size() >= 2 && p[0] == '.' && p[1] == '/') {
        if (p.size() == 2) {
            p = ".";
            break;
        }
        p.remove_prefix(2);
    }
    std::size_t start = 0;
    while (start <= p.size()) {
        const void* hit = std::memchr(p.data() + start, '/', p.size() - start);
        const std::size_t slash = hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - p.data()) : p.size();
        if (slash > start) {
            // The first component of an absolute path keeps the slash that
            // stands right before it ("/usr").
            const bool rooted = parts.empty() && p[0] == '/';
            parts.push_back(rooted ? p.substr(start - 1, slash - start + 1) : p.substr(start, slash - start));
        }
        start = slash + 1;
    }
    if (parts.empty()) parts.push_back(".");
}

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// A node of the renderer's tree, 32 bytes: a million paths make a million
// of these in one array. Children and rows are linked lists through the
// nodes and through a per-row array, so no node owns an allocation.
struct Node {
    std::string_view name;  // borrowed from the rows (or the builder's scratch)
    std::uint32_t first_child = kNone;
    std::uint32_t last_child = kNone;
    std::uint32_t next_sibling = kNone;
    std::uint32_t last_row = kNone;  // the node's rows, linked from the last back to the first
};

std::uint64_t hash_name(std::string_view name, std::uint64_t parent) {
    constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ULL;
    std::uint64_t h = (parent + 1) * kMul ^ name.size();
    const char* p = name.data();
    std::size_t n = name.size();
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        h = std::rotl((h ^ word) * kMul, 29);
    }
    if (n > 0) {
        std::uint64_t word = 0;
        std::memcpy(&word, p, n);
        h = std::rotl((h ^ word) * kMul, 29);
    }
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ULL;
    return h ^ (h >> 29);
}

class PathTree {
public:
    explicit PathTree(std::size_t rows) : nodes_(1), previous_row_(rows, kNone) {
        nodes_.reserve(rows + 1);
        std::size_t slots = 16;
        while (slots < 2 * (rows + 1)) slots *= 2;
        slots_.assign(slots, Slot{kNone, kNone});
    }

    // Places row `row` at the node of its path; false when the tree would
    // outgrow its 32-bit indices.
    bool add(std::string_view path, std::uint32_t row) {
        path_components(path, scratch_, parts_);
        std::uint32_t node = 0;
        std::size_t shared = 0;
        // Consecutive rows usually share their leading directories: the
        // nodes of the previous row's path are reused without a lookup.
        while (shared < parts_.size() && shared < previous_.size() && previous_[shared].first == parts_[shared])
            node = previous_[shared++].second;
        previous_.resize(shared);
        for (std::size_t k = shared; k < parts_.size(); ++k) {
            node = child(node, parts_[k]);
            if (node == kNone) return false;
            previous_.emplace_back(parts_[k], node);
        }
        previous_row_[row] = nodes_[node].last_row;
        nodes_[node].last_row = row;
        return true;
    }

    const std::vector<Node>& nodes() const { return nodes_; }
    std::uint32_t previous_row(std::uint32_t row) const { return previous_row_[row]; }

private:
    // Open addressing from (parent, name) to the child node, flat so that a
    // million paths cost a million probes of one array rather than a
    // million scattered allocations. The parent in the slot rules most
    // collisions out without reading the node.
    struct Slot {
        std::uint32_t node;
        std::uint32_t parent;
    };

    std::uint32_t child(std::uint32_t parent, std::string_view name) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = hash_name(name, parent) & mask;
        for (;; i = (i + 1) & mask) {
            const Slot slot = slots_[i];
            if (slot.node == kNone) break;
            if (slot.parent == parent && nodes_[slot.node].name == name) return slot.node;
        }
        if (nodes_.size() >= kNone - 1) return kNone;
        const auto node = static_cast<std::uint32_t>(nodes_.size());
        nodes_.push_back(Node{name});
        Node& p = nodes_[parent];
        if (p.last_child == kNone)
            p.first_child = node;
        else
            nodes_[p.last_child].next_sibling = node;
        p.last_child = node;
        slots_[i] = Slot{node, parent};
        if (2 * nodes_.size() > slots_.size()) grow();
        return node;
    }

    void grow() {
        std::vector<Slot> old(slots_.size() * 2, Slot{kNone, kNone});
        old.swap(slots_);
        const std::size_t mask = slots_.size() - 1;
        for (const Slot& slot : old) {
            if (slot.node == kNone) continue;
            std::size_t i = hash_name(nodes_[slot.node].name, slot.parent) & mask;
            while (slots_[i].node != kNone) i = (i + 1) & mask;
            slots_[i] = slot;
        }
    }

    std::vector<Node> nodes_;
    std::vector<std::uint32_t> previous_row_;
    std::vector<Slot> slots_;
    std::deque<std::string> scratch_;
    std::vector<std::string_view> parts_;
    std::vector<std::pair<std::string_view, std::uint32_t>> previous_;
};

// Walks the tree depth-first with an explicit stack. `emit(depth, name,
// tail)` receives each line as its indent depth, its name and what follows
// the name ("/" for a directory, the row's suffix for a leaf, "" with the
// detail as name for a detail line); it returns false to stop the walk.
template <class Emit>
bool walk(const PathTree& tree, RowAt row_at, const void* context, Emit&& emit) {
    const std::vector<Node>& nodes = tree.nodes();
    struct Frame {
        std::uint32_t next_child;
        std::size_t depth;
    };
    std::vector<Frame> stack{{nodes[0].first_child, 0}};
    std::vector<std::uint32_t> rows;
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next_child == kNone) {
            stack.pop_back();
            continue;
        }
        const Node& c = nodes[f.next_child];
        f.next_child = c.next_sibling;
        const std::size_t d = f.depth;
        if (c.last_row == kNone || c.first_child != kNone) {
            if (!emit(d, c.name, std::string_view("/"))) return false;
            stack.push_back({c.first_child, d + 1});
            continue;
        }
        rows.clear();
        for (std::uint32_t r = c.last_row; r != kNone; r = tree.previous_row(r)) rows.push_back(r);
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
            const TreeRowView row = row_at(context, *it);
            if (!emit(d, c.name, row.suffix)) return false;
            for (const std::string& detail : row.details)
                if (!emit(d + 1, std::string_view(detail), std::string_view())) return false;
        }
    }
    return true;
}

}  // namespace

void render_tree(const std::vector<TreeNode>& nodes, std::size_t node, std::vector<std::string>& lines,
                 std::size_t depth) {
    struct Frame {
        std::size_t node, next_child, depth;
    };
    auto emit = [&](std::size_t d, std::string_view name, std::string_view tail) {
        std::string line(d, ' ');
        line.append(name).append(tail);
        lines.push_back(std::move(line));
    };
    std::vector<Frame> stack{{node, 0, depth}};
    while (!stack.empty()) {
        Frame& f = stack.back();
        const TreeNode& n = nodes[f.node];
        if (f.next_child == n.children.size()) {
            stack.pop_back();
            continue;
        }
        const auto& [name, idx] = n.children[f.next_child++];
        const TreeNode& c = nodes[idx];
        const std::size_t d = f.depth;
        if (c.rows.empty() || !c.children.empty()) {
            emit(d, name, "/");
            stack.push_back({idx, 0, d + 1});
            continue;
        }
        for (const TreeRow& row : c.rows) {
            emit(d, name, row.suffix);
            for (const std::string& detail : row.details) emit(d + 1, detail, "");
        }
    }
}

std::optional<std::string> format_row_views_within(std::size_t count, RowAt row_at, const void* context,
                                                   std::size_t max_bytes) {
    if (count >= kNone) return std::nullopt;
    PathTree tree(count);
    for (std::size_t i = 0; i < count; ++i)
        if (!tree.add(row_at(context, i).path, static_cast<std::uint32_t>(i))) return std::nullopt;
    std::string out;
    const bool fits = walk(tree, row_at, context, [&](std::size_t d, std::string_view name, std::string_view tail) {
        const std::size_t add = (out.empty() ? 0 : 1) + d + name.size() + tail.size();
        if (add > max_bytes - out.size()) return false;
        if (!out.empty()) out.push_back('\n');
        out.append(d, ' ').append(name).append(tail);
        return true;
    });
    if (!fits) return std::nullopt;
    return out;
}

std::optional<std::string> format_tree_within(const std::vector<TreeRow>& rows, std::size_t max_bytes) {
    return format_row_views_within(
        rows.size(),
        [&rows](std::size_t i) {
            const TreeRow& row = rows[i];
            return TreeRowView{row.path, row.suffix, row.details};
        },
        max_bytes);
}

std::string format_tree(const std::vector<TreeRow>& rows) {
    return format_tree_within(rows, static_cast<std::size_t>(-1)).value();
}

}  // namespace filters::tree
