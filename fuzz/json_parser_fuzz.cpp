// Our JSON parser must read any bytes as the JSON library's parser does: fail at the same
// byte, refuse the same repeated key, build the same value, whole or arriving in pieces.
// The first difference aborts, with both outcomes.
#include "tests/core/support/json_oracle.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    // Where the first piece ends and how large the next ones are, from the bytes themselves.
    const size_t first = size == 0 ? 0 : (data[0] * 256u + data[size - 1]) % (size + 1);
    const size_t step = size == 0 ? 0 : data[size / 2] % 4;
    const std::string difference = JsonOracle::difference(text, first, [step] { return step; });
    if (!difference.empty()) {
        std::fprintf(stderr, "read differently (%zu bytes, first piece %zu, then %zu more at a time):\n%s", size,
                     first, step + 1, difference.c_str());
        std::abort();
    }
    return 0;
}
