#include "tools/devtools/SampleDatabase.h"

#include "common/AsciiText.h"

#include <sqlite3.h>

#include <algorithm>

namespace tolbe::devtools {

using namespace tolbe::db;

std::optional<std::string> CheckImportSqlText(const std::string& sql) {
    const std::size_t nul = sql.find('\0');
    if (nul != std::string::npos) {
        const auto line = 1 + std::count(sql.begin(), sql.begin() + static_cast<std::ptrdiff_t>(nul), '\n');
        const std::size_t line_end = nul == 0 ? std::string::npos : sql.rfind('\n', nul - 1);
        const std::size_t column = line_end == std::string::npos ? nul + 1 : nul - line_end;
        return "the SQL text holds a NUL byte (line " + std::to_string(line) + ", column " + std::to_string(column) +
               "): it is not plain SQL text";
    }
    if (sqlite3_complete(sql.c_str()) == 0)
        return Trim(sql).empty()
                   ? std::string("the SQL text is empty")
                   : std::string("the SQL text does not end with a complete statement (no final \";\"): it may be cut "
                                 "short");
    return std::nullopt;
}

} // namespace tolbe::devtools
