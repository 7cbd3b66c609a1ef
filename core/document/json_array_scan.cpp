#include "core/document/json_array_scan.h"

#include "core/document/arriving_bytes.h"
#include "core/support/json_read_parser.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace JsonArrayScan {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

// The bytes that matter inside a value nobody looks into: strings and brackets, and NUL,
// which no JSON text holds: the scan stops at the first, where the one-pass reader refuses
// the text, instead of going through whatever follows (a file of NULs is gigabytes of them).
constexpr std::array<bool, 256> structuralBytes = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : {'"', '[', ']', '{', '}', '\0'})
        table[c] = true;
    return table;
}();

#if defined(__SSE2__)
// One bit per byte of a 64-byte block.
struct BlockMasks {
    uint64_t quotes = 0;
    uint64_t backslashes = 0;
    uint64_t nuls = 0;
    uint64_t opens = 0;  // '[' and '{'
    uint64_t closes = 0; // ']' and '}'
};

BlockMasks blockMasks(const char *block)
{
    BlockMasks masks;
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i nul = _mm_setzero_si128();
    const __m128i open = _mm_set1_epi8('{'); // '[' with the 0x20 bit set
    const __m128i close = _mm_set1_epi8('}');
    const __m128i caseBit = _mm_set1_epi8(0x20);
    for (int part = 0; part < 4; ++part) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 16 * part));
        const __m128i folded = _mm_or_si128(bytes, caseBit);
        const auto bits = [&](__m128i equal) { return uint64_t(uint32_t(_mm_movemask_epi8(equal))) << (16 * part); };
        masks.quotes |= bits(_mm_cmpeq_epi8(bytes, quote));
        masks.backslashes |= bits(_mm_cmpeq_epi8(bytes, backslash));
        masks.nuls |= bits(_mm_cmpeq_epi8(bytes, nul));
        masks.opens |= bits(_mm_cmpeq_epi8(folded, open));
        masks.closes |= bits(_mm_cmpeq_epi8(folded, close));
    }
    return masks;
}
#endif

// Follows strings and brackets through one JSON object to the arrays `paths` name (paths
// that start with different keys), calling `element` with each of their elements as soon as
// it ends, and with nothing when the array ends. Outside the members along the paths and the arrays' elements, only strings and
// brackets are looked at: most of a document lies inside versions, so this is the loop the
// whole file goes through.
class ArrayScan {
public:
    // `arriving`, when given, holds the text's bytes as they arrive.
    ArrayScan(std::string_view text, ArrivingBytes *arriving, std::vector<std::vector<std::string_view>> paths,
              const ElementFound &element)
        : m_data(text.data())
        , m_available(text.size())
        , m_arriving(arriving)
        , m_paths(std::move(paths))
        , m_found(m_paths.size())
        , m_element(element)
    {
        for (const auto &path : m_paths)
            m_seen.emplace_back(path.size(), false);
    }

    // Where each array lies (nothing for those not there), or nothing when unsure. Throws
    // ArrivingBytes::Abandoned.
    std::optional<std::vector<std::optional<ArraySpans>>> run()
    {
        const char *data = m_data;
        size_t i = 0;
        while (reach(i)) {
            if (m_depth > m_chain + 1) {
                i = skipBlocks(i);
                if (m_depth == m_chain + 1) { // at the bracket that closes the value
                    m_previous = data[i];
                    m_lastSignificant = i;
                    ++i;
                    continue;
                }
                while (i < m_available && !structuralBytes[static_cast<unsigned char>(data[i])])
                    ++i;
                if (i == m_available)
                    continue;
                if (data[i] == '\0') {
                    m_malformed = true;
                    return std::nullopt;
                }
                if (data[i] == '"') {
                    if (!skipString(i))
                        return std::nullopt;
                } else if (data[i] == '[' || data[i] == '{') {
                    ++m_depth;
                } else if (--m_depth == m_chain + 1) {
                    m_previous = data[i];
                    m_lastSignificant = i;
                }
            } else if (isSpace(data[i])) {
                i = JsonRead::skipWhiteSpace(data, i, m_available);
                continue;
            } else if (m_depth == 0 && m_previous != 0) {
                m_malformed = true; // after the object: what was found stands, and the scan ends here
                break;
            } else if (!member(i)) {
                return std::nullopt;
            }
            ++i;
        }
        if (m_depth != 0 || m_previous == 0) {
            m_malformed = true; // it ends inside the value, or holds none
            return std::nullopt;
        }
        return std::move(m_found);
    }

    // Whether the scan met what no JSON text holds: a NUL byte, a string or value that the
    // text ends inside, anything but white space after the value, a key given twice, a
    // closing bracket of the wrong kind, an empty element.
    bool malformed() const { return m_malformed; }

private:
    static constexpr size_t none = size_t(-1);

    // The path a key among the chain's members continues, or none.
    size_t pathOf(std::string_view key) const
    {
        if (m_chain > 0)
            return key == m_paths[m_active][m_chain] ? m_active : none;
        for (size_t p = 0; p < m_paths.size(); ++p) {
            if (key == m_paths[p][0])
                return p;
        }
        return none;
    }

    // One character among the members along a path (or an array's elements); false when unsure.
    bool member(size_t &i)
    {
        const char c = m_data[i];
        if (isSpace(c))
            return true;
        if (c == '\0')
            return refuse();
        if (m_depth == 0 && c != '{')
            return false; // not one object
        if (m_inArray && m_awaitingElement && c != ']' && c != ',') {
            m_elementStart = i;
            m_awaitingElement = false;
        }
        const bool valueOfPathKey = m_keyPath != none && m_previous == ':';
        if (valueOfPathKey && c != (m_chain + 1 < m_paths[m_keyPath].size() ? '{' : '['))
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
                m_keyPath = pathOf(key);
                if (m_keyPath != none && m_seen[m_keyPath][m_chain])
                    return refuse(); // given twice
            }
            m_previous = '"';
            m_lastSignificant = i;
            return true;
        }
        case '[':
        case '{':
            if (valueOfPathKey) {
                m_seen[m_keyPath][m_chain] = true;
                m_active = m_keyPath;
                m_keyPath = none;
                if (++m_chain == m_paths[m_active].size()) {
                    m_found[m_active].emplace().open = i;
                    m_inArray = true;
                    m_awaitingElement = true;
                }
            }
            ++m_depth;
            break;
        case ']':
        case '}':
            // Here the innermost bracket is the array's or an object's along the path: a
            // closing one of the other kind is not plain JSON, and must not end an element.
            if (m_depth == 0 || c != (m_inArray ? ']' : '}'))
                return refuse();
            if (--m_depth == m_chain && m_chain > 0) {
                if (m_inArray) {
                    if (!m_awaitingElement)
                        endElement();
                    else if (m_previous != '[')
                        return refuse(); // a trailing comma
                    m_found[m_active]->close = i;
                    m_inArray = false;
                    m_element(m_active, std::nullopt);
                }
                --m_chain;
                m_keyPath = none;
            }
            break;
        case ',':
            if (m_inArray) {
                if (m_awaitingElement)
                    return refuse(); // an empty element
                endElement();
            }
            m_keyPath = none;
            break;
        default: break;
        }
        m_previous = c;
        m_lastSignificant = i;
        return true;
    }

    // Inside a value nobody looks into, from `i` outside strings: the bracket that brings the
    // depth back to the members' (m_depth is then theirs), or where the byte loop goes on:
    // outside strings or at a string's opening quote, before a block that holds a backslash
    // or a NUL or has not fully arrived. Strings and brackets of 64 bytes at a time are found with
    // bit masks.
    size_t skipBlocks(size_t i)
    {
#if defined(__SSE2__)
        const size_t floor = m_chain + 1;
        uint64_t inString = 0; // all ones while a string from an earlier block goes on
        size_t openQuote = i;
        for (; i + 64 <= m_available; i += 64) {
            const BlockMasks masks = blockMasks(m_data + i);
            if (masks.backslashes || masks.nuls)
                break;
            uint64_t strings = masks.quotes; // opening quotes up to the closing ones, as prefix parity
            for (int shift = 1; shift < 64; shift *= 2)
                strings ^= strings << shift;
            strings ^= inString;
            const uint64_t opens = masks.opens & ~strings;
            for (uint64_t brackets = (opens | masks.closes) & ~strings; brackets; brackets &= brackets - 1) {
                const int at = std::countr_zero(brackets);
                if (opens >> at & 1) {
                    ++m_depth;
                } else if (--m_depth == floor) {
                    return i + size_t(at);
                }
            }
            if (strings >> 63 && masks.quotes) // the block's last quote opens a string that goes on
                openQuote = i + 63 - size_t(std::countl_zero(masks.quotes));
            inString = strings >> 63 ? ~uint64_t(0) : 0;
        }
        return inString ? openQuote : i;
#else
        return i;
#endif
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

    bool refuse()
    {
        m_malformed = true;
        return false;
    }

    // Moves `i` from a string's opening quote to its closing one; false (and malformed) when
    // it never closes or holds a NUL.
    bool skipString(size_t &i)
    {
        const char *data = m_data;
        size_t end = i + 1;
        while (true) {
            // Strings are mostly short: a plain loop beats a call until the end is far.
            const size_t near = std::min(m_available, end + 32);
            while (end < near && data[end] != '"' && data[end] != '\0')
                ++end;
            if (end < near && data[end] == '\0')
                return refuse();
            if (end == near) {
                const size_t from = end;
                const void *quote = std::memchr(data + end, '"', m_available - end);
                end = quote ? size_t(static_cast<const char *>(quote) - data) : m_available;
                if (std::memchr(data + from, '\0', end - from))
                    return refuse();
                if (!quote) {
                    if (!reach(end))
                        return refuse();
                    continue;
                }
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
        m_found[m_active]->elements.push_back(text);
        m_element(m_active, std::optional(text));
        m_awaitingElement = true;
    }

    const char *m_data;
    size_t m_available; // bytes of the text arrived so far
    ArrivingBytes *m_arriving;
    std::vector<std::vector<std::string_view>> m_paths;
    std::vector<std::vector<bool>> m_seen; // keys of each path met so far
    std::vector<std::optional<ArraySpans>> m_found;
    const ElementFound &m_element;
    size_t m_depth = 0;
    size_t m_chain = 0;        // how many keys of the active path the place lies within
    size_t m_active = 0;       // that path, when m_chain > 0
    size_t m_keyPath = none;   // the path the last key among the chain's members continues
    char m_previous = 0;       // the last character looked at outside strings, not white space
    bool m_inArray = false;
    bool m_malformed = false;
    bool m_awaitingElement = false;
    size_t m_elementStart = 0;
    size_t m_lastSignificant = 0;
};

} // namespace

std::optional<std::vector<std::optional<ArraySpans>>> findArrays(std::string_view text, ArrivingBytes *arriving,
                                                                 std::vector<std::vector<std::string_view>> paths,
                                                                 const ElementFound &found, bool *malformed)
{
    ArrayScan scan(text, arriving, std::move(paths), found);
    std::optional<std::vector<std::optional<ArraySpans>>> arrays = scan.run();
    if (malformed)
        *malformed = scan.malformed();
    return arrays;
}

std::optional<ArraySpans> findArray(std::string_view text, std::vector<std::string_view> path)
{
    bool malformed = false;
    std::optional<std::vector<std::optional<ArraySpans>>> found =
        findArrays(text, nullptr, {std::move(path)}, [](size_t, std::optional<std::string_view>) {}, &malformed);
    return found && !malformed ? std::move(found->front()) : std::nullopt;
}

} // namespace JsonArrayScan
