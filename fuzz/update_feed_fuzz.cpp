// Feeds arbitrary bytes to the update feed check twice: once as the downloaded feed, and
// once as a manifest that the harness signs itself, so that the manifest reader and the
// content rules are reached as well, not only the envelope and the signature check.
#include "core/update/update_feed.h"

#include <sodium.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

struct HarnessKeys {
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    unsigned char secretKey[crypto_sign_SECRETKEYBYTES];

    HarnessKeys()
    {
        if (sodium_init() < 0)
            __builtin_trap();
        // A fixed seed, so that seed files signed with it stay valid between runs.
        unsigned char seed[crypto_sign_SEEDBYTES] = {};
        for (size_t i = 0; i < sizeof seed; ++i)
            seed[i] = static_cast<unsigned char>(i);
        crypto_sign_seed_keypair(publicKey, secretKey, seed);
    }
};

const HarnessKeys &harnessKeys()
{
    static const HarnessKeys keys;
    return keys;
}

std::string base64Url(const unsigned char *bytes, size_t size)
{
    std::string text(sodium_base64_encoded_len(size, sodium_base64_VARIANT_URLSAFE_NO_PADDING), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_URLSAFE_NO_PADDING);
    text.resize(text.size() - 1);
    return text;
}

void check(std::string_view feed)
{
    const HarnessKeys &keys = harnessKeys();
    try {
        const UpdateManifest manifest = UpdateManifest::verified(feed, keys.publicKey);
        (void)manifest.releaseNotes();
        (void)manifest.isNewer("1.0", 1);
    } catch (const std::exception &) {
        // Refusals are expected; only crashes and sanitizer reports matter.
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    check(bytes);

    const HarnessKeys &keys = harnessKeys();
    unsigned char signature[crypto_sign_BYTES];
    crypto_sign_detached(signature, nullptr, data, size, keys.secretKey);
    check("{\"payload\":\"" + base64Url(data, size) + "\",\"signature\":\"" + base64Url(signature, sizeof signature)
        + "\"}");
    return 0;
}
