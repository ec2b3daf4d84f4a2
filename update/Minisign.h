#pragma once

#include "common/Result.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolbe::update {

// A minisign public key: its 8-byte key id and the 32-byte Ed25519 key.
struct MinisignKey {
    std::array<std::uint8_t, 8> id{};
    std::array<std::uint8_t, 32> key{};
    bool operator==(const MinisignKey&) const = default;
};

// Parses a public key as minisign prints it (the base64 line "RW..."); also accepts the whole
// .pub file text, taking its last non-comment line. Nothing for anything else.
std::optional<MinisignKey> ParseMinisignKey(std::string_view text);

// The verified trusted comment when `signature_file` (the text of a .minisig file) is a valid
// signature of `message` by one of `keys`: both the file signature (plain "Ed" or
// BLAKE2b-prehashed "ED") and the global signature over the trusted comment must verify.
Result<std::string> VerifyMinisign(std::string_view message, std::string_view signature_file,
                                   const std::vector<MinisignKey>& keys);

// What minisign's default trusted comment says: "timestamp:<unix time>\tfile:<name>", possibly
// followed by more tab-separated fields ("hashed"). Nothing when either field is missing or
// malformed.
struct SignedStamp {
    std::int64_t timestamp = 0;
    std::string file;
};
std::optional<SignedStamp> ParseTrustedComment(std::string_view comment);

// The publisher key built into the program (none when the build left it empty).
std::optional<MinisignKey> BuiltInPublisherKey();

// The keys the user trusts for update descriptors: the built-in publisher key plus every
// "PublicKey=" line of `server_ini` (any section, key name in any letter case). Lines that do
// not hold a key are skipped.
std::vector<MinisignKey> TrustedUpdateKeys(const std::filesystem::path& server_ini);

} // namespace tolbe::update
