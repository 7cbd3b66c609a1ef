#include "core/document/version_reading.h"

#include "core/document/archive_json.h"
#include "core/document/arriving_bytes.h"
#include "core/model/organization_json.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

using Json = nlohmann::json;

namespace VersionReading {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

// The bytes that matter inside a value nobody looks into: strings and brackets.
constexpr std::array<bool, 256> structuralBytes = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : {'"', '[', ']', '{', '}'})
        table[c] = true;
    return table;
}();

// Follows strings and brackets through one JSON object to the array `path` names, calling
// `element` with each of its elements as soon as it ends. Outside the object's members along
// `path` and the array's elements, only strings and brackets are looked at: most of a
// document lies inside versions, so this is the loop the whole file goes through.
template <typename Element>
class ArrayScan {
public:
    // `arriving`, when given, holds the text's bytes as they arrive.
    ArrayScan(std::string_view text, ArrivingBytes *arriving, const std::vector<std::string_view> &path, Element element)
        : m_data(text.data())
        , m_available(text.size())
        , m_arriving(arriving)
        , m_path(path)
        , m_seen(path.size(), false)
        , m_element(std::move(element))
    {
    }

    // Where the array lies, or nothing when unsure. Throws ArrivingBytes::Abandoned.
    std::optional<ArraySpans> run()
    {
        const char *data = m_data;
        size_t i = 0;
        while (reach(i)) {
            if (m_depth > m_chain + 1) {
                while (i < m_available && !structuralBytes[static_cast<unsigned char>(data[i])])
                    ++i;
                if (i == m_available)
                    continue;
                if (data[i] == '"') {
                    if (!skipString(i))
                        return std::nullopt;
                } else if (data[i] == '[' || data[i] == '{') {
                    ++m_depth;
                } else if (--m_depth == m_chain + 1) {
                    m_previous = data[i];
                    m_lastSignificant = i;
                }
            } else if (!member(i)) {
                return std::nullopt;
            }
            ++i;
        }
        if (!m_found || !m_closed || m_depth != 0)
            return std::nullopt;
        return std::move(m_found);
    }

private:
    // One character among the members along the path (or the array's elements); false when unsure.
    bool member(size_t &i)
    {
        const char c = m_data[i];
        if (isSpace(c))
            return true;
        if (m_depth == 0 && (m_previous != 0 || c != '{'))
            return false; // not one object
        if (m_inArray && m_awaitingElement && c != ']' && c != ',') {
            m_elementStart = i;
            m_awaitingElement = false;
        }
        const bool valueOfPathKey = m_keyMatches && m_previous == ':';
        if (valueOfPathKey && c != (m_chain + 1 < m_path.size() ? '{' : '['))
            return false;
        switch (c) {
        case '"': {
            const size_t start = i;
            if (!skipString(i))
                return false;
            if (!m_inArray && (m_previous == '{' || m_previous == ',')) {
                const std::string_view key(m_data + start + 1, i - start - 1);
                if (key.find('\\') != std::string_view::npos)
                    return false;
                m_keyMatches = key == m_path[m_chain];
                if (m_keyMatches && m_seen[m_chain])
                    return false; // given twice
            }
            m_previous = '"';
            m_lastSignificant = i;
            return true;
        }
        case '[':
        case '{':
            if (valueOfPathKey) {
                m_seen[m_chain] = true;
                m_keyMatches = false;
                if (++m_chain == m_path.size()) {
                    m_found.emplace().open = i;
                    m_inArray = true;
                    m_awaitingElement = true;
                }
            }
            ++m_depth;
            break;
        case ']':
        case '}':
            if (m_depth == 0)
                return false;
            if (--m_depth == m_chain && m_chain > 0) {
                if (m_inArray) {
                    if (!m_awaitingElement)
                        endElement();
                    else if (m_previous != '[')
                        return false; // a trailing comma
                    m_found->close = i;
                    m_inArray = false;
                    m_closed = true;
                }
                --m_chain;
                m_keyMatches = false;
            }
            break;
        case ',':
            if (m_inArray) {
                if (m_awaitingElement)
                    return false;
                endElement();
            }
            m_keyMatches = false;
            break;
        default: break;
        }
        m_previous = c;
        m_lastSignificant = i;
        return true;
    }

    // Whether byte `i` is there, waiting for it while the text arrives.
    bool reach(size_t i)
    {
        if (i < m_available)
            return true;
        if (m_arriving)
            m_available = m_arriving->beyond(i);
        return i < m_available;
    }

    // Moves `i` from a string's opening quote to its closing one; false when it never closes.
    bool skipString(size_t &i)
    {
        const char *data = m_data;
        size_t end = i + 1;
        while (true) {
            // Strings are mostly short: a plain loop beats a call until the end is far.
            const size_t near = std::min(m_available, end + 32);
            while (end < near && data[end] != '"')
                ++end;
            if (end == near) {
                const void *quote = std::memchr(data + end, '"', m_available - end);
                if (!quote) {
                    end = m_available;
                    if (!reach(end))
                        return false;
                    continue;
                }
                end = size_t(static_cast<const char *>(quote) - data);
            }
            size_t backslashes = 0; // the opening quote stops the count
            while (data[end - 1 - backslashes] == '\\')
                ++backslashes;
            if (backslashes % 2 == 0)
                break;
            ++end;
        }
        i = end;
        return true;
    }

    void endElement()
    {
        const std::string_view text(m_data + m_elementStart, m_lastSignificant + 1 - m_elementStart);
        m_found->elements.push_back(text);
        m_element(text);
        m_awaitingElement = true;
    }

    const char *m_data;
    size_t m_available; // bytes of the text arrived so far
    ArrivingBytes *m_arriving;
    const std::vector<std::string_view> &m_path;
    std::vector<bool> m_seen; // keys of the path met so far
    Element m_element;
    std::optional<ArraySpans> m_found;
    bool m_closed = false;
    size_t m_depth = 0;
    size_t m_chain = 0;        // how many keys of the path the place lies within
    bool m_keyMatches = false; // the last key among the chain's members is the path's next key
    char m_previous = 0;       // the last character looked at outside strings, not white space
    bool m_inArray = false;
    bool m_awaitingElement = false;
    size_t m_elementStart = 0;
    size_t m_lastSignificant = 0;
};

template <typename Element>
std::optional<ArraySpans> scanArray(std::string_view text, const std::vector<std::string_view> &path, Element element)
{
    return ArrayScan<Element>(text, nullptr, path, std::move(element)).run();
}

// A version decoded by a helper, before it is frozen.
struct DecodedVersion {
    OrganizationRevision revision;
    Organization organization; // every position, or with `unchanged` only the others in order
    std::vector<bool> unchanged; // empty when there is no version before to compare with
};

// A version's position texts, for the version after it to compare with.
struct PositionTexts {
    bool ready = false;
    std::optional<std::vector<std::string_view>> texts; // nothing when not found apart
};

struct Failed {};

// Helpers take versions in order as the scan finds them, decode them a few ahead of the last
// frozen one (so the whole history never sits in memory unfrozen), freeze them in order (one
// helper at a time, each version sharing with the one before) and validate them.
class ParallelReader {
public:
    explicit ParallelReader(ArrivingBytes &bytes) : m_bytes(bytes) {}

    std::optional<Versions> run(const std::function<bool(size_t, size_t)> &whileDecoding)
    {
        const size_t helpers = std::clamp<size_t>(std::thread::hardware_concurrency(), 2, 8) - 1;
        m_ahead = 2 * (helpers + 1);
        {
            std::vector<std::jthread> threads;
            for (size_t t = 0; t < helpers; ++t)
                threads.emplace_back([this] { help(); });
            try {
                const auto found = [this](std::string_view element) {
                    const std::lock_guard lock(m_mutex);
                    m_elements.push_back(element);
                    m_changed.notify_all();
                };
                const std::optional<ArraySpans> array =
                    ArrayScan(std::string_view(m_bytes.data(), 0), &m_bytes, {"revisions"}, found).run();
                const bool sure = array && array->elements.size() >= 2;
                {
                    const std::lock_guard lock(m_mutex);
                    m_scanned = true;
                    m_failed = m_failed || !sure;
                    m_changed.notify_all();
                }
                if (sure && !whileDecoding(array->open, array->close))
                    fail();
            } catch (...) {
                fail(); // the helpers stop before the threads are joined
                throw;
            }
            help();
        }
        if (m_failed)
            return std::nullopt;
        Versions versions;
        versions.revisions = std::move(m_revisions);
        if (!m_invalid.empty())
            versions.invalidOrganization = std::move(m_invalid.begin()->second);
        return versions;
    }

private:
    void fail()
    {
        const std::lock_guard lock(m_mutex);
        m_failed = true;
        m_changed.notify_all();
    }

    void help()
    {
        std::unique_lock lock(m_mutex);
        while (!m_failed) {
            if (!m_freezing && m_frozen < m_decoded.size() && m_decoded[m_frozen]) {
                freezeNext(lock);
            } else if (m_next < m_elements.size() && m_next < m_frozen + m_ahead) {
                const size_t i = m_next++;
                m_decoded.emplace_back();
                m_positionTexts.emplace_back();
                const std::string_view text = m_elements[i];
                lock.unlock();
                std::optional<DecodedVersion> version;
                try {
                    version = decode(i, text);
                } catch (...) {
                }
                lock.lock();
                if (!version) {
                    m_failed = true;
                } else {
                    m_decoded[i] = std::move(version);
                }
                m_changed.notify_all();
            } else if (!m_unvalidated.empty()) {
                const auto [index, organization] = m_unvalidated.front();
                m_unvalidated.pop_front();
                lock.unlock();
                std::optional<std::string> invalid;
                bool failed = false;
                try {
                    organization->toOrganization().validate();
                } catch (const OrganizationError &error) {
                    invalid = error.message();
                } catch (...) {
                    failed = true;
                }
                lock.lock();
                m_failed = m_failed || failed;
                if (invalid)
                    m_invalid.emplace(index, std::move(*invalid));
                --m_validating;
                m_changed.notify_all();
            } else if (m_scanned && m_frozen == m_elements.size() && m_validating == 0) {
                return;
            } else {
                m_changed.wait(lock);
            }
        }
    }

    // Freezes the versions ready in order; one helper at a time.
    void freezeNext(std::unique_lock<std::mutex> &lock)
    {
        m_freezing = true;
        while (!m_failed && m_frozen < m_decoded.size() && m_decoded[m_frozen]) {
            DecodedVersion version = std::move(*m_decoded[m_frozen]);
            m_decoded[m_frozen].reset();
            lock.unlock();
            const FrozenOrganization *before = m_revisions.empty() ? nullptr : &m_revisions.back()->organization;
            if (version.unchanged.empty())
                version.revision.organization = FrozenOrganization(version.organization, before);
            else
                version.revision.organization = FrozenOrganization(version.unchanged, version.organization, *before);
            m_revisions.emplace_back(std::move(version.revision));
            const FrozenOrganization *frozen = &m_revisions.back()->organization;
            lock.lock();
            m_unvalidated.emplace_back(m_frozen, frozen);
            ++m_validating;
            ++m_frozen;
            m_changed.notify_all();
        }
        m_freezing = false;
    }

    // Version `i`, whose text is `text`; throws when it does not read.
    DecodedVersion decode(size_t i, std::string_view text)
    {
        DecodedVersion result;
        const std::optional<ArraySpans> positions =
            scanArray(text, {"organization", "positions"}, [](std::string_view) {});
        publish(i, positions ? std::optional(positions->elements) : std::nullopt);
        if (!positions) {
            const Json json = Json::parse(text.begin(), text.end());
            result.revision = ArchiveJson::decodeRevision(json, result.organization);
            return result;
        }
        std::string skeleton(text.substr(0, positions->open + 1));
        skeleton += text.substr(positions->close);
        result.revision = ArchiveJson::decodeRevision(Json::parse(skeleton), result.organization);

        const std::vector<std::string_view> &texts = positions->elements;
        const std::optional<std::vector<std::string_view>> *before = i > 0 ? &textsBefore(i) : nullptr;
        const bool compare = before && before->has_value();
        if (compare)
            result.unchanged.assign(texts.size(), false);
        for (size_t p = 0; p < texts.size(); ++p) {
            if (compare && p < (*before)->size() && (**before)[p] == texts[p]) {
                result.unchanged[p] = true;
                continue;
            }
            result.organization.positions.push_back(
                OrganizationJson::decodePosition(Json::parse(texts[p].begin(), texts[p].end())));
        }
        if (i > 0)
            forget(i - 1);
        return result;
    }

    void publish(size_t i, std::optional<std::vector<std::string_view>> texts)
    {
        const std::lock_guard lock(m_mutex);
        m_positionTexts[i].texts = std::move(texts);
        m_positionTexts[i].ready = true;
        m_changed.notify_all();
    }

    // The texts of version i - 1 once its helper has found them; throws when reading stopped.
    const std::optional<std::vector<std::string_view>> &textsBefore(size_t i)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_failed || m_positionTexts[i - 1].ready; });
        if (m_failed)
            throw Failed{};
        return m_positionTexts[i - 1].texts;
    }

    // Only version i + 1 compares with version i's texts (a copy: version i reads its own).
    void forget(size_t i)
    {
        const std::lock_guard lock(m_mutex);
        m_positionTexts[i].texts.reset();
    }

    ArrivingBytes &m_bytes;
    size_t m_ahead = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    // Guarded by m_mutex.
    std::vector<std::string_view> m_elements;
    bool m_scanned = false;
    bool m_failed = false;
    size_t m_next = 0;
    std::deque<std::optional<DecodedVersion>> m_decoded;
    std::deque<PositionTexts> m_positionTexts;
    bool m_freezing = false;
    size_t m_frozen = 0;
    std::deque<std::pair<size_t, const FrozenOrganization *>> m_unvalidated;
    size_t m_validating = 0; // frozen versions not yet validated
    std::map<size_t, std::string> m_invalid;
    // Touched only by the freezing helper, and read once all helpers are done.
    std::vector<Shared<OrganizationRevision>> m_revisions;
};

} // namespace

std::optional<ArraySpans> findArray(std::string_view text, const std::vector<std::string_view> &path)
{
    return scanArray(text, path, [](std::string_view) {});
}

std::optional<Versions> read(ArrivingBytes &bytes, const std::function<bool(size_t, size_t)> &whileDecoding)
{
    return ParallelReader(bytes).run(whileDecoding);
}

} // namespace VersionReading
