#include "common/Digest.h"

#include "common/HexText.h"

#include <sodium.h>

#include <stdexcept>

namespace tolbe {

// libsodium's SHA-256: the same on every platform (Windows has no OpenSSL of ours), and already
// the update's signature library.
struct Sha256Stream::Context {
    crypto_hash_sha256_state state;
};

namespace {

[[noreturn]] void Fail() {
    throw std::runtime_error("SHA-256 is not available");
}

void Start(crypto_hash_sha256_state& state) {
    if (sodium_init() < 0 || crypto_hash_sha256_init(&state) != 0) Fail();
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
    Start(m_context->state);
}

Sha256Stream::~Sha256Stream() = default;

void Sha256Stream::Add(std::span<const std::uint8_t> bytes) {
    if (crypto_hash_sha256_update(&m_context->state, bytes.data(), bytes.size()) != 0) Fail();
}

Sha256Digest Sha256Stream::Finish() {
    Sha256Digest digest{};
    static_assert(crypto_hash_sha256_BYTES == std::tuple_size_v<Sha256Digest>);
    if (crypto_hash_sha256_final(&m_context->state, digest.data()) != 0) Fail();
    Start(m_context->state);
    return digest;
}

} // namespace tolbe
