#pragma once

#include "tests/support/TestSupport.h"

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

} // namespace tolbe::test
