#include "filters/tree.h"

#include <string_view>
#include <unordered_map>

namespace filters::tree {
namespace {

std::vector<std::string> path_components(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    std::string_view p = path;
    if (p.empty()) p = ".";
    while (p.size() >= 2 && p.substr(0, 2) == "./") {
        if (p == "./") {
            p = ".";
            break;
        }
        p.remove_prefix(2);
    }
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= p.size()) {
        std::size_t slash = p.find('/', start);
        if (slash == std::string_view::npos) slash = p.size();
        if (slash > start) parts.emplace_back(p.substr(start, slash - start));
        start = slash + 1;
    }
    if (parts.empty()) {
        parts.emplace_back(".");
    } else if (!p.empty() && p[0] == '/') {
        parts[0] = "/" + parts[0];
    }
    return parts;
}

struct Builder {
    std::vector<TreeNode> nodes{1};
    // Child lookup by (parent, name); the printed order stays the vector's.
    std::unordered_map<std::string, std::size_t> index;

    std::size_t child(std::size_t parent, const std::string& name) {
        std::string key = std::to_string(parent);
        key.push_back('\0');
        key += name;
        auto [it, inserted] = index.try_emplace(std::move(key), nodes.size());
        if (inserted) {
            nodes.emplace_back();
            nodes[parent].children.emplace_back(name, it->second);
        }
        return it->second;
    }
};

// Walks the tree depth-first with an explicit stack, emitting each line.
// Returns false as soon as `emit` refuses a line.
template <class Emit>
bool walk(const std::vector<TreeNode>& nodes, std::size_t root, std::size_t depth, Emit&& emit) {
    struct Frame {
        std::size_t node, next_child, depth;
    };
    std::vector<Frame> stack{{root, 0, depth}};
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
        std::string indent(d, ' ');
        if (c.rows.empty() || !c.children.empty()) {
            if (!emit(indent + name + "/")) return false;
            stack.push_back({idx, 0, d + 1});
            continue;
        }
        for (const TreeRow& row : c.rows) {
            if (!emit(indent + name + row.suffix)) return false;
            for (const std::string& detail : row.details)
                if (!emit(indent + " " + detail)) return false;
        }
    }
    return true;
}

std::vector<TreeNode> build(const std::vector<TreeRow>& rows) {
    Builder b;
    for (const TreeRow& row : rows) {
        std::size_t node = 0;
        for (const std::string& part : path_components(row.path)) node = b.child(node, part);
        b.nodes[node].rows.push_back(row);
    }
    return std::move(b.nodes);
}

}  // namespace

void render_tree(const std::vector<TreeNode>& nodes, std::size_t node, std::vector<std::string>& lines,
                 std::size_t depth) {
    walk(nodes, node, depth, [&](std::string line) {
        lines.push_back(std::move(line));
        return true;
    });
}

std::optional<std::string> format_tree_within(const std::vector<TreeRow>& rows, std::size_t max_bytes) {
    std::vector<TreeNode> nodes = build(rows);
    std::string out;
    bool first = true;
    bool fits = walk(nodes, 0, 0, [&](const std::string& line) {
        if (out.size() + line.size() + (first ? 0 : 1) > max_bytes) return false;
        if (!first) out.push_back('\n');
        first = false;
        out += line;
        return true;
    });
    if (!fits) return std::nullopt;
    return out;
}

std::string format_tree(const std::vector<TreeRow>& rows) {
    return *format_tree_within(rows, static_cast<std::size_t>(-1));
}

}  // namespace filters::tree
