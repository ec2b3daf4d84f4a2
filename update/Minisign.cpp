#include "update/Minisign.h"

#include "common/AsciiText.h"
#include <sodium.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <sstream>

#ifndef TOLBE_UPDATE_PUBLIC_KEY
#define TOLBE_UPDATE_PUBLIC_KEY ""
#endif

namespace tolbe::update {
namespace {

constexpr std::size_t kKeyBytes = 2 + 8 + 32;       // "Ed", key id, public key
constexpr std::size_t kSignatureBytes = 2 + 8 + 64; // "Ed" or "ED", key id, signature
constexpr std::string_view kTrustedPrefix = "trusted comment: ";
constexpr std::string_view kUntrustedPrefix = "untrusted comment:";

bool SodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

std::optional<std::vector<std::uint8_t>> Base64(std::string_view text, std::size_t expected) {
    std::vector<std::uint8_t> out(expected + 3);
    std::size_t len = 0;
    const char* end = nullptr;
    if (sodium_base642bin(out.data(), out.size(), text.data(), text.size(), nullptr, &len, &end,
                          sodium_base64_VARIANT_ORIGINAL) != 0 ||
        end != text.data() + text.size() || len != expected)
        return std::nullopt;
    out.resize(len);
    return out;
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (nl == std::string_view::npos) break;
        text.remove_prefix(nl + 1);
    }
    return lines;
}

} // namespace

std::optional<MinisignKey> ParseMinisignKey(std::string_view text) {
    if (!SodiumReady()) return std::nullopt;
    std::string_view last;
    for (std::string_view line : Lines(text)) {
        line = Trim(line);
        if (!line.empty() && line.substr(0, kUntrustedPrefix.size()) != kUntrustedPrefix) last = line;
    }
    const auto raw = Base64(last, kKeyBytes);
    if (!raw || (*raw)[0] != 'E' || (*raw)[1] != 'd') return std::nullopt;
    MinisignKey k;
    std::copy_n(raw->begin() + 2, 8, k.id.begin());
    std::copy_n(raw->begin() + 10, 32, k.key.begin());
    return k;
}

Result<std::string> VerifyMinisign(std::string_view message, std::string_view signature_file,
                                   const std::vector<MinisignKey>& keys) {
    const auto fail = [](const char* reason) { return Result<std::string>::Fail(reason); };
    if (!SodiumReady()) return fail("the signature library cannot start");
    const auto lines = Lines(signature_file);
    if (lines.size() < 4 || lines[0].substr(0, kUntrustedPrefix.size()) != kUntrustedPrefix ||
        lines[2].substr(0, kTrustedPrefix.size()) != kTrustedPrefix)
        return fail("not a minisign signature file");
    const auto sig = Base64(Trim(lines[1]), kSignatureBytes);
    const auto global = Base64(Trim(lines[3]), 64);
    if (!sig || !global) return fail("not a minisign signature file");
    const bool prehashed = (*sig)[0] == 'E' && (*sig)[1] == 'D';
    if (!prehashed && !((*sig)[0] == 'E' && (*sig)[1] == 'd')) return fail("unknown signature algorithm");

    const MinisignKey* key = nullptr;
    for (const auto& k : keys)
        if (std::equal(k.id.begin(), k.id.end(), sig->begin() + 2)) key = &k;
    if (key == nullptr) return fail("signed by a key that is not trusted");

    const std::uint8_t* file_sig = sig->data() + 10;
    std::uint8_t digest[crypto_generichash_BYTES_MAX];
    const auto* msg = reinterpret_cast<const unsigned char*>(message.data());
    std::size_t msg_len = message.size();
    if (prehashed) {
        crypto_generichash(digest, sizeof digest, msg, msg_len, nullptr, 0);
        msg = digest;
        msg_len = sizeof digest;
    }
    if (crypto_sign_verify_detached(file_sig, msg, msg_len, key->key.data()) != 0)
        return fail("the signature does not match the file");

    // The trusted comment is signed together with the file signature.
    const std::string_view comment = lines[2].substr(kTrustedPrefix.size());
    std::vector<std::uint8_t> signed_comment(file_sig, file_sig + 64);
    signed_comment.insert(signed_comment.end(), comment.begin(), comment.end());
    if (crypto_sign_verify_detached(global->data(), signed_comment.data(), signed_comment.size(), key->key.data()) != 0)
        return fail("the trusted comment does not match its signature");
    return Result<std::string>::Ok(std::string(comment));
}

std::optional<SignedStamp> ParseTrustedComment(std::string_view comment) {
    std::optional<std::int64_t> timestamp;
    std::optional<std::string> file;
    while (true) {
        const std::size_t tab = comment.find('\t');
        const std::string_view field = comment.substr(0, tab);
        if (field.substr(0, 10) == "timestamp:") {
            const std::string_view digits = field.substr(10);
            std::int64_t v = 0;
            const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
            if (timestamp || digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || v < 0)
                return std::nullopt;
            timestamp = v;
        } else if (field.substr(0, 5) == "file:") {
            if (file) return std::nullopt;
            file = std::string(field.substr(5));
        }
        if (tab == std::string_view::npos) break;
        comment.remove_prefix(tab + 1);
    }
    if (!timestamp || !file || file->empty()) return std::nullopt;
    return SignedStamp{*timestamp, *file};
}

std::optional<MinisignKey> BuiltInPublisherKey() {
    return ParseMinisignKey(TOLBE_UPDATE_PUBLIC_KEY);
}

std::vector<MinisignKey> TrustedUpdateKeys(const std::filesystem::path& server_ini) {
    std::vector<MinisignKey> keys;
    if (auto k = BuiltInPublisherKey()) keys.push_back(*k);
    std::ifstream in(server_ini, std::ios::binary);
    std::string line;
    constexpr std::string_view kName = "publickey";
    while (std::getline(in, line)) {
        std::string_view l = Trim(line);
        const std::size_t eq = l.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string name = ToLower(Trim(l.substr(0, eq)));
        if (name != kName) continue;
        if (auto k = ParseMinisignKey(Trim(l.substr(eq + 1)))) keys.push_back(*k);
    }
    return keys;
}

} // namespace tolbe::update
