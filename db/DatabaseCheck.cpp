#include "db/DatabaseCheck.h"

#include "common/AsciiText.h"
#include "common/AtomicFile.h"
#include "common/FileLock.h"
#include "common/HexText.h"
#include "common/PathText.h"
#include "common/ProgramPaths.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

namespace tolbe::db {
namespace {

// What the program's queries need of each table. `named`: columns a query names; `columns`: how
// many columns a "Select *" reader needs; `positions`: the positions it reads, where none of the
// named columns may stand (SourceID where the key-map number is read would encode nonsense).
struct TableNeeds {
    std::string_view table;
    std::vector<std::string_view> named;
    int columns = 0;
    std::vector<int> positions;
    bool required = true;
};

const std::vector<TableNeeds>& Needs() {
    static const std::vector<TableNeeds> needs = {
        {"M_DeviceTypes", {}, 2, {1}},
        {"M_SetOfCodes",
         {"SetOfCodeID", "SourceID", "DeviceName", "BrandName", "ModelName", "CodeDate", "IsValid", "Source"},
         0,
         {}},
        {"M_RCUInfo", {"ModelNameID"}, 4, {3}},
        // The key's name, where a table has one, is the column after the three named ones.
        {"M_RCUFuncKey", {"ModelNameID", "RCUModelID", "RCUKeyMapID"}, 3, {4}},
        {"M_CodeLink", {"SourceID"}, 7, {2, 3, 4, 6}},
        {"M_Protocol", {"ProtocolName"}, 3, {2}},
        {"M_Version", {}, 2, {1}, false},
    };
    return needs;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && sqlite3_strnicmp(a.data(), b.data(), static_cast<int>(a.size())) == 0;
}

// ---- tokens of a CREATE statement ----

struct Token {
    std::string text;  // a word in upper case, a quoted name without its quotes, or one character
    bool word = false; // a bare word (keyword or name)
    bool name = false; // a quoted name
};

std::vector<Token> Tokens(std::string_view sql) {
    std::vector<Token> out;
    std::size_t i = 0;
    const std::size_t n = sql.size();
    while (i < n) {
        const char c = sql[i];
        if (IsBlank(c)) {
            ++i;
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            while (i < n && sql[i] != '\n')
                ++i;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            const std::size_t end = sql.find("*/", i + 2);
            i = end == std::string_view::npos ? n : end + 2;
        } else if (c == '\'' || c == '"' || c == '`' || c == '[') {
            const char close = c == '[' ? ']' : c;
            std::string text;
            ++i;
            while (i < n) {
                if (sql[i] == close) {
                    // A doubled quote stands for itself ([...] has no escape).
                    if (close != ']' && i + 1 < n && sql[i + 1] == close) {
                        text += close;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += sql[i++];
            }
            Token t;
            t.text = std::move(text);
            t.name = c != '\'';
            if (c == '\'') t.text = "'"; // a literal; its content never matters here
            out.push_back(std::move(t));
        } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || static_cast<unsigned char>(c) >= 0x80) {
            Token t;
            while (i < n && (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_' || sql[i] == '$' ||
                             static_cast<unsigned char>(sql[i]) >= 0x80))
                t.text += ToUpper(sql[i++]);
            t.word = true;
            out.push_back(std::move(t));
        } else {
            out.push_back(Token{std::string(1, c)});
            ++i;
        }
    }
    return out;
}

bool IsWord(const Token& t, std::string_view w) {
    return t.word && t.text == w;
}

std::optional<std::string> ForbiddenInIndex(const std::vector<Token>& t) {
    std::size_t i = 0;
    while (i < t.size() && !IsWord(t[i], "ON"))
        ++i;
    while (i < t.size() && t[i].text != "(")
        ++i;
    if (i == t.size()) return "an index without a column list";
    // Each indexed term: a column name, optionally COLLATE name, ASC or DESC. Anything else is an
    // expression SQLite would evaluate for every row.
    std::size_t j = i + 1;
    bool expectName = true;
    for (; j < t.size() && t[j].text != ")"; ++j) {
        const Token& tok = t[j];
        if (expectName) {
            if (!(tok.name || tok.word) || tok.text == "'") return "an expression index";
            expectName = false;
        } else if (tok.text == ",") {
            expectName = true;
        } else if (IsWord(tok, "COLLATE") && j + 1 < t.size() && (t[j + 1].word || t[j + 1].name)) {
            ++j;
        } else if (!IsWord(tok, "ASC") && !IsWord(tok, "DESC")) {
            return "an expression index";
        }
    }
    if (j == t.size()) return "an index without a column list";
    for (++j; j < t.size(); ++j)
        if (IsWord(t[j], "WHERE")) return "a partial index";
    return std::nullopt;
}

// ---- file stamps ----

std::string StampLine(const FileStamp& s) {
    return std::to_string(s.device) + ' ' + std::to_string(s.inode) + ' ' + std::to_string(s.size) + ' ' +
           std::to_string(s.mtime_ns) + ' ' + ToHex(s.pages);
}

std::vector<std::string> ReadLines(const std::filesystem::path& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    // A list of a few dozen short lines; anything much longer is not ours and is ignored.
    for (std::string line; lines.size() < 256 && std::getline(in, line);)
        if (line.size() < 256) lines.push_back(line);
    return lines;
}

constexpr std::size_t kRemembered = 16;

// Restores the connection's time limit however the check ends.
struct TimeLimit {
    const DbConnection& conn;
    ~TimeLimit() { conn.ClearLimit(); }
};

} // namespace

std::optional<std::string> ForbiddenClause(std::string_view createSql) {
    const std::vector<Token> t = Tokens(createSql);
    std::size_t i = 0;
    if (t.empty() || !IsWord(t[0], "CREATE")) return std::nullopt;
    ++i;
    while (i < t.size() && (IsWord(t[i], "TEMP") || IsWord(t[i], "TEMPORARY") || IsWord(t[i], "UNIQUE")))
        ++i;
    if (i < t.size() && IsWord(t[i], "INDEX")) return ForbiddenInIndex(t);
    if (i == t.size() || !IsWord(t[i], "TABLE")) return std::nullopt;
    for (const Token& tok : t) {
        if (IsWord(tok, "CHECK")) return std::string("a CHECK constraint");
        if (IsWord(tok, "GENERATED") || IsWord(tok, "AS")) return std::string("a generated column");
    }
    return std::nullopt;
}

bool CheckedFiles::Knows(const FileStamp& stamp) const {
    if (m_list.empty()) return false;
    const std::string line = StampLine(stamp);
    const std::vector<std::string> lines = ReadLines(m_list);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

void CheckedFiles::Remember(const FileStamp& stamp) const {
    if (m_list.empty() || !MakePrivateFolder(m_list.parent_path())) return;
    // Another copy of the program (or tolbe-cli) may be adding its file at the same moment: the
    // read, change and replace happen under one lock, so neither entry is lost.
    const FileLock lock(FileLock::For(m_list));
    if (!lock.Held()) return;
    const std::string line = StampLine(stamp);
    std::vector<std::string> lines = ReadLines(m_list);
    lines.erase(std::remove(lines.begin(), lines.end(), line), lines.end());
    lines.push_back(line);
    if (lines.size() > kRemembered) lines.erase(lines.begin(), lines.end() - kRemembered);
    std::string text;
    for (const std::string& l : lines)
        text += l + '\n';
    try {
        WriteFileAtomically(m_list, text);
    } catch (const std::filesystem::filesystem_error&) {
        // Not remembered: the next open checks the file again.
    }
}

void CheckedFiles::RememberFile(const std::filesystem::path& file) const {
    if (m_list.empty() || !OnlyThisUserCanReplace(file)) return;
    if (const auto stamp = StampOf(file)) Remember(*stamp);
}

std::string CheckCodeDatabase(const DbConnection& conn, const CheckOptions& options) {
    const TimeLimit restore{conn};
    const auto start = std::chrono::steady_clock::now();
    try {
        conn.LimitTime(start + options.timeLimit, options.stop);
        // The schema first, from the catalogue alone: nothing the file defines runs before it is
        // known to be plain tables and indexes.
        const DbRecordset objects =
            conn.OpenRecordset("select type, name, coalesce(sql, '') from sqlite_master", false);
        std::vector<std::string> tables;
        for (int r = 0; r < objects.RecordCount(); ++r) {
            const std::string type = objects.ValueAt(r, 0).Text();
            const std::string name = objects.ValueAt(r, 1).Text();
            const std::string sql = objects.ValueAt(r, 2).Text();
            if (type == "view" || type == "trigger") return "the database holds the " + type + " " + name;
            if (type == "table" && sqlite3_strnicmp(sql.c_str(), "create virtual", 14) == 0)
                return "the database holds the virtual table " + name;
            if ((type == "table" || type == "index") && !sql.empty())
                if (const auto clause = ForbiddenClause(sql))
                    return "the " + type + " " + name + " has " + *clause +
                           ", which the program does not allow in a code database";
            if (type == "table") tables.push_back(name);
        }
        // Every table, not only the program's: the integrity check below reads them all. The
        // extended list shows generated and hidden columns, which "Select *" returns too.
        // Each table's column names, in order, for the program's needs below.
        std::map<std::string, std::vector<std::string>> columnsOf;
        for (const std::string& t : tables) {
            const DbRecordset info = conn.OpenRecordset("PRAGMA table_xinfo(" + QuoteIdentifier(t) + ")", false);
            for (int r = 0; r < info.RecordCount(); ++r) {
                if (info.ValueAt(r, 6).ToInt32() != 0)
                    return "the table " + t + " has the generated or hidden column " + info.ValueAt(r, 1).Text();
                columnsOf[t].push_back(info.ValueAt(r, 1).Text());
            }
            const DbRecordset indexes = conn.OpenRecordset("PRAGMA index_list(" + QuoteIdentifier(t) + ")", false);
            for (int r = 0; r < indexes.RecordCount(); ++r) {
                const std::string index = indexes.ValueAt(r, 1).Text();
                if (indexes.ValueAt(r, 4).ToInt32() != 0) return "the index " + index + " is a partial index";
                const DbRecordset cols =
                    conn.OpenRecordset("PRAGMA index_xinfo(" + QuoteIdentifier(index) + ")", false);
                for (int c = 0; c < cols.RecordCount(); ++c)
                    if (cols.ValueAt(c, 1).ToInt32() == -2) return "the index " + index + " indexes an expression";
            }
        }
        for (const TableNeeds& need : Needs()) {
            const auto found = std::find_if(tables.begin(), tables.end(),
                                            [&](const std::string& t) { return SameName(t, need.table); });
            if (found == tables.end()) {
                if (need.required) return "table " + std::string(need.table) + " is missing";
                continue;
            }
            const std::string table(need.table);
            const std::vector<std::string>& columns = columnsOf[*found];
            const int count = static_cast<int>(columns.size());
            if (count < need.columns)
                return "table " + table + " has " + std::to_string(count) + " columns; the program reads " +
                       std::to_string(need.columns);
            for (const std::string_view named : need.named)
                if (std::none_of(columns.begin(), columns.end(),
                                 [&](const std::string& c) { return SameName(c, named); }))
                    return "table " + table + " has no column " + std::string(named);
            for (const int p : need.positions) {
                if (p >= count) continue;
                for (const std::string_view named : need.named)
                    if (SameName(columns[static_cast<std::size_t>(p)], named))
                        return "table " + table + " has " + std::string(named) + " in column " + std::to_string(p + 1) +
                               ", where the program reads another value";
            }
        }

        // The costly part, once per file: a file only this user can replace and that passed
        // before, unchanged since, is not read through again.
        const std::filesystem::path file = PathFromUtf8(conn.Path());
        const CheckedFiles checked(options.checkedList);
        const bool rememberable = !options.checkedList.empty() && OnlyThisUserCanReplace(file);
        const std::optional<FileStamp> before = rememberable ? StampOf(file) : std::nullopt;
        if (before && checked.Knows(*before)) return {};
        // A check too small for SQLite to look at the clock still honours the limit.
        if (options.stop != nullptr && options.stop->load()) return "the check was stopped";
        if (std::chrono::steady_clock::now() >= start + options.timeLimit) throw DbError("out of time");
        const DbRecordset ic = conn.OpenRecordset("PRAGMA integrity_check", false);
        if (ic.RecordCount() < 1 || ic.ValueAt(0, 0).Text() != "ok")
            return "integrity check failed: " + (ic.RecordCount() > 0 ? ic.ValueAt(0, 0).Text() : "");
        // Remembered only when nothing changed the file while it was read.
        if (before && StampOf(file) == before) checked.Remember(*before);
    } catch (const DbError& e) {
        if (conn.TimeRanOut() || std::chrono::steady_clock::now() >= start + options.timeLimit)
            return "the check did not finish within " +
                   std::to_string(std::chrono::duration_cast<std::chrono::seconds>(options.timeLimit).count()) + " s";
        if (options.stop != nullptr && options.stop->load()) return "the check was stopped";
        return "the file cannot be read as a database (" + std::string(e.what()) + ")";
    }
    return {};
}

} // namespace tolbe::db
