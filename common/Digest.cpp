#include "common/Digest.h"

#include "common/HexText.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace tolbe {

struct Sha256Stream::Context {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> md{EVP_MD_CTX_new(), &EVP_MD_CTX_free};
};

namespace {

[[noreturn]] void Fail() {
    throw std::runtime_error("SHA-256 is not available");
}

void Start(EVP_MD_CTX* md) {
    if (!md || EVP_DigestInit_ex(md, EVP_sha256(), nullptr) != 1) Fail();
}

} // namespace

Sha256Digest Sha256(std::span<const std::uint8_t> bytes) {
    Sha256Stream stream;
    stream.Add(bytes);
    return stream.Finish();
}

std::string Sha256Hex(std::span<const std::uint8_t> bytes) {
    return ToHex(Sha256(bytes), LetterCase::Lower);
}

Sha256Stream::Sha256Stream() : m_context(std::make_unique<Context>()) {
    Start(m_context->md.get());
}

Sha256Stream::~Sha256Stream() = default;

void Sha256Stream::Add(std::span<const std::uint8_t> bytes) {
    if (EVP_DigestUpdate(m_context->md.get(), bytes.data(), bytes.size()) != 1) Fail();
}

Sha256Digest Sha256Stream::Finish() {
    Sha256Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(m_context->md.get(), digest.data(), &length) != 1 || length != digest.size()) Fail();
    Start(m_context->md.get());
    return digest;
}

} // namespace tolbe
