#include "tools/devtools/SampleDatabase.h"

#include "common/AtomicFile.h"
#include "common/HexText.h"
#include "common/PathText.h"
#include "db/DatabaseFile.h"
#include "db/VersionRecord.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <random>
#include <unistd.h>
#include <vector>

namespace tolbe::devtools {

using namespace tolbe::db;

namespace {

// ---- deterministic randomness ----

// std::mt19937_64 is fully specified by the standard; the standard distributions are not, so
// the ranges are reduced here to keep the content identical across library versions.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : m_gen(seed) {}
    std::uint64_t Next() { return m_gen(); }
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
    int Range(int lo, int hi) { return lo + Below(hi - lo + 1); }
    bool Chance(int percent) { return Below(100) < percent; }
    template <class T> const T& Pick(const std::vector<T>& v) {
        return v[static_cast<std::size_t>(Below(static_cast<int>(v.size())))];
    }
    template <class T> void Shuffle(std::vector<T>& v) {
        for (std::size_t i = v.size(); i > 1; --i)
            std::swap(v[i - 1], v[static_cast<std::size_t>(Below(static_cast<int>(i)))]);
    }

private:
    std::mt19937_64 m_gen;
};

// Each part of the database draws from its own stream, so that changing the number of code
// sets leaves the protocols and the codes of the first sources as they were.
Rng Stream(std::uint64_t seed, std::uint64_t part) {
    return Rng(seed * 0x9E3779B97F4A7C15ULL + part);
}

// ---- fixed content ----

struct DeviceKind {
    const char* type;    // M_DeviceTypes name, also the start of the code sets' DeviceName
    int weight;          // share of the code sources, percent
    const char* variant; // a longer DeviceName that still starts with the type, or nullptr
    std::vector<const char*> brands;
    std::vector<const char*> models; // '#' stands for a digit, '@' for a capital letter
};

// In stored order; the device-type list selects its eighth entry, "TV".
const std::vector<DeviceKind>& DeviceKinds() {
    static const std::vector<DeviceKind> kinds = {
        {"DVD",
         14,
         "DVD Recorder",
         {"Pioneer", "Sony", "Samsung", "Philips", "LG", "Panasonic", "Toshiba", "Denon", "Yamaha", "Onkyo", "Marantz",
          "Medion", "Cambridge Audio"},
         {"DV-###", "DVD-@###", "BDP-S###", "DMR-EX###", "@@-DVD###", "BD-@###"}},
        {"SAT",
         15,
         "SAT HD",
         {"Humax", "Technisat", "Kathrein", "Dreambox", "Vu+", "Topfield", "Skymaster", "Edision", "Strong", "Xoro",
          "Comag", "Triax", "Opticum"},
         {"@@@ ####", "Digit HD# @", "UFS ###", "HD-####@", "DM ###HD", "@@-####S2"}},
        {"AUX",
         5,
         nullptr,
         {"Apple", "Roku", "Xiaomi", "Nvidia", "Amazon", "Western Digital", "Popcorn Hour", "Dune HD", "Zappiti"},
         {"Gen #", "@@-###", "Stick #@", "Box ## Pro", "HD ####"}},
        {"VCR",
         7,
         nullptr,
         {"JVC", "Panasonic", "Grundig", "Sony", "Akai", "Funai", "Sharp", "Samsung", "Philips", "Thomson"},
         {"HR-@####", "NV-@###", "VR ####", "SLV-@###", "@@-##"}},
        {"CBL",
         6,
         nullptr,
         {"Motorola", "Scientific Atlanta", "Pace", "Arris", "Cisco", "Humax", "Samsung", "Thomson"},
         {"DCT####", "Explorer ####", "@@-###", "DC@ ####", "TDC-###"}},
        {"AUDIO",
         9,
         "AUDIO Soundbar",
         {"Onkyo", "Yamaha", "Denon", "Marantz", "Harman Kardon", "Teac", "Technics", "Cambridge Audio", "NAD",
          "Pioneer", "Sony", "Teufel"},
         {"RX-V###", "AVR-####", "TX-SR###", "SR####", "@@-###", "CD-###"}},
        {"LD", 1, nullptr, {"Pioneer", "Sony", "Philips", "Yamaha"}, {"CLD-@###", "LV-####", "MDP-###"}},
        {"TV",
         30,
         "TV/DVD",
         {"Samsung", "Philips", "Sony",    "LG",        "Panasonic", "Toshiba",        "Sharp",
          "Grundig", "Thomson", "Hitachi", "Loewe",     "Metz",      "Bang & Olufsen", "Telefunken",
          "Medion",  "Hisense", "TCL",     "Blaupunkt", "JVC",       "D'Accord"},
         {"UE##@####", "##PFL####", "KDL-##@###", "##@@###@", "TX-##@@###", "LC-##@####", "@@##-@###"}},
        {"PVR",
         4,
         nullptr,
         {"Humax", "Topfield", "Panasonic", "TiVo", "Technisat", "Samsung"},
         {"PVR-####", "DR-@###", "TF ####", "Series #"}},
        {"AMP",
         5,
         nullptr,
         {"Yamaha", "Denon", "Marantz", "Onkyo", "NAD", "Rotel", "Arcam", "Cambridge Audio", "Harman Kardon"},
         {"A-S###", "PMA-###", "PM####", "C ###@", "@-###"}},
        {"PROJ",
         3,
         nullptr,
         {"Epson", "BenQ", "Optoma", "Acer", "ViewSonic", "Sony", "NEC"},
         {"EH-TW####", "W####", "HD##", "@@-####"}},
        {"HDD",
         1,
         nullptr,
         {"Western Digital", "Seagate", "Iomega", "Medion", "LaCie"},
         {"My Book ###", "HDD-@###", "@@ ####"}},
    };
    return kinds;
}

constexpr int kTvKind = 7;
constexpr int kAudioKind = 5;

struct ProtocolKind {
    const char* name;
    int data_bytes;
    bool primary; // may be a code's first protocol
};

// "NECx2" and "NECX2" differ only in letter case, so a case-blind look-up of either finds two
// rows; they only ever appear as a code's second protocol.
const std::vector<ProtocolKind>& ProtocolKinds() {
    static const std::vector<ProtocolKind> kinds = {
        {"NEC1", 12, true},     {"NEC2", 12, true},       {"NECx1", 14, true},     {"NECx2", 14, false},
        {"NECX2", 16, false},   {"RC5", 8, true},         {"RC5x", 10, true},      {"RC6", 10, true},
        {"RC6-6-20", 18, true}, {"SIRC12", 9, true},      {"SIRC15", 9, true},     {"SIRC20", 11, true},
        {"JVC", 10, true},      {"Sharp", 12, true},      {"Panasonic", 16, true}, {"Kaseikyo", 20, true},
        {"Denon", 12, true},    {"Mitsubishi", 10, true}, {"Samsung36", 14, true}, {"RCA", 10, true},
        {"Nokia32", 12, true},  {"Thomson", 8, true},     {"Sanyo", 10, true},     {"Aiwa", 12, true},
        {"Pioneer", 14, true},  {"Grundig16", 8, true},   {"Blaupunkt", 10, true}, {"RECS80", 6, true},
        {"XMP", 24, true},      {"Humax4", 12, true},
    };
    return kinds;
}

bool Resolvable(int protocol) {
    return ProtocolKinds()[static_cast<std::size_t>(protocol)].primary;
}

// Function names of the key-map numbers 1 to 64; 1 to 46 are the remote's, the rest are codes
// the database holds for other remotes.
constexpr std::array<const char*, 64> kFunctionNames = {
    "Mute",     "0",       "1",       "2",        "3",         "4",         "5",        "6",      "7",          "8",
    "9",        "Menu",    "Power",   "Volume +", "Channel +", "Channel -", "Volume -", "OK",     "Up",         "Down",
    "Left",     "Right",   "Exit",    "-/--",     "Input",     "Red",       "Green",    "Yellow", "Blue",       "Info",
    "Guide",    "Back",    "Text",    "Subtitle", "Audio",     "Sleep",     "Picture",  "Play",   "Pause",      "Stop",
    "Rewind",   "Forward", "Record",  "Eject",    "Previous",  "Next",      "Setup",    "Home",   "Favourites", "List",
    "Zoom",     "Aspect",  "Display", "Repeat",   "Random",    "Title",     "Top Menu", "Angle",  "Tuner",      "Radio",
    "TV/Radio", "PIP",     "Freeze",  "Timer",
};
constexpr int kKeyMapNumbers = static_cast<int>(kFunctionNames.size());

// The key-map number on each of the remote's 46 keys, in the remote's key order. It agrees with
// the encoder's default orders: the TV/SAT default wherever that is not empty, else the DVD/AUX
// default, and Yellow and Blue on the two keys that both defaults leave empty.
constexpr std::array<int, 46> kRemoteKeyMap = {
    13, 3,  4,  5,  6,  7,  8,  9,  10, 11, 2,  24, 1,  14, 46, 32, 35, 25, 12, 17, 18, 15, 16,
    19, 20, 21, 22, 23, 40, 39, 42, 41, 38, 43, 12, 39, 27, 28, 29, 26, 30, 33, 40, 41, 43, 42,
};
constexpr int kRemoteKeys = static_cast<int>(kRemoteKeyMap.size());
constexpr int kRemoteModel = 1;

// The remote numbers its keys differently from their stored order.
int RemoteKeyNumber(int position) {
    return (position * 7) % kRemoteKeys + 1;
}

// Key-map numbers in the order in which a code source most likely has them (power and digits
// first), used to pick which keys a small code set covers.
constexpr std::array<int, 40> kImportance = {13, 3,  4,  5,  6,  7,  8,  9,  10, 11, 2,  14, 17, 15,
                                             16, 1,  12, 18, 19, 20, 21, 22, 23, 24, 25, 30, 26, 27,
                                             28, 29, 32, 33, 35, 38, 39, 40, 41, 42, 43, 46};

int Multiplicity(int keymap) {
    return static_cast<int>(std::count(kRemoteKeyMap.begin(), kRemoteKeyMap.end(), keymap));
}

// A code record without any code: header, 46 addresses, 46 empty keys, trailer.
constexpr int kEmptyRecordBytes = 6 + 2 * kRemoteKeys + 2 * kRemoteKeys + 4;
constexpr int kMaxRecordBytes = 767;

// ---- code sources ----

struct Code {
    int keymap = 0;
    int protocol1 = 0;
    int protocol2 = -1;
    int bytes = 0;
};

struct SourcePlan {
    int kind = 0;
    int brand = 0;
};

// Record length with the remote's own key order, as the download would build it.
int RecordBytes(const std::vector<Code>& codes) {
    int length = kEmptyRecordBytes;
    std::vector<int> protocols;
    for (int keymap : kRemoteKeyMap) {
        const auto it = std::find_if(codes.begin(), codes.end(), [&](const Code& c) { return c.keymap == keymap; });
        if (it == codes.end()) continue;
        length += it->bytes + 3;
        for (int p : {it->protocol1, it->protocol2})
            if (p >= 0 && Resolvable(p) && std::find(protocols.begin(), protocols.end(), p) == protocols.end()) {
                protocols.push_back(p);
                length += ProtocolKinds()[static_cast<std::size_t>(p)].data_bytes;
            }
    }
    return length;
}

int PickPrimaryProtocol(Rng& rng, int other) {
    const int n = static_cast<int>(ProtocolKinds().size());
    for (;;) {
        const int p = rng.Below(n);
        if (Resolvable(p) && p != other) return p;
    }
}

// The codes of one source. Without a fixed count, each source aims at a record length drawn
// from the 64-byte block counts, with a few records too long for the remote.
std::vector<Code> MakeSourceCodes(Rng& rng, int codes_per_source) {
    const int first = PickPrimaryProtocol(rng, -1);
    const int alternate = rng.Chance(12) ? PickPrimaryProtocol(rng, first) : -1;
    int second = -1;
    if (rng.Chance(15)) {
        do
            second = rng.Below(static_cast<int>(ProtocolKinds().size()));
        while (second == first);
    }
    auto proto_bytes = [](int p) {
        return p >= 0 && Resolvable(p) ? ProtocolKinds()[static_cast<std::size_t>(p)].data_bytes : 0;
    };
    const int protocol_bytes = proto_bytes(first) + proto_bytes(alternate) + proto_bytes(second);

    int total = 0;
    int on_remote = 0;
    int target = 0;
    int lo = 0;
    int hi = 1 << 20;
    if (codes_per_source > 0) {
        total = std::clamp(codes_per_source + rng.Range(-3, 3), 1, kKeyMapNumbers);
        on_remote = std::min(total, static_cast<int>(kImportance.size()));
        target = kEmptyRecordBytes + protocol_bytes + on_remote * rng.Range(4, 22);
    } else {
        if (rng.Chance(4)) {
            lo = kMaxRecordBytes + 20;
            hi = 960;
        } else {
            const int blocks = rng.Range(4, 12);
            lo = std::max(kEmptyRecordBytes + 16, 64 * (blocks - 1) + 1);
            hi = std::min(kMaxRecordBytes, 64 * blocks);
        }
        target = rng.Range(lo + 6, hi - 6);
        const int average = rng.Range(1, 12) + 3;
        on_remote = std::clamp((target - kEmptyRecordBytes - protocol_bytes) * 100 / (average * 115), 1,
                               static_cast<int>(kImportance.size()));
        total = on_remote + rng.Range(0, 4);
    }

    // The keys this source covers: mostly the important ones, with some variety.
    std::vector<std::pair<int, int>> ranked;
    for (std::size_t i = 0; i < kImportance.size(); ++i)
        ranked.emplace_back(static_cast<int>(i) + rng.Range(0, 15), kImportance[i]);
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

    std::vector<Code> codes;
    int positions = 0;
    for (int i = 0; i < on_remote; ++i)
        positions += Multiplicity(ranked[static_cast<std::size_t>(i)].second);
    int remaining = target - kEmptyRecordBytes - protocol_bytes;
    for (int i = 0; i < on_remote; ++i) {
        const int keymap = ranked[static_cast<std::size_t>(i)].second;
        const int m = Multiplicity(keymap);
        // Spread the remaining length evenly over the remaining key positions.
        int bytes =
            i + 1 == on_remote ? remaining / m - 3 : (remaining + positions / 2) / positions - 3 + rng.Range(-1, 1);
        bytes = std::clamp(bytes, 1, 24);
        remaining -= m * (bytes + 3);
        positions -= m;
        Code c;
        c.keymap = keymap;
        c.bytes = bytes;
        c.protocol1 = alternate >= 0 && rng.Chance(30) ? alternate : first;
        c.protocol2 = second >= 0 && rng.Chance(40) ? second : -1;
        codes.push_back(c);
    }
    // The even spread lands near the target; single bytes move the record into its block count.
    for (int guard = 0; guard < 1000; ++guard) {
        const int length = RecordBytes(codes);
        if (length > hi) {
            auto it = std::max_element(codes.begin(), codes.end(),
                                       [](const Code& a, const Code& b) { return a.bytes < b.bytes; });
            if (it == codes.end() || it->bytes <= 1) break;
            --it->bytes;
        } else if (length < lo) {
            auto it = std::min_element(codes.begin(), codes.end(),
                                       [](const Code& a, const Code& b) { return a.bytes < b.bytes; });
            if (it == codes.end() || it->bytes >= 24) break;
            ++it->bytes;
        } else {
            break;
        }
    }
    // Codes the remote has no key for.
    std::vector<int> others;
    for (int k = 1; k <= kKeyMapNumbers; ++k)
        if (Multiplicity(k) == 0) others.push_back(k);
    rng.Shuffle(others);
    for (int i = 0; i < total - on_remote && i < static_cast<int>(others.size()); ++i) {
        Code c;
        c.keymap = others[static_cast<std::size_t>(i)];
        c.bytes = rng.Range(2, 8);
        c.protocol1 = first;
        codes.push_back(c);
    }
    std::sort(codes.begin(), codes.end(), [](const Code& a, const Code& b) { return a.keymap < b.keymap; });
    return codes;
}

std::string HexBytes(Rng& rng, int n, bool lower_case) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(n));
    for (std::uint8_t& b : bytes)
        b = static_cast<std::uint8_t>(rng.Below(256));
    return ToHex(bytes, lower_case ? LetterCase::Lower : LetterCase::Upper);
}

std::string ModelName(Rng& rng, const char* pattern) {
    std::string s;
    for (const char* p = pattern; *p != '\0'; ++p) {
        if (*p == '#')
            s += static_cast<char>('0' + rng.Below(10));
        else if (*p == '@')
            s += static_cast<char>('A' + rng.Below(26));
        else
            s += *p;
    }
    return s;
}

std::string CodeDate(Rng& rng) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", rng.Range(1995, 2024), rng.Range(1, 12), rng.Range(1, 28));
    return buf;
}

const char* SourceText(Rng& rng, bool* is_null) {
    *is_null = false;
    const int r = rng.Below(100);
    if (r < 70) return "DB";
    if (r < 82) return "MFY";
    if (r < 85) return "mfy";
    if (r < 87) return "Mfy";
    if (r < 96) return "Learned";
    if (r < 99) return "";
    *is_null = true;
    return "";
}

int PickKind(Rng& rng) {
    int r = rng.Below(100);
    const auto& kinds = DeviceKinds();
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        if (r < kinds[i].weight) return static_cast<int>(i);
        r -= kinds[i].weight;
    }
    return kTvKind;
}

// The date written into the version record; fixed so that the content depends on the seed only.
constexpr const char* kVersionDate = "2024-05-20";

std::string PartPath(const std::string& out_path) {
    return TempPathFor(PathFromUtf8(out_path)).string();
}

void RemoveQuietly(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(PathFromUtf8(path), ec);
    std::filesystem::remove(PathFromUtf8(path + "-journal"), ec);
}

// Builds a new keyed database beside `out_path` with `fill`, then moves it into place.
template <class Fill>
void BuildDatabaseFile(const std::string& out_path, bool overwrite, const std::string& key, Fill fill,
                       bool code_database = false) {
    std::error_code ec;
    if (!overwrite && std::filesystem::exists(PathFromUtf8(out_path), ec))
        throw DbError("the file exists (use overwrite to replace it): " + out_path);
    const auto folder = PathFromUtf8(out_path).parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec))
        throw DbError("the folder " + folder.string() + " does not exist");
    const std::string part = PartPath(out_path);
    RemoveQuietly(part);
    const std::string k = key.empty() ? BuildDatabaseKey() : key;
    try {
        DbConnection::CreateDatabase(part, k);
        {
            DbConnection conn;
            if (!conn.OpenDatabase(part, k, true)) throw DbError("cannot open the new database " + part);
            fill(conn);
        }
        // Whatever the filling ran, only a file that opens with the key may take the name.
        if (!DbConnection().OpenDatabase(part, k, true))
            throw DbError("the new database does not open with the key; nothing written");
        // A file from outside becomes a database only when it is a code database the program can use.
        if (const Status checked = code_database ? TryVerifyDatabaseFile(part, k) : Ok(); !checked)
            throw DbError("the SQL text does not make a code database (" + checked.Error() + "); nothing written");
        CommitFile(PathFromUtf8(part), PathFromUtf8(out_path));
    } catch (const std::filesystem::filesystem_error& e) {
        RemoveQuietly(part);
        throw DbError(e.what());
    } catch (...) {
        RemoveQuietly(part);
        throw;
    }
}

void FillSample(DbConnection& conn, const SampleOptions& opt, int sources) {
    // The file is new and discarded on failure, so it needs no rollback journal.
    conn.ExecuteSql("PRAGMA journal_mode = MEMORY; PRAGMA synchronous = OFF;");
    conn.ExecuteSql("PRAGMA cache_size = -65536;");
    conn.ExecuteSql("BEGIN");
    conn.ExecuteSql(std::string(CodeDatabaseSchema()));
    conn.ExecuteSql(VersionTableStatement(kVersionDate));
    // Indexes are built once after the rows: updating them row by row costs far more.
    const DbRecordset indexes = conn.OpenRecordset(
        "SELECT name,sql FROM sqlite_master WHERE type='index' AND sql IS NOT NULL ORDER BY rowid", false);
    for (int r = 0; r < indexes.RecordCount(); ++r)
        conn.ExecuteSql("DROP INDEX " + QuoteIdentifier(indexes.ValueAt(r, 0).Text()));

    const auto& kinds = DeviceKinds();
    {
        DbCommand cmd = conn.CreateCommand("INSERT INTO M_DeviceTypes VALUES(?,?)");
        for (std::size_t i = 0; i < kinds.size(); ++i) {
            cmd.SetText(1, std::to_string(i + 1));
            cmd.SetText(2, kinds[i].type);
            cmd.ExecuteCommand();
        }
    }
    {
        Rng rng = Stream(opt.seed, 1);
        DbCommand cmd = conn.CreateCommand("INSERT INTO M_Protocol VALUES(?,?,?)");
        const auto& protocols = ProtocolKinds();
        for (std::size_t i = 0; i < protocols.size(); ++i) {
            cmd.SetText(1, std::to_string(i + 1));
            cmd.SetText(2, protocols[i].name);
            cmd.SetText(3, HexBytes(rng, protocols[i].data_bytes, false));
            cmd.ExecuteCommand();
        }
    }
    {
        std::string order;
        for (int p = 0; p < kRemoteKeys; ++p)
            order += (p > 0 ? "," : "") + std::to_string(RemoteKeyNumber(p));
        DbCommand info = conn.CreateCommand("INSERT INTO M_RCUInfo VALUES(?,?,?,?)");
        info.SetText(1, "1");
        info.SetText(2, std::to_string(kRemoteModel));
        info.SetText(3, "Tolbe 4");
        info.SetText(4, order);
        info.ExecuteCommand();

        DbCommand key = conn.CreateCommand("INSERT INTO M_RCUFuncKey VALUES(?,?,?,?,?)");
        for (int number = 1; number <= kRemoteKeys; ++number) {
            int position = 0;
            while (RemoteKeyNumber(position) != number)
                ++position;
            const int keymap = kRemoteKeyMap[static_cast<std::size_t>(position)];
            key.SetText(1, std::to_string(number));
            key.SetText(2, std::to_string(kRemoteModel));
            key.SetText(3, std::to_string(number));
            key.SetText(4, std::to_string(keymap));
            key.SetText(5, kFunctionNames[static_cast<std::size_t>(keymap - 1)]);
            key.ExecuteCommand();
        }
    }

    constexpr int kFirstSourceId = 10001;
    {
        Rng rng = Stream(opt.seed, 2);
        DbCommand with_second = conn.CreateCommand("INSERT INTO M_CodeLink VALUES(?,?,?,?,?,?,?)");
        DbCommand null_second = conn.CreateCommand("INSERT INTO M_CodeLink VALUES(?,?,?,?,NULL,?,?)");
        const auto& protocols = ProtocolKinds();
        long long row = 0;
        for (int s = 0; s < sources; ++s) {
            const std::vector<Code> codes = MakeSourceCodes(rng, opt.codes_per_source);
            const bool lower_case = rng.Chance(5);
            const bool none_is_null = rng.Chance(50); // both spellings of "no second protocol" occur
            for (const Code& c : codes) {
                const bool is_null = c.protocol2 < 0 && none_is_null;
                DbCommand& cmd = is_null ? null_second : with_second;
                int n = 1;
                cmd.SetText(n++, std::to_string(++row));
                cmd.SetText(n++, std::to_string(kFirstSourceId + s));
                cmd.SetText(n++, std::to_string(c.keymap));
                cmd.SetText(n++, protocols[static_cast<std::size_t>(c.protocol1)].name);
                if (!is_null)
                    cmd.SetText(n++, c.protocol2 >= 0 ? protocols[static_cast<std::size_t>(c.protocol2)].name : "");
                cmd.SetText(n++, kFunctionNames[static_cast<std::size_t>(c.keymap - 1)]);
                cmd.SetText(n++, HexBytes(rng, c.bytes, lower_case));
                cmd.ExecuteCommand();
            }
        }
    }
    {
        Rng rng = Stream(opt.seed, 3);
        std::vector<SourcePlan> plans(static_cast<std::size_t>(sources));
        for (std::size_t s = 0; s < plans.size(); ++s) {
            // The first two code sets carry the awkward names: a quote in a brand, a percent sign in a model.
            plans[s].kind = s == 0 ? kTvKind : s == 1 ? kAudioKind : PickKind(rng);
            plans[s].brand = rng.Below(static_cast<int>(kinds[static_cast<std::size_t>(plans[s].kind)].brands.size()));
        }

        // Every source has a code set; the rest share sources at random.
        std::vector<int> owner;
        for (int s = 0; s < sources; ++s)
            owner.push_back(s);
        while (static_cast<int>(owner.size()) < opt.code_sets)
            owner.push_back(rng.Below(sources));
        rng.Shuffle(owner);
        for (int s = 0; s < std::min(2, sources); ++s)
            std::swap(owner[static_cast<std::size_t>(s)], *std::find(owner.begin() + s, owner.end(), s));

        DbCommand with_source = conn.CreateCommand("INSERT INTO M_SetOfCodes VALUES(?,?,?,?,?,?,?,?)");
        DbCommand null_source = conn.CreateCommand("INSERT INTO M_SetOfCodes VALUES(?,?,?,?,?,?,?,NULL)");
        for (int i = 0; i < opt.code_sets; ++i) {
            const int s = owner[static_cast<std::size_t>(i)];
            const SourcePlan& plan = plans[static_cast<std::size_t>(s)];
            const DeviceKind& kind = kinds[static_cast<std::size_t>(plan.kind)];
            std::string device = kind.variant != nullptr && rng.Chance(8) ? kind.variant : kind.type;
            // Rebadged devices: the same codes under another brand of the same kind.
            std::string brand = kind.brands[static_cast<std::size_t>(
                rng.Chance(80) ? plan.brand : rng.Below(static_cast<int>(kind.brands.size())))];
            std::string model = ModelName(rng, rng.Pick(kind.models));
            std::string date = CodeDate(rng);
            bool valid = !rng.Chance(8);
            bool source_null = false;
            std::string source = SourceText(rng, &source_null);
            if (i == 0) {
                brand = "D'Accord";
                device = kind.type;
            } else if (i == 1 && sources > 1) {
                brand = "Teufel";
                model = "Sound 50%";
                device = kind.type;
            }
            if (i < 2) {
                valid = true;
                source = "DB";
                source_null = false;
            }
            DbCommand& cmd = source_null ? null_source : with_source;
            cmd.SetText(1, std::to_string(i + 1));
            cmd.SetText(2, std::to_string(kFirstSourceId + s));
            cmd.SetText(3, device);
            cmd.SetText(4, brand);
            cmd.SetText(5, model);
            cmd.SetText(6, date);
            cmd.SetText(7, valid ? "1" : "0");
            if (!source_null) cmd.SetText(8, source);
            cmd.ExecuteCommand();
        }
    }
    {
        DbCommand cmd = conn.CreateCommand("INSERT INTO M_Version VALUES(?,?,?,?)");
        cmd.SetText(1, "1");
        cmd.SetText(2, std::to_string(opt.version));
        cmd.SetText(3, kVersionDate);
        cmd.ExecuteCommand();
    }
    for (int r = 0; r < indexes.RecordCount(); ++r)
        conn.ExecuteSql(indexes.ValueAt(r, 1).Text());
    conn.ExecuteSql("COMMIT");
}

// ---- SQL text ----

// A real number as a literal that reads back to the same double.
std::string RealLiteral(double v) {
    if (std::isinf(v)) return v > 0 ? "1e999" : "-1e999";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    std::string s = buf;
    if (s.find_first_of(".eE") == std::string::npos) s += ".0";
    return s;
}

// Per column: its type, and either the real value or a ready literal. SQLite's quote() handles
// texts, blobs and whole numbers; reals are formatted here because older SQLite versions round
// them to 15 digits, and texts holding NUL bytes go through a blob so they are not cut short.
std::string ColumnExpressions(const std::vector<std::string>& columns) {
    std::string e;
    for (const auto& col : columns) {
        const std::string c = QuoteIdentifier(col);
        e += ",typeof(" + c + "),CASE WHEN typeof(" + c + ")='real' THEN " + c + " WHEN typeof(" + c +
             ")='text' AND instr(CAST(" + c + " AS BLOB),x'00')>0 THEN 'CAST('||quote(CAST(" + c +
             " AS BLOB))||' AS TEXT)' ELSE quote(" + c + ") END";
    }
    return e;
}

void ExportRows(const DbConnection& conn, const std::string& table, std::ostream& out) {
    const std::string t = QuoteIdentifier(table);
    const DbRecordset shape = conn.OpenRecordset("SELECT * FROM " + t + " LIMIT 0", false);
    std::vector<std::string> columns;
    for (int c = 0; c < shape.ColumnCount(); ++c)
        columns.push_back(shape.ColumnName(c));
    const std::string exprs = ColumnExpressions(columns);

    auto write_rows = [&](const DbRecordset& rs, int first_column) {
        for (int r = 0; r < rs.RecordCount(); ++r) {
            out << "INSERT INTO " << t << " VALUES(";
            for (std::size_t c = 0; c < columns.size(); ++c) {
                const int at = first_column + 2 * static_cast<int>(c);
                if (c > 0) out << ',';
                if (rs.ValueAt(r, at).Text() == "real")
                    out << RealLiteral(rs.ValueAt(r, at + 1).Number());
                else
                    out << rs.ValueAt(r, at + 1).Text();
            }
            out << ");\n";
        }
    };

    // Pages in rowid order keep memory bounded on large tables; a table without rowids is
    // read at once.
    bool has_rowid = true;
    try {
        conn.OpenRecordset("SELECT _rowid_ FROM " + t + " LIMIT 0", false);
    } catch (const DbError&) {
        has_rowid = false;
    }
    if (!has_rowid) {
        write_rows(conn.OpenRecordset("SELECT " + exprs.substr(1) + " FROM " + t, false), 0);
        return;
    }
    constexpr int kPageRows = 4096;
    std::int64_t last = 0;
    bool first_page = true;
    for (;;) {
        const std::string where = first_page ? "" : " WHERE _rowid_>" + std::to_string(last);
        const DbRecordset rs = conn.OpenRecordset("SELECT _rowid_" + exprs + " FROM " + t + where +
                                                      " ORDER BY _rowid_ LIMIT " + std::to_string(kPageRows),
                                                  false);
        write_rows(rs, 1);
        if (rs.RecordCount() < kPageRows) break;
        // Exactly: row numbers beyond 2^53 have no exact double, and a rounded one skips rows.
        last = rs.ValueAt(rs.RecordCount() - 1, 0).Int64();
        first_page = false;
    }
}

} // namespace

SampleOptions LargeBenchmarkOptions() {
    SampleOptions opt;
    opt.code_sets = 200000;
    opt.sources = 20000;
    opt.codes_per_source = 40;
    opt.seed = 7;
    return opt;
}

void GenerateSampleDatabase(const std::string& out_path, const SampleOptions& opt) {
    if (opt.code_sets < 1) throw DbError("the number of code sets must be at least 1");
    const int sources = opt.sources > 0 ? opt.sources : std::max(1, opt.code_sets * 2 / 3);
    if (opt.sources < 0) throw DbError("the number of code sources must not be negative");
    if (sources > opt.code_sets)
        throw DbError("there cannot be more code sources (" + std::to_string(sources) + ") than code sets (" +
                      std::to_string(opt.code_sets) + ")");
    if (opt.codes_per_source < 0 || opt.codes_per_source > kKeyMapNumbers)
        throw DbError("codes per source must be between 1 and " + std::to_string(kKeyMapNumbers));
    BuildDatabaseFile(out_path, opt.overwrite, opt.key, [&](DbConnection& conn) { FillSample(conn, opt, sources); });
}

void ExportDatabaseSql(const DbConnection& conn, std::ostream& out) {
    const DbRecordset master =
        conn.OpenRecordset("SELECT type,name,sql FROM sqlite_master WHERE sql IS NOT NULL ORDER BY rowid", false);
    out << "PRAGMA foreign_keys=OFF;\nBEGIN TRANSACTION;\n";
    bool has_sequence = false;
    bool analysed = false;
    for (int r = 0; r < master.RecordCount(); ++r) {
        if (master.ValueAt(r, 0).Text() != "table") continue;
        const std::string name = master.ValueAt(r, 1).Text();
        if (name == "sqlite_sequence") {
            // Written last: inserting into an AUTOINCREMENT table moves its counter.
            has_sequence = true;
            continue;
        }
        if (name.rfind("sqlite_stat", 0) == 0) {
            // Statistics tables cannot be created by name; ANALYZE makes them.
            if (!analysed) out << "ANALYZE sqlite_master;\n";
            analysed = true;
        } else if (name.rfind("sqlite_", 0) == 0) {
            continue;
        } else {
            out << master.ValueAt(r, 2).Text() << ";\n";
        }
        ExportRows(conn, name, out);
    }
    if (has_sequence) {
        out << "DELETE FROM sqlite_sequence;\n";
        ExportRows(conn, "sqlite_sequence", out);
    }
    for (int r = 0; r < master.RecordCount(); ++r) {
        const std::string type = master.ValueAt(r, 0).Text();
        if (type == "index" || type == "view" || type == "trigger") out << master.ValueAt(r, 2).Text() << ";\n";
    }
    out << "COMMIT;\n";
    if (!out) throw DbError("cannot write the SQL text");
}

void ImportDatabaseSql(const std::string& sql, const std::string& out_path, bool overwrite, const std::string& key) {
    if (const auto refusal = CheckImportSqlText(sql)) throw DbError(*refusal);
    BuildDatabaseFile(
        out_path, overwrite, key,
        [&](DbConnection& conn) {
            conn.ExecuteSql("PRAGMA journal_mode = MEMORY; PRAGMA synchronous = OFF; PRAGMA cache_size = -65536;");
            conn.ExecuteConfinedSql(sql);
            // A text that opens a transaction and never commits it is cut short: closing would roll
            // it back and leave a database that looks fine but lacks its rows.
            bool open_transaction = true;
            try {
                conn.ExecuteSql("ROLLBACK");
            } catch (const DbError&) {
                open_transaction = false;
            }
            if (open_transaction)
                throw DbError("the SQL text ends inside a transaction (no COMMIT): it may be cut short");
        },
        true);
}

} // namespace tolbe::devtools
