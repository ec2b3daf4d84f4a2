#include "tests/support/TestSupport.h"

#include "db/Database.h"
#include "db/DatabaseFile.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>

namespace tolbe::test {

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        // A name beyond ASCII, as a user's folder may have: every test then carries one through.
        auto p = std::filesystem::temp_directory_path() / std::filesystem::path(u8"tolbe-tëst-Жд-");
        p += std::to_string(rd());
        if (std::filesystem::create_directory(p)) {
            m_path = p;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

std::string MemorySettingsStore::Read(const std::string& app, const std::string& section, const std::string& key,
                                      const std::string& fallback) const {
    auto it = values.find({app, section, key});
    return it != values.end() ? it->second : fallback;
}

void MemorySettingsStore::Write(const std::string& app, const std::string& section, const std::string& key,
                                const std::string& value) {
    values[{app, section, key}] = value;
    ++writes;
}

Prompt::Answer ScriptedPrompt::Show(const std::string& title, const std::string& text, Buttons buttons, Icon icon) {
    shown.push_back({title, text, buttons, icon});
    if (while_open) while_open(shown.back());
    if (!answers.empty()) {
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
}

void WriteFile(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + file.string());
    out << bytes;
}

std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + file.string());
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string SilentOutput() {
    const char* device = std::getenv("TOLBE_TEST_PCM_DEVICE");
    return device != nullptr && *device != '\0' ? device : "null";
}

std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

void MakeKeyedDatabase(const std::filesystem::path& file, const std::string& sql, const std::string& key) {
    const std::string k = key.empty() ? db::BuildDatabaseKey() : key;
    db::DbConnection::CreateDatabase(file.string(), k);
    db::DbConnection conn;
    if (!conn.OpenDatabase(file.string(), k)) throw std::runtime_error("cannot open new database " + file.string());
    if (!sql.empty()) conn.ExecuteSql(sql);
}

std::string MiniDatabaseSql(int device_types) {
    static const char* kTypes[] = {"DVD", "SAT", "AUX", "VCR", "CBL", "AUDIO", "LD", "TV", "PVR", "AMP", "PROJ", "HDD"};
    std::string sql = ReadFile(std::filesystem::path(TOLBE_SOURCE_DIR) / "data" / "schema.sql");
    for (int i = 0; i < device_types; ++i)
        sql += "INSERT INTO M_DeviceTypes VALUES(" + std::to_string(i + 1) + ",'" + kTypes[i % 12] + "');\n";
    sql += "INSERT INTO M_SetOfCodes VALUES(1,101,'TV','Samsung','UE40 Series','2019-05-01',1,'DB');\n"
           "INSERT INTO M_SetOfCodes VALUES(2,102,'TV','Philips','32PFL','2020-01-10',1,'DB');\n"
           "INSERT INTO M_SetOfCodes VALUES(3,103,'TV','Sony','KDL-40','2018-03-15',0,'DB');\n"
           "INSERT INTO M_SetOfCodes VALUES(4,104,'DVD','Pioneer','DV-410','2017-07-07',1,'MFY');\n"
           "INSERT INTO M_RCUInfo VALUES(1,1,'Tolbe 4','";
    for (int k = 1; k <= 46; ++k)
        sql += std::to_string(k) + (k < 46 ? "," : "");
    sql += "');\n";
    for (int k = 1; k <= 46; ++k)
        sql += "INSERT INTO M_RCUFuncKey VALUES(" + std::to_string(k) + ",1," + std::to_string(k) + "," +
               std::to_string(k) + ",'K" + std::to_string(k) + "');\n";
    sql += "INSERT INTO M_Protocol VALUES(1,'NEC1','A0A1A2');\n"
           "INSERT INTO M_CodeLink VALUES(1,101,13,'NEC1','','Power','0102');\n"
           "INSERT INTO M_CodeLink VALUES(2,102,13,'NEC1','','Power','0304');\n"
           "INSERT INTO M_CodeLink VALUES(3,104,3,'NEC1','','Digit 1','0506');\n";
    return sql;
}

std::string AssistantDatabaseSql() {
    std::string sql =
        MiniDatabaseSql(8) + "DELETE FROM M_SetOfCodes; DELETE FROM M_CodeLink; DELETE FROM M_RCUFuncKey;\n";
    const std::map<int, std::string> named = {{13, "Power"}, {14, "Volume +"},  {17, "Volume -"},
                                              {1, "Mute"},   {15, "Channel +"}, {16, "Channel -"}};
    for (int k = 1; k <= 46; ++k)
        sql += "INSERT INTO M_RCUFuncKey VALUES(" + std::to_string(k) + ",1," + std::to_string(k) + "," +
               std::to_string(k) + ",'" + (named.count(k) ? named.at(k) : "K" + std::to_string(k)) + "');\n";
    int row = 0;
    const auto code = [&](int source, int keymap, const std::string& data) {
        sql += "INSERT INTO M_CodeLink VALUES(" + std::to_string(++row) + "," + std::to_string(source) + "," +
               std::to_string(keymap) + ",'NEC1','','f','" + data + "');\n";
    };
    for (int source : {201, 202, 206})
        for (int keymap : {13, 14, 17, 1, 15, 16, 3})
            code(source, keymap, "01" + std::to_string(keymap % 10) + "2");
    code(202, 60, "0909");
    code(203, 13, "0A0B");
    code(203, 3, "0C0D");
    code(203, 4, "0E0F");
    code(205, 13, "0a0b");
    code(205, 3, "0c0d");
    code(205, 4, "0e0f");
    for (int keymap = 1; keymap <= 40; ++keymap)
        code(204, keymap, std::string(40, 'A'));
    sql += "INSERT INTO M_SetOfCodes VALUES(1,201,'TV','Samsung','UE40','2020-01-01',1,'DB');\n"
           "INSERT INTO M_SetOfCodes VALUES(2,203,'TV','Samsung','UE50','2021-01-01',1,'DB');\n"
           "INSERT INTO M_SetOfCodes VALUES(3,201,'TV','Samsung','UE55','2022-01-01',1,'DB');\n"
           "INSERT INTO M_SetOfCodes VALUES(4,204,'TV','Samsung','Huge','2023-01-01',1,'DB');\n"
           "INSERT INTO M_SetOfCodes VALUES(5,202,'TV/DVD','Samsung','Combo','2019-01-01',1,'DB');\n"
           "INSERT INTO M_SetOfCodes VALUES(6,205,'TV','Samsung','UE65','2018-01-01',1,'DB');\n"
           "INSERT INTO M_SetOfCodes VALUES(7,201,'TV','Sony','KDL','2024-01-01',1,'DB');\n"
           "INSERT INTO M_SetOfCodes VALUES(8,203,'TV','Samsung','Old','2024-06-01',0,'DB');\n"
           "INSERT INTO M_SetOfCodes VALUES(9,206,'TV','Samsung','UE32','2017-01-01',1,'MFY');\n";
    return sql;
}

std::string RankingDatabaseSql() {
    return AssistantDatabaseSql() +
           "INSERT INTO M_SetOfCodes VALUES(10,201,'TV','Samsung','UE40-M','2016-01-01',1,'mfy');\n"
           "INSERT INTO M_SetOfCodes VALUES(11,207,'TV','Samsung','UE70','2015-01-01',1,'DB');\n"
           "INSERT INTO M_CodeLink VALUES(900,207,13,'NEC1','','f','0A0B');\n"
           "INSERT INTO M_CodeLink VALUES(901,207,14,'NEC1','','f','0505');\n";
}

} // namespace tolbe::test
