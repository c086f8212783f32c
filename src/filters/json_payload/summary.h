// Summaries of long runs of JSON records: a headline with the record count
// and the union of member names, the first and last records, every record
// that stands out, and omission markers for the rest.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json.h"

namespace filters::json_payload::summary {

// Records always printed at the end of the run.
inline constexpr std::size_t kTailRecords = 3;

// Builds one summary from records fed one at a time, so that a stream of
// records is never held in memory: each record is tested as it comes and,
// when it is to be printed, measured and remembered by its source text; the
// text is written only when asked for, once it is known to be wanted. The
// latest records are held back in case they are among the last
// kTailRecords.
class RecordSummary {
public:
    // Where the records come from: the headline says
    // "json array: rows=N keys=..." or "jsonl records=N keys=...".
    enum class Source { Array, Lines };

    // A summary whose lines and names grow past `give_up_above` bytes
    // cannot be the smallest text: it stops there and frees what it holds
    // (see `gave_up`). `reader` writes back the records held back.
    RecordSummary(Source source, std::size_t give_up_above, json::Reader& reader);

    void add(const json::Node& record, std::string_view source);
    std::size_t count() const { return count_; }
    bool gave_up() const { return gave_up_; }
    // After the last record, unless it gave up: the length of the summary
    // text, found without writing it.
    std::size_t size(bool had_newline);
    // The summary text, its printed records read again from their source.
    std::string text(bool had_newline);

    // A test result kept for one key (a name or a value).
    struct Remembered {
        std::string key;
        std::uint8_t answer = 0;
        bool used = false;
    };

private:
    struct Pending {
        std::size_t index = 0;
        bool keep = false;
        std::size_t compact_size = 0;  // known when the record is kept
        std::string_view source;       // to read it again if it is printed
    };
    struct Kept {
        std::size_t index;
        std::string_view source;
    };

    // How a record's member names compare with record 0's.
    enum class Shape { SameOrder, SameSet, Other };
    Shape shape_of(const json::Node& record);
    bool stands_out(const json::Node& record, Shape shape);
    bool stands_out_member(std::string_view name, const json::Node& value);
    bool stands_out_member(std::uint8_t roles, const json::Node& value);
    bool stands_out_value(const json::Node& value);
    std::uint8_t name_roles(std::string_view name);
    bool is_interesting(std::string_view value);
    std::string_view key(std::size_t index) const;
    std::optional<std::size_t> find_key(std::string_view name) const;
    void note_key(std::string_view name);
    void print(std::size_t index, std::string_view source, std::size_t compact_size);
    void close();
    std::string gap_line(std::size_t skipped) const;

    Source source_;
    std::size_t give_up_above_;
    json::Reader& reader_;
    bool gave_up_ = false;
    std::size_t count_ = 0;

    // The headline's names, joined with ",", each once: record 0's first.
    std::string keys_;
    std::vector<std::size_t> key_offsets_;   // where each name starts in keys_
    std::vector<std::uint32_t> key_slots_;   // open addressing: name index + 1, 0 when free
    std::size_t first_count_ = 0;            // record 0's names are names 0 to first_count_ - 1
    std::vector<std::size_t> first_marks_;   // per record 0 name: the last record that had it
    std::vector<std::uint8_t> first_roles_;  // per record 0 name: its status and id roles

    // The status and id tests of member names, and the text test of short
    // values, remembered: names and many values repeat in every record.
    std::vector<Remembered> roles_, texts_;

    std::vector<Kept> printed_;                 // the records to print, in order
    std::size_t body_size_ = 0;                 // the lines after the headline, each with the "\n" before it
    std::size_t next_ = 0;                      // the first record not yet printed or counted in a gap
    std::array<Pending, kTailRecords> latest_;  // record i sits at i % kTailRecords
    bool closed_ = false;
    std::string headline_;
};

}  // namespace filters::json_payload::summary
