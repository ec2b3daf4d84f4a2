#pragma once

#include "tests/support/TestSupport.h"
#include "tests/update/HttpTestServer.h"

#include <openssl/evp.h>

#include <stdexcept>
#include <string>

namespace tolbe::test {

// A throwaway publisher key pair made by the minisign tool, which also signs: the program must
// accept what publishers really produce.
class SigningKey {
public:
    SigningKey() {
        Minisign({"-G", "-W", "-p", (m_dir / "k.pub").string(), "-s", (m_dir / "k.key").string()});
        const std::string pub = ReadFile(m_dir / "k.pub");
        const std::size_t start = pub.find('\n') + 1;
        m_public = pub.substr(start, pub.find_first_of("\r\n", start) - start);
    }

    // The "RW..." line for a PublicKey= entry.
    const std::string& PublicKey() const { return m_public; }

    // The .minisig text for `bytes` as the publisher signs Update.txt; `legacy` signs the file
    // itself instead of its BLAKE2b hash; a `comment` replaces minisign's own trusted comment.
    std::string Sign(const std::string& bytes, bool legacy = false, const std::string& comment = {}) const {
        const auto file = m_dir / "Update.txt";
        WriteFile(file, bytes);
        std::vector<std::string> args = {"-S", "-s", (m_dir / "k.key").string(), "-m", file.string()};
        if (legacy) args.push_back("-l");
        if (!comment.empty()) args.insert(args.end(), {"-t", comment});
        Minisign(args);
        return ReadFile(m_dir / "Update.txt.minisig");
    }

private:
    void Minisign(const std::vector<std::string>& args) const {
        const CommandOutcome r = RunProgram("minisign", args, m_dir.Path());
        if (r.status != 0) throw std::runtime_error("minisign failed: " + r.err);
    }

    TempDir m_dir;
    std::string m_public;
};

// Serves the descriptor "[LiveUpdate]" + `lines` at `path`, with DB_SHA256 of `db` when given,
// and its signature by `key` beside it.
inline void ServeSignedDescriptor(HttpTestServer& server, const std::string& path, const SigningKey& key,
                                  const std::string& lines, const std::string& db = {}) {
    std::string text = "[LiveUpdate]\r\n" + lines;
    if (!db.empty()) {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int len = 0;
        EVP_Digest(db.data(), db.size(), digest, &len, EVP_sha256(), nullptr);
        std::string hex;
        for (unsigned int i = 0; i < len; ++i)
            hex += "0123456789abcdef"[digest[i] >> 4], hex += "0123456789abcdef"[digest[i] & 15];
        text += "DB_SHA256=" + hex + "\r\n";
    }
    server.Route(path, ScriptedResponse::Ok(text));
    server.Route(path + ".minisig", ScriptedResponse::Ok(key.Sign(text)));
}

} // namespace tolbe::test
