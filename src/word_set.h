// WordSet: a fixed list of phrases looked for anywhere in a text in one
// pass, ASCII case folded. Every family that tests a line against many
// phrases uses it instead of a search per phrase.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace text {

// One word of a WordSet: its text written folded (lowercase ASCII, and
// "_" for each separator when `separators_as_underscore`), and the group (0
// to 31) that it reports when found. Text matches a word when it equals it
// with ASCII case folded and, when `separators_as_underscore`, with "-" and
// "." read as "_" (so "api_key" finds "API-KEY" and "api.key").
struct SearchWord {
    std::string_view text;
    unsigned group = 0;
    bool separators_as_underscore = false;
};

// A fixed list of words (up to 64, each at least two bytes long) looked for
// anywhere in a text in one pass. The pass looks at the byte pair that ends
// a window as long as the shortest word and jumps as far ahead as no word
// can end sooner, so most of a text is never compared with any word; where
// a word can end, only the words that end in that pair are compared.
template <std::size_t N>
class WordSet {
    static_assert(N >= 1 && N <= 64);

public:
    constexpr explicit WordSet(const std::array<SearchWord, N>& words) : words_(words) {
        window_ = words_[0].text.size();
        for (const SearchWord& w : words_)
            if (w.text.size() < window_) window_ = w.text.size();
        if (window_ > kMaxShift + 1) window_ = kMaxShift + 1;
        if (window_ < 2) return;  // every position is compared
        for (std::uint8_t& s : shift_) s = static_cast<std::uint8_t>(window_ - 1);
        // A pair that ends at byte j of a word's first `window_` bytes lets
        // the window's end move at most window_ - 1 - j further; the pair
        // that ends the window names the word as a candidate there.
        for (std::size_t k = 0; k < N; ++k) {
            const SearchWord& w = words_[k];
            for (std::size_t j = 1; j < window_; ++j)
                for (unsigned a : images(w, w.text[j - 1]))
                    for (unsigned b : images(w, w.text[j])) {
                        if (a == kNoImage || b == kNoImage) continue;
                        const std::size_t at = slot(a, b);
                        if (shift_[at] > window_ - 1 - j) shift_[at] = static_cast<std::uint8_t>(window_ - 1 - j);
                        if (j == window_ - 1) candidates_[at] |= std::uint64_t{1} << k;
                    }
        }
    }

    // The words of `words`, all in group 0.
    static constexpr WordSet of(const std::array<std::string_view, N>& words, bool separators_as_underscore = false) {
        std::array<SearchWord, N> list{};
        for (std::size_t k = 0; k < N; ++k) list[k] = SearchWord{words[k], 0, separators_as_underscore};
        return WordSet(list);
    }

    bool found_in(std::string_view s) const { return groups_in(s, ~0u) != 0; }

    // Bit g set for each group g that has a word in `s`. The pass ends as
    // soon as a group of `stop_groups` is found.
    std::uint32_t groups_in(std::string_view s, std::uint32_t stop_groups) const {
        std::uint32_t found = 0;
        if (window_ < 2) {
            for (std::size_t start = 0; start < s.size(); ++start)
                for (std::size_t k = 0; k < N; ++k)
                    if (add_match(k, s, start, found) & stop_groups) return found;
            return found;
        }
        std::size_t end = window_ - 1;  // last byte of the window
        while (end < s.size()) {
            const std::size_t at = slot(image(s[end - 1]), image(s[end]));
            if (const std::uint8_t shift = shift_[at]) {
                end += shift;
                continue;
            }
            for (std::uint64_t m = candidates_[at]; m != 0; m &= m - 1)
                if (add_match(static_cast<std::size_t>(std::countr_zero(m)), s, end + 1 - window_, found) & stop_groups)
                    return found;
            ++end;
        }
        return found;
    }

private:
    static constexpr std::size_t kSlots = 8192;
    static constexpr std::size_t kMaxShift = 255;
    static constexpr unsigned kNoImage = 0x100;

    // Case is folded by setting bit 5: an upper-case letter meets its lower
    // case. Other bytes that meet this way only make a jump shorter.
    static constexpr unsigned image(char c) { return static_cast<unsigned char>(c) | 0x20u; }
    static constexpr std::size_t slot(unsigned a, unsigned b) { return ((a << 6) ^ b) & (kSlots - 1); }

    // The images of every byte that matches the word's byte `c`.
    static constexpr std::array<unsigned, 3> images(const SearchWord& w, char c) {
        if (w.separators_as_underscore && c == '_') return {image('_'), image('-'), image('.')};
        return {image(c), kNoImage, kNoImage};
    }

    static constexpr char fold(const SearchWord& w, char c) {
        if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
        if (w.separators_as_underscore && (c == '-' || c == '.')) return '_';
        return c;
    }

    // Adds the group of word `k` to `found` when the word starts at `start`.
    std::uint32_t add_match(std::size_t k, std::string_view s, std::size_t start, std::uint32_t& found) const {
        const SearchWord& w = words_[k];
        if ((found >> w.group) & 1u) return 0;
        if (s.size() - start < w.text.size()) return 0;
        for (std::size_t i = 0; i < w.text.size(); ++i)
            if (fold(w, s[start + i]) != w.text[i]) return 0;
        found |= 1u << w.group;
        return 1u << w.group;
    }

    std::array<SearchWord, N> words_;
    std::array<std::uint8_t, kSlots> shift_{};
    std::array<std::uint64_t, kSlots> candidates_{};
    std::size_t window_ = 0;
};

}  // namespace text
