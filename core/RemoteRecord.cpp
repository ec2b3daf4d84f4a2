#include "core/RemoteRecord.h"

#include "common/AtomicFile.h"
#include "common/FileLock.h"
#include "common/IniFile.h"
#include "core/Candidates.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <system_error>

namespace tolbe::core {

namespace {

// Every key the file may hold; anything else means it was damaged.
const std::set<std::string> kKeys = {"SourceID",        "SetOfCodeID",     "Device",     "Brand",        "Model",
                                     "DatabaseVersion", "WrittenAt",       "Image",      "Verdict",      "Keys",
                                     "RuledOutDevice",  "RuledOutBrand",   "RuledOut",   "ResumeDevice", "ResumeBrand",
                                     "ResumeModel",     "ResumeCandidate", "ResumeImage"};

// A few lines a slot: anything larger is not ours and is set aside unread.
constexpr std::uintmax_t kMaxFileBytes = 64 * 1024;

// A text value as the reader gives it back: one line, in quotes so that blanks and quotes at its
// ends survive. Lists use ";" between items, so an item never holds one.
std::string OneLine(std::string text, bool listItem = false) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || (listItem && c == ';')) c = ' ';
    return text;
}

std::string Quoted(const std::string& text) {
    return "\"" + OneLine(text) + "\"";
}

std::string Joined(const std::vector<std::string>& items, const char* separator) {
    std::string out;
    for (const std::string& item : items)
        out += (out.empty() ? "" : separator) + item;
    return out;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> out;
    if (text.empty()) return out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(separator, start);
        out.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return out;
        start = at + 1;
    }
}

bool IsHash(const std::string& text) {
    return text.size() == 64 && std::all_of(text.begin(), text.end(),
                                            [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// A slot section that does not read back as written makes the whole slot unreadable.
struct Damaged {};

template <class Int> Int Whole(const IniDocument& doc, const std::string& section, const char* key) {
    const std::string* text = doc.Find(section, key);
    if (text == nullptr) return 0;
    Int value = 0;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (text->empty() || ec != std::errc() || end != text->data() + text->size()) throw Damaged{};
    return value;
}

std::string Text(const IniDocument& doc, const std::string& section, const char* key) {
    const std::string* text = doc.Find(section, key);
    return text == nullptr ? std::string() : *text;
}

std::string Hash(const IniDocument& doc, const std::string& section, const char* key) {
    const std::string text = Text(doc, section, key);
    if (!text.empty() && !IsHash(text)) throw Damaged{};
    return text;
}

SlotRecord ReadSlot(const IniDocument& doc, const std::string& s) {
    SlotRecord rec;
    rec.written = {Whole<std::int32_t>(doc, s, "SourceID"), Whole<std::int32_t>(doc, s, "SetOfCodeID"),
                   Text(doc, s, "Device"), Text(doc, s, "Brand"), Text(doc, s, "Model")};
    rec.databaseVersion = Whole<std::int16_t>(doc, s, "DatabaseVersion");
    rec.writtenAt = Text(doc, s, "WrittenAt");
    rec.imageSha256 = Hash(doc, s, "Image");
    const std::string verdict = Text(doc, s, "Verdict");
    const auto parsed = ParseVerdict(verdict.empty() ? "not tried" : verdict);
    if (!parsed) throw Damaged{};
    rec.verdict = *parsed;
    rec.workingKeys = Split(Text(doc, s, "Keys"), ';');
    rec.ruledOutDevice = Text(doc, s, "RuledOutDevice");
    rec.ruledOutBrand = Text(doc, s, "RuledOutBrand");
    rec.ruledOut = Split(Text(doc, s, "RuledOut"), ',');
    if (!std::all_of(rec.ruledOut.begin(), rec.ruledOut.end(), IsHash)) throw Damaged{};
    if (doc.Find(s, "ResumeCandidate") != nullptr) {
        ResumePoint point{Text(doc, s, "ResumeDevice"), Text(doc, s, "ResumeBrand"), Text(doc, s, "ResumeModel"),
                          Whole<int>(doc, s, "ResumeCandidate"), Hash(doc, s, "ResumeImage")};
        if (point.candidate < 0) throw Damaged{};
        rec.resume = std::move(point);
    }
    return rec;
}

// The slot sections of the file; `damaged` tells whether any line is one this program does not
// write. Such lines are left out, the values around them still count.
std::set<std::string> SlotSections(const std::string& text, bool& damaged) {
    std::set<std::string> names, found;
    for (Slot slot : Slot::All())
        names.insert(slot.Name());
    std::istringstream in(text);
    std::string line;
    bool inSlot = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            const std::string section = line.substr(1, line.size() - 2);
            inSlot = names.count(section) && found.insert(section).second;
            damaged = damaged || !inSlot;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inSlot || eq == std::string::npos || !kKeys.count(line.substr(0, eq))) damaged = true;
    }
    return found;
}

// Damaged files set aside and not yet told to the window's user, one path a line.
std::filesystem::path UnreportedList(const std::filesystem::path& file) {
    std::filesystem::path list = file;
    list += ".unreported";
    return list;
}

std::vector<std::string> Lines(const std::filesystem::path& file) {
    std::vector<std::string> lines;
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line) && lines.size() < 100;)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

std::string LocalTime(std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[40];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S%z", &tm);
    return buf;
}

} // namespace

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
    case Verdict::Works:
        return "works";
    case Verdict::Partly:
        return "partly";
    case Verdict::Failed:
        return "failed";
    case Verdict::NotTried:
        break;
    }
    return "not tried";
}

std::optional<Verdict> ParseVerdict(const std::string& text) {
    for (Verdict v : {Verdict::NotTried, Verdict::Works, Verdict::Partly, Verdict::Failed})
        if (text == VerdictName(v)) return v;
    return std::nullopt;
}

RemoteRecord::LoadReport RemoteRecord::Load() {
    std::error_code ec;
    if (m_file.has_parent_path() && !std::filesystem::exists(m_file.parent_path(), ec)) {
        m_slots = {};
        m_unread = false;
        return m_lastLoad = {};
    }
    const FileLock lock(FileLock::For(m_file));
    if (!lock.Held()) {
        m_slots = {};
        m_unread = true;
        return m_lastLoad = {{}, lock.Problem()};
    }
    return LoadUnlocked();
}

RemoteRecord::ChangeReport RemoteRecord::Change(const std::function<void(RemoteRecord&)>& change) {
    ChangeReport report;
    std::error_code ec;
    if (m_file.has_parent_path()) std::filesystem::create_directories(m_file.parent_path(), ec);
    const FileLock lock(FileLock::For(m_file));
    if (!lock.Held()) {
        report.saved = SaveResult::Fail(lock.Problem(), std::make_error_code(std::errc::device_or_resource_busy));
        return report;
    }
    report.load = LoadUnlocked();
    if (m_unread) {
        report.saved = SaveResult::Fail(report.load.problem + " (the remote's record is left as it is)");
        return report;
    }
    change(*this);
    report.saved = SaveUnlocked();
    return report;
}

std::vector<std::filesystem::path> RemoteRecord::TakeUnreported() {
    const std::filesystem::path list = UnreportedList(m_file);
    std::error_code ec;
    if (!std::filesystem::exists(list, ec)) return {};
    const FileLock lock(FileLock::For(m_file));
    if (!lock.Held()) return {};
    std::vector<std::filesystem::path> paths;
    for (const std::string& line : Lines(list))
        paths.emplace_back(line);
    std::filesystem::remove(list, ec);
    return paths;
}

RemoteRecord::LoadReport RemoteRecord::LoadUnlocked() {
    m_lastLoad = ReadFile();
    return m_lastLoad;
}

RemoteRecord::LoadReport RemoteRecord::ReadFile() {
    m_slots = {};
    m_unread = false;
    LoadReport report;
    std::error_code ec;
    if (!std::filesystem::exists(m_file, ec)) return report;
    const auto damaged = [&](const std::string& what) {
        const auto aside = SetAside(m_file);
        report.setAside = aside.empty() ? m_file : aside;
        report.problem = what;
        if (!aside.empty()) {
            // The window tells its user at its next look, whoever set the file aside.
            const std::filesystem::path list = UnreportedList(m_file);
            std::string lines;
            for (const std::string& line : Lines(list))
                lines += line + "\n";
            try {
                WriteFileAtomically(list, lines + aside.string() + "\n");
            } catch (const std::filesystem::filesystem_error&) {
                // Only the window's later word is lost; this program reports it now.
            }
        }
        // What could be read is kept in a new file; the damaged one stays beside it for the user.
        if (!aside.empty() && std::any_of(m_slots.begin(), m_slots.end(), [](const SlotRecord& r) {
                return r.HasWritten() || r.resume || !r.ruledOut.empty();
            }))
            // The new file's failure leaves the damaged one in place, which is what is reported.
            static_cast<void>(SaveUnlocked());
        return report;
    };
    if (const auto size = std::filesystem::file_size(m_file, ec); !ec && size > kMaxFileBytes)
        return damaged("the file is too large to be a record of the remote");
    std::string text;
    {
        std::ifstream in;
        bool read = std::filesystem::is_regular_file(m_file, ec);
        try {
            if (read) in.open(m_file, std::ios::binary);
            if (read && in) text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        } catch (const std::ios_base::failure&) {
            read = false;
        }
        if (!read || !in || in.bad()) {
            // Unreadable for now (permissions, a folder of that name): left for a later attempt.
            report.problem = "cannot read " + m_file.string();
            m_unread = true;
            return report;
        }
    }
    bool bad = false;
    const std::set<std::string> good = SlotSections(text, bad);
    const IniDocument doc = IniDocument::Parse(text);
    for (Slot slot : Slot::All()) {
        if (!good.count(slot.Name())) continue;
        try {
            At(slot) = ReadSlot(doc, slot.Name());
        } catch (const Damaged&) {
            bad = true;
        }
    }
    if (bad) return damaged("some lines are not what this program writes");
    return report;
}

RemoteRecord::SaveResult RemoteRecord::Save() const {
    std::error_code ec;
    if (m_file.has_parent_path()) std::filesystem::create_directories(m_file.parent_path(), ec);
    const FileLock lock(FileLock::For(m_file));
    if (!lock.Held()) return SaveResult::Fail(lock.Problem(), std::make_error_code(std::errc::device_or_resource_busy));
    return SaveUnlocked();
}

RemoteRecord::SaveResult RemoteRecord::SaveUnlocked() const {
    if (m_unread) return SaveResult::Fail(m_file.string() + " could not be read, so it is not replaced");
    IniDocument doc;
    for (Slot slot : Slot::All()) {
        const SlotRecord& r = Of(slot);
        const std::string s = slot.Name();
        if (r.HasWritten()) {
            doc.Set(s, "SourceID", std::to_string(r.written.SourceID));
            doc.Set(s, "SetOfCodeID", std::to_string(r.written.SetOfCodeID));
            doc.Set(s, "Device", Quoted(r.written.DeviceName));
            doc.Set(s, "Brand", Quoted(r.written.BrandName));
            doc.Set(s, "Model", Quoted(r.written.ModelName));
            doc.Set(s, "DatabaseVersion", std::to_string(r.databaseVersion));
            doc.Set(s, "WrittenAt", Quoted(r.writtenAt));
            if (!r.imageSha256.empty()) doc.Set(s, "Image", r.imageSha256);
            doc.Set(s, "Verdict", Quoted(VerdictName(r.verdict)));
            if (!r.workingKeys.empty()) {
                std::vector<std::string> keys;
                for (const std::string& k : r.workingKeys)
                    keys.push_back(OneLine(k, true));
                doc.Set(s, "Keys", Quoted(Joined(keys, ";")));
            }
        }
        if (!r.ruledOut.empty()) {
            doc.Set(s, "RuledOutDevice", Quoted(r.ruledOutDevice));
            doc.Set(s, "RuledOutBrand", Quoted(r.ruledOutBrand));
            doc.Set(s, "RuledOut", Joined(r.ruledOut, ","));
        }
        if (r.resume) {
            doc.Set(s, "ResumeDevice", Quoted(r.resume->device));
            doc.Set(s, "ResumeBrand", Quoted(r.resume->brand));
            doc.Set(s, "ResumeModel", Quoted(r.resume->model));
            doc.Set(s, "ResumeCandidate", std::to_string(r.resume->candidate));
            if (!r.resume->imageSha256.empty()) doc.Set(s, "ResumeImage", r.resume->imageSha256);
        }
    }
    try {
        std::error_code ec;
        if (m_file.has_parent_path()) std::filesystem::create_directories(m_file.parent_path(), ec);
        WriteFileAtomically(m_file, doc.Serialize());
        return SaveResult::Ok({});
    } catch (const std::filesystem::filesystem_error& e) {
        return SaveResult::Fail(std::string("cannot write ") + m_file.string() + ": " + e.what(), e.code());
    } catch (const std::exception& e) {
        return SaveResult::Fail(std::string("cannot write ") + m_file.string() + ": " + e.what(),
                                std::make_error_code(std::errc::io_error));
    }
}

void RemoteRecord::RecordDownload(Slot slot, const codec::SlotInfo& written, std::int16_t databaseVersion,
                                  const std::vector<std::uint8_t>& record, std::chrono::system_clock::time_point when) {
    SlotRecord& r = At(slot);
    const std::string image = ImageSha256(record, slot);
    if (image.empty() || image != r.imageSha256) {
        r.verdict = Verdict::NotTried;
        r.workingKeys.clear();
    }
    r.written = written;
    r.databaseVersion = databaseVersion;
    r.writtenAt = LocalTime(when);
    r.imageSha256 = image;
}

bool RemoteRecord::MarkVerdict(Slot slot, std::int32_t SetOfCodeID, Verdict verdict, std::vector<std::string> keys) {
    SlotRecord& r = At(slot);
    if (!r.HasWritten() || r.written.SetOfCodeID != SetOfCodeID) return false;
    r.verdict = verdict;
    r.workingKeys = verdict == Verdict::Partly ? std::move(keys) : std::vector<std::string>{};
    return true;
}

bool RemoteRecord::Answer(Slot slot, const std::string& device, const std::string& brand,
                          const std::string& imageSha256, std::int32_t SetOfCodeID, Verdict verdict,
                          std::vector<std::string> keys) {
    // An answer speaks of what the slot holds; about another code set it says nothing.
    if (!MarkVerdict(slot, SetOfCodeID, verdict, std::move(keys))) return false;
    // A code set that failed is not offered again for that brand; any other answer takes it back.
    if (verdict == Verdict::Failed)
        RuleOut(slot, device, brand, imageSha256);
    else
        AllowAgain(slot, imageSha256);
    return true;
}

void RemoteRecord::RuleOut(Slot slot, const std::string& device, const std::string& brand,
                           const std::string& imageSha256) {
    SlotRecord& r = At(slot);
    if (r.ruledOutDevice != device || r.ruledOutBrand != brand) {
        r.ruledOut.clear();
        r.ruledOutDevice = device;
        r.ruledOutBrand = brand;
    }
    if (IsHash(imageSha256) && std::find(r.ruledOut.begin(), r.ruledOut.end(), imageSha256) == r.ruledOut.end())
        r.ruledOut.push_back(imageSha256);
}

bool RemoteRecord::IsRuledOut(Slot slot, const std::string& device, const std::string& brand,
                              const std::string& imageSha256) const {
    const SlotRecord& r = Of(slot);
    return r.ruledOutDevice == device && r.ruledOutBrand == brand &&
           std::find(r.ruledOut.begin(), r.ruledOut.end(), imageSha256) != r.ruledOut.end();
}

void RemoteRecord::AllowAgain(Slot slot, const std::string& imageSha256) {
    auto& list = At(slot).ruledOut;
    list.erase(std::remove(list.begin(), list.end(), imageSha256), list.end());
}

void RemoteRecord::StartOver(Slot slot) {
    SlotRecord& r = At(slot);
    r.ruledOut.clear();
    r.ruledOutDevice.clear();
    r.ruledOutBrand.clear();
    r.resume.reset();
}

} // namespace tolbe::core
