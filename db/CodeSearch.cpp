#include "db/CodeSearch.h"

namespace tolbe::db {

namespace {

std::string ReplaceAll(const std::string& text, char what, const std::string& with) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == what)
            out += with;
        else
            out += c;
    }
    return out;
}

// A text inside '...': a quote in it would end the literal early and break the statement.
std::string QuoteSafe(const std::string& text) {
    return ReplaceAll(text, '\'', "''");
}

// A heading inside `...`, for the same reason.
std::string Alias(const std::string& text) {
    return "`" + ReplaceAll(text, '`', "``") + "`";
}

// The key word cut to kMaxKeyWordBytes, never inside a UTF-8 sequence.
std::string CutKeyWord(const std::string& key) {
    if (key.size() <= kMaxKeyWordBytes) return key;
    std::size_t end = kMaxKeyWordBytes;
    while (end > 0 && (static_cast<unsigned char>(key[end]) & 0xC0u) == 0x80u)
        --end;
    return key.substr(0, end);
}

} // namespace

std::string GetLikeStr(const std::string& key) {
    // The backslash goes first so the escapes added for "%" are not themselves escaped.
    std::string s = ReplaceAll(key, '\\', "\\\\");
    s = ReplaceAll(s, '%', "\\%");
    // "_" would match any one character: a search for "_" must find underscores, not every name.
    s = ReplaceAll(s, '_', "\\_");
    s = ReplaceAll(s, ' ', "%");
    return "'%" + QuoteSafe(s) + "%'";
}

namespace {

std::string Statement(const std::string& device, const std::string& brand, const std::string& model,
                      const std::string& alias155, const std::string& alias156, const std::string& alias157,
                      int rowLimit, const char* extraColumns) {
    const std::string dev = device.empty() ? std::string("DVD") : CutKeyWord(device);
    std::string sql = "Select SourceID,SetOfCodeID,DeviceName " + Alias(alias155);
    sql += ",BrandName " + Alias(alias156);
    sql += ",ModelName " + Alias(alias157);
    sql += ",CodeDate";
    sql += extraColumns;
    sql += " From M_SetOfCodes where ";
    sql += "DeviceName like '" + QuoteSafe(dev) + "%'";
    if (!brand.empty()) sql += " and BrandName like " + GetLikeStr(CutKeyWord(brand)) + " ESCAPE '\\'";
    if (!model.empty()) sql += " and ModelName like " + GetLikeStr(CutKeyWord(model)) + " ESCAPE '\\'";
    sql += " and IsValid=1 order by CodeDate DESC";
    if (rowLimit > 0) sql += " LIMIT 0," + std::to_string(rowLimit);
    return sql;
}

} // namespace

std::string BuildSearchStatement(const std::string& device, const std::string& brand, const std::string& model,
                                 const std::string& alias155, const std::string& alias156, const std::string& alias157,
                                 int rowLimit) {
    return Statement(device, brand, model, alias155, alias156, alias157, rowLimit, "");
}

DbRecordset SearchSetOfCodes(const DbConnection& conn, const std::string& device, const std::string& brand,
                             const std::string& model, const std::string& alias155, const std::string& alias156,
                             const std::string& alias157, int rowLimit) {
    return conn.OpenRecordset(BuildSearchStatement(device, brand, model, alias155, alias156, alias157, rowLimit),
                              false);
}

DbRecordset SearchWithSources(const DbConnection& conn, const std::string& device, const std::string& brand) {
    return conn.OpenRecordset(Statement(device, brand, {}, "Device", "Brand", "Model", 0, ",Source"), false);
}

std::vector<std::string> ListBrands(const DbConnection& conn, const std::string& device, const std::string& brandKey) {
    const std::string dev = device.empty() ? std::string("DVD") : CutKeyWord(device);
    std::string sql = "Select distinct BrandName From M_SetOfCodes where DeviceName like '" + QuoteSafe(dev) + "%'";
    if (!brandKey.empty()) sql += " and BrandName like " + GetLikeStr(CutKeyWord(brandKey)) + " ESCAPE '\\'";
    sql += " and IsValid=1 and BrandName is not null and BrandName<>'' order by BrandName collate nocase, BrandName";
    const DbRecordset rs = conn.OpenRecordset(sql, false);
    std::vector<std::string> brands;
    brands.reserve(static_cast<std::size_t>(rs.RecordCount()));
    for (int r = 0; r < rs.RecordCount(); ++r)
        brands.push_back(rs.ValueAt(r, 0).Text());
    return brands;
}

} // namespace tolbe::db
