#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tolbe::update {

// The update descriptor's rules: version arithmetic, names and bounds. Pure functions.

inline constexpr const char* kDescriptorSection = "LiveUpdate";

// major x 100 + minor x 10 + revision, in 16 bits.
std::int16_t ProgramVersionNumber(int major, int minor, int revision);
// The running program's own version number (209 for 2.0.9).
std::int16_t OwnProgramVersion();
// "p1.p2.p3" weighted positionally, each step rounded half to even into 16 bits; nothing when
// the text does not split into exactly three numbers or a step leaves the 16-bit range.
std::optional<std::int16_t> OfferedProgramVersion(const std::string& app_version);
// "DB_Version" rounded half to even into 16 bits; nothing when empty, not a number or out of range.
std::optional<std::int16_t> OfferedDatabaseVersion(const std::string& db_version);
// A Content-Length answer as a 32-bit length; 0 when it is not a number in that range.
std::int32_t AnnouncedLength(const std::string& header_value);
// The text after the URL's last "/" (the whole URL when it has none).
std::string FileNameFromUrl(const std::string& url);
// True for a bare file name: not empty, ".", "..", and without "/" or "\".
bool IsPlainFileName(const std::string& name);
// True for a name a setup program may have in the Update folder: up to 64 letters, digits, ".",
// "_" and "-", starting with a letter or digit, and none of the folder's own files
// (Server.ini, the descriptor and its signature, the database, the lock, temporaries).
bool IsSetupFileName(const std::string& name);
// True for 64 hexadecimal digits (blanks around allowed): a SHA-256 checksum as text.
bool IsSha256Hex(const std::string& text);
// The checksum text as FileSha256 writes it: trimmed, lower case.
std::string NormalisedSha256(const std::string& text);
// `text` with every byte outside printable ASCII replaced by "?", so that nothing a server sent
// can steer a terminal.
std::string PrintableText(const std::string& text);

// Bounds of the transfers: the descriptor, its signature, and a database or setup program.
inline constexpr std::uint64_t kDescriptorMaxBytes = 64 * 1024;
inline constexpr std::uint64_t kSignatureMaxBytes = 4 * 1024;
inline constexpr std::uint64_t kFileMaxBytes = 512ull * 1024 * 1024;
inline constexpr int kProgressMax = 100;
// total x 100 / length rounded half to even and kept within 0..kProgressMax; 0 for a length of 0 or less.
int ProgressPercent(std::int32_t total, std::int32_t length);

} // namespace tolbe::update
