#include "filters/tree.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>

#include "text.h"

namespace filters::tree {
namespace {

// The components of a row's path: backslashes read as "/", leading "./"
// pieces dropped, empty pieces ignored, a leading "/" kept on the first
// component. The views point into `path` (or `scratch` when backslashes
// had to be rewritten).
// Splits a path that holds no backslash; false, leaving `parts` to be
// cleared, when it meets one.
bool slash_components(std::string_view path, std::vector<std::string_view>& parts) {
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
        // Components are short: a plain loop finds their end sooner than a
        // call per component would, and sees a backslash on the way.
        const std::size_t slash = text::find_path_separator(p, start);
        if (slash < p.size() && p[slash] == '\\') return false;
        if (slash > start) {
            // The first component of an absolute path keeps the slash that
            // stands right before it ("/usr").
            const bool rooted = parts.empty() && p[0] == '/';
            parts.push_back(rooted ? p.substr(start - 1, slash - start + 1) : p.substr(start, slash - start));
        }
        start = slash + 1;
    }
    if (parts.empty()) parts.push_back(".");
    return true;
}

void path_components(std::string_view path, std::deque<std::string>& scratch, std::vector<std::string_view>& parts) {
    parts.clear();
    if (slash_components(path, parts)) return;
    parts.clear();
    std::string copy(path);
    for (char& c : copy)
        if (c == '\\') c = '/';
    scratch.push_back(std::move(copy));
    slash_components(scratch.back(), parts);
}

constexpr std::uint32_t kNone = 0xFFFFFFFFu;
constexpr std::size_t kReserveAtOnce = std::size_t{1} << 32;
constexpr std::size_t kGuessBytesPerRow = 128;

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
        // The last bytes are read as whole words, overlapping what came
        // before when there was some: copying them one by one into a word
        // and reading it back stalls the load behind the stores.
        std::uint64_t word;
        if (name.size() >= 8) {
            std::memcpy(&word, name.data() + name.size() - 8, 8);
        } else if (n >= 4) {
            std::uint32_t low, high;
            std::memcpy(&low, p, 4);
            std::memcpy(&high, p + n - 4, 4);
            word = low | (std::uint64_t{high} << 32);
        } else {
            word = static_cast<unsigned char>(p[0]) | (std::uint64_t{static_cast<unsigned char>(p[n / 2])} << 8) |
                   (std::uint64_t{static_cast<unsigned char>(p[n - 1])} << 16);
        }
        h = std::rotl((h ^ word) * kMul, 29);
    }
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ULL;
    return h ^ (h >> 29);
}

class PathTree {
public:
    // Builds the tree of the rows; false when it would outgrow its 32-bit
    // indices.
    //
    // Most listings name each directory's entries together, so the tree is
    // first built as if no path ever came back to a directory it had left:
    // every component past the ones the row shares with the previous row
    // is a new node, and no child is looked up. Whether that held is seen
    // when a node is left, while its children are still at hand in memory:
    // a path that came back made two children of one name, and the later
    // one is merged into the first. Should the merging grow past a few times
    // the number of rows (paths that keep coming back to large directories),
    // or should the nodes outgrow the room made for them where a lookup would
    // make a quarter of them fewer (a path that comes back makes a node for
    // every return, and growing the array holds it twice while it is
    // copied), the tree is built again with a lookup of every child instead.
    bool build(std::size_t count, RowAt row_at, const void* context) {
        if (count >= kNone) return false;
        switch (build_as<false>(count, row_at, context)) {
            case Outcome::Built:
                release_build_state();
                return true;
            case Outcome::TooLarge:
                return false;
            case Outcome::CameBack:
                break;
        }
        // The nodes of the first build are let go rather than reused: it may
        // have filled all the room made for them, where the second makes
        // only as many as there are distinct ones.
        std::vector<Node>().swap(nodes_);
        const bool built = build_as<true>(count, row_at, context) == Outcome::Built;
        release_build_state();
        return built;
    }

    const std::vector<Node>& nodes() const { return nodes_; }
    std::uint32_t previous_row(std::uint32_t row) const { return previous_row_[row]; }

private:
    enum class Outcome { Built, CameBack, TooLarge };

    // Open addressing from (parent, name) to the child node, flat so that a
    // million paths cost a million probes of one array rather than a
    // million scattered allocations. The parent in the slot rules most
    // collisions out without reading the node.
    struct Slot {
        std::uint32_t node;
        std::uint32_t parent;
    };

    template <bool kLookUp>
    Outcome build_as(std::size_t count, RowAt row_at, const void* context) {
        nodes_.clear();
        // A node for every row and for most of their directories: growing
        // past the reservation would copy the whole array, while pages
        // reserved and never written cost nothing.
        nodes_.reserve(count + count / 2 + 16);
        nodes_.emplace_back();
        previous_row_.assign(count, kNone);
        previous_.clear();
        scratch_.clear();
        work_left_ = 8 * count + 1024;
        absorbed_ = 0;
        if (kLookUp) {
            std::size_t slots = 16;
            while (slots < 2 * (count + 1)) slots *= 2;
            slots_.assign(slots, Slot{kNone, kNone});
        }
        // Before a node is added past the room made for the nodes.
        auto look_up_instead = [this] { return !kLookUp && nodes_.size() == nodes_.capacity() && worth_looking_up(); };
        // The previous row's path up to and including its last separator,
        // when its last component is all that follows: a row that starts
        // with the same bytes and adds one component is placed beside it
        // without being split. Empty when that does not hold.
        std::string_view directory;
        for (std::size_t row = 0; row < count; ++row) {
            const std::string_view path = row_at(context, row).path;
            if (!directory.empty() && path.size() > directory.size() && path.starts_with(directory) &&
                text::find_path_separator(path, directory.size()) == path.size()) {
                const std::string_view leaf = path.substr(directory.size());
                std::uint32_t node = previous_.back().second;
                if (leaf != previous_.back().first) {
                    if (!kLookUp && !settle_children(node)) return Outcome::CameBack;
                    const std::uint32_t parent = previous_.size() > 1 ? previous_[previous_.size() - 2].second : 0;
                    if (look_up_instead()) return Outcome::CameBack;
                    node = kLookUp ? child(parent, leaf) : new_child(parent, leaf);
                    if (node == kNone) return Outcome::TooLarge;
                    previous_.back() = {leaf, node};
                }
                directory = path.substr(0, directory.size());
                previous_row_[row] = nodes_[node].last_row;
                nodes_[node].last_row = static_cast<std::uint32_t>(row);
                continue;
            }
            path_components(path, scratch_, parts_);
            std::uint32_t node = 0;
            std::size_t shared = 0;
            // Consecutive rows usually share their leading directories: the
            // nodes of the previous row's path are reused as they are.
            while (shared < parts_.size() && shared < previous_.size() && previous_[shared].first == parts_[shared])
                node = previous_[shared++].second;
            if (!kLookUp)
                for (std::size_t k = previous_.size(); k > shared; --k)
                    if (!settle_children(previous_[k - 1].second)) return Outcome::CameBack;
            previous_.resize(shared);
            for (std::size_t k = shared; k < parts_.size(); ++k) {
                if (look_up_instead()) return Outcome::CameBack;
                node = kLookUp ? child(node, parts_[k]) : new_child(node, parts_[k]);
                if (node == kNone) return Outcome::TooLarge;
                previous_.emplace_back(parts_[k], node);
            }
            previous_row_[row] = nodes_[node].last_row;
            nodes_[node].last_row = static_cast<std::uint32_t>(row);
            std::size_t last = path.size();
            while (last > 0 && path[last - 1] != '/' && path[last - 1] != '\\') --last;
            const bool leaf_follows = last > 0 && last < path.size() && parts_.back() == path.substr(last);
            directory = leaf_follows ? path.substr(0, last) : std::string_view();
        }
        if (!kLookUp) {
            for (std::size_t k = previous_.size(); k > 0; --k)
                if (!settle_children(previous_[k - 1].second)) return Outcome::CameBack;
            if (!settle_children(0)) return Outcome::CameBack;
        }
        return Outcome::Built;
    }

    // What only building needs, let go before the tree is drawn: the drawing
    // grows the output while the nodes are still held.
    void release_build_state() {
        std::vector<Slot>().swap(slots_);
        std::vector<std::uint64_t>().swap(seen_);
        std::vector<std::uint32_t>().swap(seen_at_);
        std::vector<std::uint32_t>().swap(children_);
    }

    // Whether a build with a lookup of every child would make a quarter of
    // the nodes made so far fewer: the nodes merged away already, and the
    // repeated names among the children of the nodes still open, which are
    // settled only when left. Asked when the nodes fill their room.
    bool worth_looking_up() {
        std::size_t repeats = absorbed_ + repeated_children(0);
        for (const auto& [name, node] : previous_) repeats += repeated_children(node);
        return repeats >= nodes_.size() / 4;
    }

    // About how many children of `parent` repeat the name of an earlier one,
    // without merging them: a child whose hash falls on a bit of a table
    // eight times as large that an earlier one set counts, so that one in
    // eight or fewer is counted wrongly, at a byte a child.
    std::size_t repeated_children(std::uint32_t parent) const {
        std::size_t count = 0;
        for (std::uint32_t c = nodes_[parent].first_child; c != kNone; c = nodes_[c].next_sibling) ++count;
        std::size_t bits = 64;
        while (bits < 8 * count) bits *= 2;
        std::vector<std::uint64_t> seen(bits / 64, 0);
        std::size_t repeats = 0;
        for (std::uint32_t c = nodes_[parent].first_child; c != kNone; c = nodes_[c].next_sibling) {
            const std::uint64_t bit = hash_name(nodes_[c].name, 0) & (bits - 1);
            std::uint64_t& word = seen[bit / 64];
            const std::uint64_t mask = std::uint64_t{1} << (bit % 64);
            repeats += (word & mask) != 0;
            word |= mask;
        }
        return repeats;
    }

    // Appends a child to `parent`, or gives kNone when the indices run out.
    std::uint32_t new_child(std::uint32_t parent, std::string_view name) {
        if (nodes_.size() >= kNone - 1) return kNone;
        const auto node = static_cast<std::uint32_t>(nodes_.size());
        nodes_.push_back(Node{name});
        Node& p = nodes_[parent];
        if (p.last_child == kNone)
            p.first_child = node;
        else
            nodes_[p.last_child].next_sibling = node;
        p.last_child = node;
        return node;
    }

    // Makes the names of the children of `parent`, and of every node that
    // merging reaches, distinct: a later child of the same name gives its
    // rows and its children to the first one and leaves the list. Every
    // node of the later one's subtree was made after every node of the
    // first one's, so the first-seen order holds. False when the work
    // outgrows its allowance or two names share a hash.
    bool settle_children(std::uint32_t parent) {
        // Most nodes left are leaves or hold one child: nothing to settle.
        return nodes_[parent].first_child == nodes_[parent].last_child || settle_all_children(parent);
    }

    bool settle_all_children(std::uint32_t parent) {
        pending_.assign(1, parent);
        while (!pending_.empty()) {
            const std::uint32_t node = pending_.back();
            pending_.pop_back();
            if (!merge_repeated_children(node)) return false;
        }
        return true;
    }

    bool merge_repeated_children(std::uint32_t parent) {
        const Node& p = nodes_[parent];
        if (p.first_child == p.last_child) return true;
        const std::uint32_t first = p.first_child;
        if (nodes_[first].next_sibling == p.last_child) {
            const std::uint32_t second = p.last_child;
            if (nodes_[first].name != nodes_[second].name) return true;
            nodes_[first].next_sibling = kNone;
            nodes_[parent].last_child = first;
            if (absorb(first, second)) pending_.push_back(first);
            return true;
        }
        // The list is followed once; the tests below read the array.
        children_.clear();
        for (std::uint32_t c = first; c != kNone; c = nodes_[c].next_sibling) children_.push_back(c);
        if (few_distinct_children() || children_in_increasing_order()) return true;
        return merge_by_hash(parent);
    }

    // Merges each later child of a name into the first of that name,
    // finding the first through a small open-addressing set of the names'
    // hashes: one pass, and nothing to do but relink when a repeat was
    // found. False when the work outgrows its allowance or two names share
    // a hash.
    bool merge_by_hash(std::uint32_t parent) {
        const std::size_t n = children_.size();
        if (n > work_left_) return false;
        work_left_ -= n;
        std::size_t slots = 16;
        while (slots < 2 * n) slots *= 2;
        seen_.assign(slots, 0);
        seen_at_.resize(slots);
        const std::size_t mask = slots - 1;
        bool merged = false;
        // The first child of a name is settled once however many later
        // ones bring it children: with the slot's flag, queued already.
        constexpr std::uint32_t kQueued = std::uint32_t{1} << 31;
        if (n >= kQueued) return false;
        for (std::size_t k = 0; k < n; ++k) {
            // 0 marks an empty slot: every hash is made odd.
            const std::uint64_t h = hash_name(nodes_[children_[k]].name, 0) | 1;
            std::size_t i = h & mask;
            for (; seen_[i] != 0 && seen_[i] != h; i = (i + 1) & mask) {
            }
            if (seen_[i] == 0) {
                seen_[i] = h;
                seen_at_[i] = static_cast<std::uint32_t>(k);
                continue;
            }
            // Children are met in order: the one in the set is the first
            // child of the name.
            const std::uint32_t kept = children_[seen_at_[i] & ~kQueued];
            const std::uint32_t repeat = children_[k];
            if (nodes_[kept].name != nodes_[repeat].name) return false;
            if (absorb(kept, repeat) && !(seen_at_[i] & kQueued)) {
                pending_.push_back(kept);
                seen_at_[i] |= kQueued;
            }
            children_[k] = kNone;
            merged = true;
        }

        if (!merged) return true;
        std::uint32_t last = kNone;
        for (const std::uint32_t c : children_) {
            if (c == kNone) continue;
            if (last == kNone)
                nodes_[parent].first_child = c;
            else
                nodes_[last].next_sibling = c;
            last = c;
        }
        nodes_[last].next_sibling = kNone;
        nodes_[parent].last_child = last;
        return true;
    }

    // Whether `children_` are few and all of different names, seen by
    // comparing each pair: cheaper than hashing them.
    bool few_distinct_children() const {
        constexpr std::size_t kFew = 8;
        const std::size_t n = children_.size();
        if (n > kFew) return false;
        for (std::size_t i = 1; i < n; ++i)
            for (std::size_t k = 0; k < i; ++k)
                if (nodes_[children_[k]].name == nodes_[children_[i]].name) return false;
        return true;
    }

    // Whether the names of `children_` rise strictly in byte order, as
    // they mostly do in sorted output: then no two are equal.
    bool children_in_increasing_order() const {
        std::string_view previous = nodes_[children_[0]].name;
        for (std::size_t i = 1; i < children_.size(); ++i) {
            const std::string_view name = nodes_[children_[i]].name;
            if (!(previous < name)) return false;
            previous = name;
        }
        return true;
    }

    // Moves the rows and children of `repeat` behind those of `kept`;
    // true when both had children, which are then to be settled.
    bool absorb(std::uint32_t kept, std::uint32_t repeat) {
        ++absorbed_;
        Node& k = nodes_[kept];
        const Node& r = nodes_[repeat];
        if (r.last_row != kNone) {
            std::uint32_t oldest = r.last_row;
            while (previous_row_[oldest] != kNone) oldest = previous_row_[oldest];
            previous_row_[oldest] = k.last_row;
            k.last_row = r.last_row;
        }
        if (r.first_child == kNone) return false;
        const bool both = k.first_child != kNone;
        if (both)
            nodes_[k.last_child].next_sibling = r.first_child;
        else
            k.first_child = r.first_child;
        k.last_child = r.last_child;
        return both;
    }

    // The child of `parent` named `name`, made when there is none yet.
    std::uint32_t child(std::uint32_t parent, std::string_view name) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = hash_name(name, parent) & mask;
        for (;; i = (i + 1) & mask) {
            const Slot slot = slots_[i];
            if (slot.node == kNone) break;
            if (slot.parent == parent && nodes_[slot.node].name == name) return slot.node;
        }
        const std::uint32_t node = new_child(parent, name);
        if (node == kNone) return kNone;
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
    std::vector<std::uint32_t> children_;
    std::vector<std::uint32_t> pending_;
    std::vector<std::uint64_t> seen_;
    std::vector<std::uint32_t> seen_at_;  // the position in `children_` of each hash in `seen_`
    std::size_t work_left_ = 0;
    std::size_t absorbed_ = 0;  // nodes merged into an earlier one of their name
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
            for (const std::string_view detail : row.detail_views)
                if (!emit(d + 1, detail, std::string_view())) return false;
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

bool append_row_views_within(std::string& out, std::size_t count, RowAt row_at, const void* context,
                             std::size_t max_bytes, std::size_t indent, bool newline_first) {
    PathTree tree;
    if (!tree.build(count, row_at, context)) return false;
    // Lines are drawn into a small buffer that stays in cache and joins
    // `out` in large pieces, rather than by four appends a line.
    constexpr std::size_t kBuffer = std::size_t{1} << 16;
    const auto buffer = std::make_unique_for_overwrite<char[]>(kBuffer);
    std::size_t used = 0;
    std::size_t added = 0;
    bool first = true;
    const bool drawn = walk(tree, row_at, context, [&](std::size_t d, std::string_view name, std::string_view tail) {
        const bool newline = !first || newline_first;
        const std::size_t spaces = indent + d;
        const std::size_t add = (newline ? 1 : 0) + spaces + name.size() + tail.size();
        if (add > max_bytes - added) return false;
        added += add;
        first = false;
        if (add > kBuffer - used) {
            out.append(buffer.get(), used);
            used = 0;
            if (add > kBuffer) {
                if (newline) out.push_back('\n');
                out.append(spaces, ' ').append(name).append(tail);
                return true;
            }
        }
        char* p = buffer.get() + used;
        if (newline) *p++ = '\n';
        std::memset(p, ' ', spaces);
        p += spaces;
        if (!name.empty()) std::memcpy(p, name.data(), name.size());
        p += name.size();
        if (!tail.empty()) std::memcpy(p, tail.data(), tail.size());
        used += add;
        return true;
    });
    out.append(buffer.get(), used);
    return drawn;
}

std::optional<std::string> format_row_views_within(std::size_t count, RowAt row_at, const void* context,
                                                   std::size_t max_bytes) {
    std::string out;
    // The bound is mostly the size of a text in memory: taking it at once
    // (or a generous guess for few rows) spares copying a large rendering
    // from one doubling to the next, and pages never written cost nothing.
    if (count < kReserveAtOnce / kGuessBytesPerRow) out.reserve(std::min(max_bytes, count * kGuessBytesPerRow));
    if (!append_row_views_within(out, count, row_at, context, max_bytes, 0, false)) return std::nullopt;
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
