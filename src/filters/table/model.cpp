#include "filters/table/model.h"

namespace filters::table::model {

StructuredTable make_table(Lines lines, std::size_t rows_begin, std::size_t rows_end) {
    StructuredTable t;
    t.header.reserve(rows_begin);
    t.rows.reserve(rows_end - rows_begin);
    t.footer.reserve(lines.size() - rows_end);
    for (std::size_t i = 0; i < lines.size(); ++i)
        (i < rows_begin ? t.header : i < rows_end ? t.rows : t.footer).push_back(lines[i]);
    return t;
}

}  // namespace filters::table::model
