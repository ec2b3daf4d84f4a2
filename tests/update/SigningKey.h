#pragma once

#include "common/Digest.h"
#include "tests/update/HttpTestServer.h"

#include <sodium.h>

#include <array>
#include <ctime>
#include <span>
#include <stdexcept>
#include <string>

namespace tolbe::test {

// A throwaway publisher key pair that signs as minisign does (prehashed "ED" by default), through
// libsodium, so the same signer serves the Linux and the Windows tests. That the program takes
// what the minisign tool itself writes is checked beside (Minisign.WhatTheMinisignToolWritesVerifies,
// and the Windows scenarios).
class SigningKey {
public:
    SigningKey() {
        if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
        crypto_sign_keypair(m_pk.data(), m_sk.data());
        randombytes_buf(m_id.data(), m_id.size());
        m_public = Base64(std::string("Ed") + Raw(m_id) + Raw(m_pk));
    }

    // The "RW..." line for a PublicKey= entry.
    const std::string& PublicKey() const { return m_public; }

    // The .minisig text for `bytes` as the publisher signs Update.txt; `legacy` signs the file
    // itself instead of its BLAKE2b hash; a `comment` replaces minisign's own trusted comment.
    std::string Sign(const std::string& bytes, bool legacy = false, const std::string& comment = {}) const {
        std::string message = bytes;
        if (!legacy) {
            std::array<unsigned char, crypto_generichash_BYTES_MAX> digest{};
            crypto_generichash(digest.data(), digest.size(), Bytes(bytes), bytes.size(), nullptr, 0);
            message = Raw(digest);
        }
        const std::string file_sig = Detached(message);
        const std::string trusted = !comment.empty()
                                        ? comment
                                        : "timestamp:" + std::to_string(static_cast<long long>(std::time(nullptr))) +
                                              "\tfile:Update.txt" + (legacy ? "" : "\thashed");
        return "untrusted comment: signature from minisign secret key\n" +
               Base64((legacy ? "Ed" : "ED") + Raw(m_id) + file_sig) + "\ntrusted comment: " + trusted + "\n" +
               Base64(Detached(file_sig + trusted)) + "\n";
    }

private:
    static const unsigned char* Bytes(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }
    template <std::size_t N> static std::string Raw(const std::array<unsigned char, N>& a) {
        return std::string(reinterpret_cast<const char*>(a.data()), N);
    }
    static std::string Base64(const std::string& raw) {
        std::string out(sodium_base64_ENCODED_LEN(raw.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
        sodium_bin2base64(out.data(), out.size(), Bytes(raw), raw.size(), sodium_base64_VARIANT_ORIGINAL);
        out.resize(out.size() - 1); // its terminating NUL
        return out;
    }
    std::string Detached(const std::string& message) const {
        std::array<unsigned char, crypto_sign_BYTES> sig{};
        crypto_sign_detached(sig.data(), nullptr, Bytes(message), message.size(), m_sk.data());
        return Raw(sig);
    }

    std::array<unsigned char, crypto_sign_PUBLICKEYBYTES> m_pk{};
    std::array<unsigned char, crypto_sign_SECRETKEYBYTES> m_sk{};
    std::array<unsigned char, 8> m_id{};
    std::string m_public;
};

// Serves the descriptor "[LiveUpdate]" + `lines` at `path`, with DB_SHA256 of `db` when given,
// and its signature by `key` beside it.
inline void ServeSignedDescriptor(HttpTestServer& server, const std::string& path, const SigningKey& key,
                                  const std::string& lines, const std::string& db = {}) {
    std::string text = "[LiveUpdate]\r\n" + lines;
    if (!db.empty())
        text +=
            "DB_SHA256=" + Sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(db.data()), db.size())) + "\r\n";
    server.Route(path, ScriptedResponse::Ok(text));
    server.Route(path + ".minisig", ScriptedResponse::Ok(key.Sign(text)));
}

} // namespace tolbe::test
