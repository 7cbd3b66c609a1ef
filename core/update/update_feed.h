#pragma once

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The error of the whole update subsystem: its message is the one line the user reads.
class UpdateFailure : public std::exception {
public:
    explicit UpdateFailure(std::string message) : m_message(std::move(message)) {}

    const std::string &message() const { return m_message; }
    const char *what() const noexcept override { return m_message.c_str(); }

    bool operator==(const UpdateFailure &other) const { return m_message == other.m_message; }

private:
    std::string m_message;
};

// One release as the signed update feed describes it. Any value can be built; only
// verified() vouches for one.
struct UpdateManifest {
    std::string product;
    std::string version;      // two or three dot-separated groups of decimal digits
    int64_t build = 0;
    std::optional<int64_t> displayBuild;
    std::string notes;        // one section per version, each headed "# Vantrel <version>"
    std::string pubDate;      // free text, never interpreted
    std::string downloadURL;  // a URL; decode() refuses text that is not one
    std::string sha256;
    int64_t size = 0;

    bool operator==(const UpdateManifest &) const = default;

    // The build number shown, compared and skipped: displayBuild when present, else build.
    int64_t releaseBuild() const { return displayBuild.value_or(build); }

    // The section of notes under this version's heading, trimmed; all of notes, untouched,
    // when there is no such heading. Linear in the size of notes.
    std::string releaseNotes() const;

    // True when this release is newer than the running version and build. A malformed
    // version on either side is never newer; equal versions compare releaseBuild.
    bool isNewer(std::string_view runningVersion, int64_t runningBuild) const;

    // Turns downloaded feed bytes into a trusted manifest. `publicKey` holds the raw
    // Ed25519 key. Throws UpdateFailure for an oversized feed, a bad signature, a bad key
    // or a manifest that breaks a content rule, and JsonRead::Error when the envelope or
    // the signed manifest is not the expected JSON. Nothing over 128 KiB is decoded.
    static UpdateManifest verified(std::string_view data, std::span<const uint8_t> publicKey);

    // The JSON form: keys in field order, "displayBuild" left out when absent.
    nlohmann::ordered_json encode() const;
    // Throws JsonRead::Error for a missing key, a wrong type or a downloadURL that is not a URL.
    static UpdateManifest decode(const nlohmann::json &json);

    // The three numbers of a version ("1.2" gives 1, 2, 0), or nothing when it is malformed.
    static std::optional<std::array<int64_t, 3>> components(std::string_view version);
};

// Where the feed comes from and which key must have signed it. The application uses
// standard(); tests build their own around a key pair they generated.
struct UpdateConfiguration {
    // The update server: the feed lives there, and a download may name no other host.
    static constexpr std::string_view host = "updates.vantrel.org";
    static constexpr std::string_view publicKeyName = "update-public-key";

    std::string updates;        // the feed address
    std::string publicKeyText;  // the key resource: standard base64 of the 32 raw key bytes

    // Our server's feed and the key compiled into the application.
    static const UpdateConfiguration &standard();

    // The raw 32 bytes of the key resource `name`; white space around the text is allowed.
    // Throws UpdateFailure when there is no such resource or it is not a base64 32-byte key.
    std::vector<uint8_t> publicKey(std::string_view name) const;
};
