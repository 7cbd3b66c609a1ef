#include "core/support/json_read_parser.h"

#include "core/support/strict_json_builder.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace JsonRead {

namespace {

enum class Token {
    beginArray,
    endArray,
    beginObject,
    endObject,
    colon,
    comma,
    string,
    unsignedNumber,
    integer,
    floating,
    literalTrue,
    literalFalse,
    literalNull,
    end, // the end of the text, or a NUL byte
    error,
};

// What a token is scanned for: a value or key is kept, a token where neither can stand is
// only checked (its end is where the text fails).
enum class Want { nothing, value, key };

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(int c)
{
    return c >= '0' && c <= '9';
}

// Bytes a string holds as they are: printable ASCII but the quote and the backslash.
constexpr std::array<bool, 256> plainBytes = [] {
    std::array<bool, 256> table{};
    for (int c = 0x20; c < 0x80; ++c)
        table[size_t(c)] = c != '"' && c != '\\';
    return table;
}();

// The first offset from `from` on, below `end`, whose byte a string does not hold as it is.
size_t skipPlain(const char *data, size_t from, size_t end)
{
    const size_t near = std::min(end, from + 16); // most strings are short
    while (from < near && plainBytes[static_cast<unsigned char>(data[from])])
        ++from;
#if defined(__SSE2__)
    if (from < near)
        return from;
    for (; from + 16 <= end; from += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + from));
        // Signed, bytes from 0x80 on are below 0x20 too.
        const __m128i special = _mm_or_si128(_mm_cmplt_epi8(bytes, _mm_set1_epi8(0x20)),
                                             _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')),
                                                          _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'))));
        if (_mm_movemask_epi8(special) != 0)
            break;
    }
#endif
    while (from < end && plainBytes[static_cast<unsigned char>(data[from])])
        ++from;
    return from;
}

size_t utf8Length(int codepoint)
{
    return codepoint < 0x80 ? 1 : codepoint <= 0x7FF ? 2 : codepoint <= 0xFFFF ? 3 : 4;
}

void appendUtf8(std::string &out, int codepoint)
{
    const auto c = [](unsigned value) { return char(value); };
    const unsigned u = unsigned(codepoint);
    if (u < 0x80) {
        out += c(u);
    } else if (u <= 0x7FF) {
        out += c(0xC0 | (u >> 6));
        out += c(0x80 | (u & 0x3F));
    } else if (u <= 0xFFFF) {
        out += c(0xE0 | (u >> 12));
        out += c(0x80 | ((u >> 6) & 0x3F));
        out += c(0x80 | (u & 0x3F));
    } else {
        out += c(0xF0 | (u >> 18));
        out += c(0x80 | ((u >> 12) & 0x3F));
        out += c(0x80 | ((u >> 6) & 0x3F));
        out += c(0x80 | (u & 0x3F));
    }
}

int hexValue(int c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Whether a number that no double holds (std::from_chars says only that) is too large,
// rather than too small: the place of its first significant digit, with its exponent.
bool isTooLarge(std::string_view number)
{
    size_t i = number.starts_with('-') ? 1 : 0;
    long place = 0;
    bool significant = false;
    for (; i < number.size() && isDigit(number[i]); ++i) {
        significant = significant || number[i] != '0';
        place += significant ? 1 : 0;
    }
    if (i < number.size() && number[i] == '.') {
        for (++i; i < number.size() && isDigit(number[i]) && !significant; ++i) {
            significant = number[i] != '0';
            place -= significant ? 0 : 1;
        }
        while (i < number.size() && isDigit(number[i]))
            ++i;
    }
    long exponent = 0;
    if (i < number.size()) { // 'e' or 'E'
        const bool negative = number[i + 1] == '-';
        for (i += number[i + 1] == '+' || negative ? 2 : 1; i < number.size(); ++i)
            exponent = std::min(exponent * 10 + (number[i] - '0'), 1'000'000'000L);
        exponent = negative ? -exponent : exponent;
    }
    return place + exponent > 0;
}

template <typename Handler>
class Parser {
public:
    Parser(Handler &handler, const ParseInput &input)
        : m_handler(handler), m_input(input), m_data(input.data), m_available(input.available)
    {
    }

    ParseOutcome run()
    {
        ParseOutcome outcome;
        if (!skipByteOrderMark() || !value()) {
            if (m_failure != 0) // else the handler stopped
                outcome.failure = m_failure;
            outcome.outOfRange = m_outOfRange;
            return outcome;
        }
        const Token last = scan(Want::nothing);
        if (last != Token::end || m_nul) {
            outcome.failure = m_end;
            outcome.atNul = last == Token::end;
        }
        return outcome;
    }

private:
    // Whether byte `i` is there, waiting for it while the text arrives.
    bool has(size_t i)
    {
        if (i < m_available)
            return true;
        if (!m_input.more)
            return false;
        m_available = m_input.more(i);
        return i < m_available;
    }

    // Byte `i`, or -1 past the end of the text.
    int byteAt(size_t i) { return has(i) ? static_cast<unsigned char>(m_data[i]) : -1; }

    // The token failed at byte `i` (the end of the text when it lies there).
    Token fail(size_t i)
    {
        m_end = i + 1;
        return Token::error;
    }

    // The text fails at 1-based byte `byte`.
    bool failedAt(size_t byte)
    {
        m_failure = byte;
        return false;
    }

    // A mark at the start is passed over; a broken one fails there.
    bool skipByteOrderMark()
    {
        if (byteAt(0) != 0xEF)
            return true;
        if (byteAt(1) != 0xBB)
            return failedAt(2);
        if (byteAt(2) != 0xBF)
            return failedAt(3);
        m_at = 3;
        return true;
    }

    // The value that starts with the next token, handed on as the library's parser reads it.
    // False when the text fails (m_failure) or the handler stops.
    bool value()
    {
        std::vector<bool> open; // the containers the place lies in: true for an array
        Token token = scan(Want::value);
        while (true) {
            if (token == Token::beginObject || token == Token::beginArray) {
                const bool array = token == Token::beginArray;
                bool empty = false;
                if (!openContainer(array, token, empty))
                    return false;
                if (!empty) {
                    open.push_back(array);
                    continue; // `token` starts its first value
                }
            } else if (!scalar(token)) {
                return false;
            }
            if (!closeEnded(open, token))
                return false;
            if (open.empty())
                return true;
        }
    }

    // After a '{' or '[': hands on the container's start, and closes it when it is `empty`;
    // else sets `token` to what starts its first value, past the first key and colon.
    bool openContainer(bool array, Token &token, bool &empty)
    {
        if (!(array ? m_handler.start_array() : m_handler.start_object()))
            return false;
        if (array)
            skipElementsReadElsewhere();
        token = scan(array ? Want::value : Want::key);
        empty = token == (array ? Token::endArray : Token::endObject);
        if (empty)
            return array ? m_handler.end_array() : m_handler.end_object();
        if (array)
            return true;
        if (!member(token))
            return false;
        token = scan(Want::value);
        return true;
    }

    // A value that is no container, `token`; it fails where no value can stand.
    bool scalar(Token token)
    {
        switch (token) {
        case Token::floating:
            if (!std::isfinite(m_float)) {
                m_outOfRange = true;
                return failedAt(m_end);
            }
            return m_handler.number_float(m_float);
        case Token::literalFalse:
        case Token::literalTrue: return m_handler.boolean(token == Token::literalTrue);
        case Token::literalNull: return m_handler.null();
        case Token::integer: return m_handler.number_integer(m_integer);
        case Token::unsignedNumber: return m_handler.number_unsigned(m_unsigned);
        case Token::string: return m_handler.string(m_string);
        default: return failedAt(m_end); // a failed token, or one where no value can stand
        }
    }

    // A value has ended: closes the containers it ends, up to one that goes on, and sets
    // `token` to what starts that one's next value.
    bool closeEnded(std::vector<bool> &open, Token &token)
    {
        while (!open.empty()) {
            const bool array = open.back();
            token = scan(Want::nothing);
            if (token == Token::comma) {
                token = scan(array ? Want::value : Want::key);
                if (array)
                    return true;
                if (!member(token))
                    return false;
                token = scan(Want::value);
                return true;
            }
            if (token != (array ? Token::endArray : Token::endObject))
                return failedAt(m_end);
            if (!(array ? m_handler.end_array() : m_handler.end_object()))
                return false;
            open.pop_back();
        }
        return true;
    }

    // A member's key, `token`, and its colon.
    bool member(Token token)
    {
        if (token != Token::string)
            return failedAt(m_end);
        if (!m_handler.key(m_string, m_start))
            return false;
        if (scan(Want::nothing) != Token::colon)
            return failedAt(m_end);
        return true;
    }

    // At the '[' just read: when its elements are read elsewhere, the place moves to its ']'.
    void skipElementsReadElsewhere()
    {
        const auto &skipped = m_input.skipped;
        while (m_nextSkipped < skipped.size() && skipped[m_nextSkipped].first < m_start)
            ++m_nextSkipped;
        if (m_nextSkipped < skipped.size() && skipped[m_nextSkipped].first == m_start)
            m_at = skipped[m_nextSkipped++].second;
    }

    Token scan(Want want)
    {
        while (true) {
            m_at = skipWhiteSpace(m_data, m_at, m_available);
            if (m_at < m_available || !has(m_at))
                break;
        }
        m_start = m_at;
        m_nul = false;
        const int c = byteAt(m_at);
        switch (c) {
        case -1: m_end = m_at + 1; return Token::end;
        case '\0':
            m_nul = true;
            m_end = m_at + 1;
            return Token::end;
        case '[': return structural(Token::beginArray);
        case ']': return structural(Token::endArray);
        case '{': return structural(Token::beginObject);
        case '}': return structural(Token::endObject);
        case ':': return structural(Token::colon);
        case ',': return structural(Token::comma);
        case 't': return literal("true", Token::literalTrue);
        case 'f': return literal("false", Token::literalFalse);
        case 'n': return literal("null", Token::literalNull);
        case '"': return string(want == Want::key || (want == Want::value && Handler::keepsValues));
        default:
            if (c == '-' || isDigit(c))
                return number(want == Want::value);
            return fail(m_at);
        }
    }

    Token structural(Token token)
    {
        m_end = ++m_at;
        return token;
    }

    Token literal(std::string_view text, Token token)
    {
        for (size_t i = 1; i < text.size(); ++i) {
            if (byteAt(m_start + i) != text[i])
                return fail(m_start + i);
        }
        m_end = m_at = m_start + text.size();
        return token;
    }

    // The string whose quote is at m_start: checked whole first, so that a string that
    // fails costs no copy, then copied at its size when `keep`.
    Token string(bool keep)
    {
        size_t i = m_start + 1;
        size_t saved = 0; // bytes the escapes take beyond what they stand for
        while (true) {
            i = skipPlain(m_data, i, m_available);
            if (!has(i))
                return fail(i);
            const auto c = static_cast<unsigned char>(m_data[i]);
            if (plainBytes[c])
                continue;
            if (c == '"')
                break;
            if (c < 0x20)
                return fail(i);
            const size_t length = c == '\\' ? escape(i, saved) : utf8Sequence(i);
            if (length == 0)
                return Token::error;
            i += length;
        }
        m_end = m_at = i + 1;
        if (keep)
            copyString(i, saved);
        return Token::string;
    }

    // The escape at `i`: how many bytes it takes, or 0 when it fails.
    size_t escape(size_t i, size_t &saved)
    {
        switch (byteAt(i + 1)) {
        case '"':
        case '\\':
        case '/':
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't': saved += 1; return 2;
        case 'u': break;
        default: fail(i + 1); return 0;
        }
        const int first = hex4(i + 2);
        if (first < 0)
            return 0;
        if (first >= 0xDC00 && first <= 0xDFFF) {
            fail(i + 5);
            return 0;
        }
        if (first < 0xD800 || first > 0xDBFF) {
            saved += 6 - utf8Length(first);
            return 6;
        }
        const size_t next = i + 6;
        if (byteAt(next) != '\\') {
            fail(next);
            return 0;
        }
        if (byteAt(next + 1) != 'u') {
            fail(next + 1);
            return 0;
        }
        const int second = hex4(next + 2);
        if (second < 0)
            return 0;
        if (second < 0xDC00 || second > 0xDFFF) {
            fail(next + 5);
            return 0;
        }
        saved += 12 - 4;
        return 12;
    }

    // The four hex digits at `i`, or -1 when one is not.
    int hex4(size_t i)
    {
        int value = 0;
        for (size_t k = 0; k < 4; ++k) {
            const int digit = hexValue(byteAt(i + k));
            if (digit < 0) {
                fail(i + k);
                return -1;
            }
            value = value * 16 + digit;
        }
        return value;
    }

    // The UTF-8 sequence that starts at `i`: how many bytes it takes, or 0 when it is not
    // well formed. The byte after the lead has a narrower range where a wider one would
    // allow an overlong form, a surrogate or a code point past U+10FFFF.
    size_t utf8Sequence(size_t i)
    {
        const int lead = byteAt(i);
        int low = 0x80;
        int high = 0xBF;
        size_t following = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            following = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            following = 2;
            low = lead == 0xE0 ? 0xA0 : low;
            high = lead == 0xED ? 0x9F : high;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            following = 3;
            low = lead == 0xF0 ? 0x90 : low;
            high = lead == 0xF4 ? 0x8F : high;
        } else {
            fail(i);
            return 0;
        }
        for (size_t k = 1; k <= following; ++k) {
            const int c = byteAt(i + k);
            if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF)) {
                fail(i + k);
                return 0;
            }
        }
        return following + 1;
    }

    // The checked string between m_start and its closing quote at `close`.
    void copyString(size_t close, size_t saved)
    {
        const char *from = m_data + m_start + 1;
        const size_t raw = close - m_start - 1;
        if (saved == 0) {
            m_string.assign(from, raw);
            return;
        }
        m_string.clear();
        m_string.reserve(raw - saved);
        for (size_t i = 0; i < raw;) {
            size_t plain = i;
            while (plain < raw && from[plain] != '\\')
                ++plain;
            m_string.append(from + i, plain - i);
            if (plain == raw)
                break;
            const char kind = from[plain + 1];
            i = plain + 2;
            switch (kind) {
            case 'b': m_string += '\b'; continue;
            case 'f': m_string += '\f'; continue;
            case 'n': m_string += '\n'; continue;
            case 'r': m_string += '\r'; continue;
            case 't': m_string += '\t'; continue;
            case 'u': break;
            default: m_string += kind; continue;
            }
            const auto hex = [&](size_t at) {
                int value = 0;
                for (size_t k = 0; k < 4; ++k)
                    value = value * 16 + hexValue(from[at + k]);
                return value;
            };
            int codepoint = hex(i);
            i += 4;
            if (codepoint >= 0xD800 && codepoint <= 0xDBFF) {
                codepoint = 0x10000 + ((codepoint - 0xD800) << 10) + (hex(i + 2) - 0xDC00);
                i += 6;
            }
            appendUtf8(m_string, codepoint);
        }
    }

    // The number that starts at m_start, its value read when `read`.
    Token number(bool read)
    {
        size_t i = m_start;
        int c = byteAt(i);
        const bool negative = c == '-';
        if (negative && !isDigit(c = byteAt(++i)))
            return fail(i);
        if (c == '0') {
            c = byteAt(++i);
        } else {
            while (isDigit(c = byteAt(++i))) {
            }
        }
        bool floating = false;
        if (c == '.') {
            floating = true;
            if (!isDigit(c = byteAt(++i)))
                return fail(i);
            while (isDigit(c = byteAt(++i))) {
            }
        }
        if (c == 'e' || c == 'E') {
            floating = true;
            c = byteAt(++i);
            if (c == '+' || c == '-')
                c = byteAt(++i);
            if (!isDigit(c))
                return fail(i);
            while (isDigit(c = byteAt(++i))) {
            }
        }
        m_end = m_at = i; // the byte after the number is read again as the next token's
        if (!read)
            return floating ? Token::floating : negative ? Token::integer : Token::unsignedNumber;
        const char *first = m_data + m_start;
        const char *last = m_data + i;
        // Integers as the library reads them: unsigned unless negative, a double when too large.
        if (!floating && !negative && std::from_chars(first, last, m_unsigned).ec == std::errc())
            return Token::unsignedNumber;
        if (!floating && negative && std::from_chars(first, last, m_integer).ec == std::errc())
            return Token::integer;
        if (std::from_chars(first, last, m_float).ec != std::errc()) {
            const double magnitude = isTooLarge({first, i - m_start}) ? std::numeric_limits<double>::infinity() : 0.0;
            m_float = negative ? -magnitude : magnitude;
        }
        return Token::floating;
    }

    Handler &m_handler;
    const ParseInput &m_input;
    const char *m_data;
    size_t m_available;
    size_t m_at = 0;          // the next byte to read
    size_t m_start = 0;       // where the last token starts
    size_t m_end = 0;         // the 1-based byte the last token ends at, or failed at
    bool m_nul = false;       // the last token is the end at a NUL byte
    size_t m_failure = 0;     // the 1-based byte the text failed at; 0 while it has not
    bool m_outOfRange = false;
    size_t m_nextSkipped = 0; // the first of m_input.skipped not passed yet
    std::string m_string;
    uint64_t m_unsigned = 0;
    int64_t m_integer = 0;
    double m_float = 0;
};

} // namespace

std::size_t skipWhiteSpace(const char *data, std::size_t from, std::size_t end)
{
    // Indentation is short: bytes one at a time first.
    const std::size_t near = std::min(end, from + 16);
    while (from < near && isSpace(data[from]))
        ++from;
#if defined(__SSE2__)
    if (from < near)
        return from;
    for (; from + 16 <= end; from += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + from));
        const __m128i space = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')),
                                                        _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))),
                                           _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')),
                                                        _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t'))));
        if (_mm_movemask_epi8(space) != 0xFFFF)
            break;
    }
#endif
    while (from < end && isSpace(data[from]))
        ++from;
    return from;
}

template <typename Handler>
ParseOutcome parseText(Handler &handler, const ParseInput &input)
{
    return Parser<Handler>(handler, input).run();
}

template ParseOutcome parseText<StrictBuilder>(StrictBuilder &, const ParseInput &);
template ParseOutcome parseText<KeyChecker>(KeyChecker &, const ParseInput &);

} // namespace JsonRead
