// Summaries of long runs of JSON records: a headline with the record count
// and the union of member names, the first and last records, every record
// that stands out, and omission markers for the rest.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "json.h"

namespace filters::json_payload::summary {

// Builds one summary from records fed one at a time, so a stream of records
// need not be held in memory: the lines of the records to print are written
// as soon as no later record can come before them, and only the latest
// three records are held, in case they turn out to be the last.
class RecordSummary {
   public:
    // `label` "jsonl" gives the headline "jsonl records=N keys=..."; any
    // other label gives "LABEL: UNIT=N keys=...". `noun` names the dropped
    // records in omission markers.
    RecordSummary(std::string_view label, std::string_view unit, std::string_view noun);

    void add(json::Value&& record);
    std::size_t count() const { return count_; }
    // The summary text; call once, after the last record.
    std::string finish(bool had_newline);

   private:
    struct Pending {
        std::size_t index = 0;
        bool keep = false;
        json::Value record;
    };

    bool stands_out(const json::Value& record);
    bool differs_from_first_shape(const json::Value& record) const;
    void note_keys(const json::Value& record);
    void write(std::size_t index, const json::Value& record);
    void write_gap(std::size_t skipped);

    std::string label_, unit_, noun_;
    std::size_t count_ = 0;
    std::string keys_;
    std::unordered_set<std::string> seen_keys_;
    std::vector<std::string> first_names_;          // record 0's member names, in order
    std::unordered_set<std::string> first_name_set_;
    std::string lines_;     // the lines after the headline, each led by "\n"
    std::size_t next_ = 0;  // the first record not yet written or counted in a gap
    std::array<Pending, 3> latest_;                // record i sits at i % 3
    std::vector<const json::Value*> walk_stack_;  // reused by every record's walk
};

// The summary of `records` in one call.
std::string summarize_records(std::string_view label, std::string_view unit, std::string_view noun,
                              std::vector<json::Value> records, bool had_newline);

// The summary of an array of at least 10 elements that are all objects;
// nothing for any other value.
std::optional<std::string> summarize_json_array(json::Value value, bool had_newline);

// A "status", "result" or "outcome" member anywhere in the value whose
// value is not an ok word, code or flag.
bool has_non_ok_status(const json::Value& value);

// An id-like member ("id", "*_id", "*uuid*", "sha256"...) anywhere in the
// value holding an opaque identifier string.
bool has_named_id_field(const json::Value& value);

// A string anywhere in the value for which `is_interesting_text` holds.
bool has_interesting_text(const json::Value& value);

// Text that mentions an error word, a URL, a path, a UUID, a long hex
// string or a ticket key.
bool is_interesting_text(std::string_view text);

}  // namespace filters::json_payload::summary
