#include "core/chart/dotted_routing_arrays.h"

#include "core/chart/dotted_routing_cells.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace {

using DottedRouting::CellRecord;
using DottedRouting::GridArray;

// How many pages of [at, at + bytes) are in memory.
size_t residentPages(const void *at, size_t bytes)
{
    const auto page = size_t(sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> resident((bytes + page - 1) / page);
    EXPECT_EQ(mincore(const_cast<void *>(at), bytes, resident.data()), 0);
    return size_t(std::count_if(resident.begin(), resident.end(), [](unsigned char flags) { return flags & 1; }));
}

struct Seven {
    int value = 7;
};

} // namespace

// A grid of a large chart is hundreds of megabytes: making it must not write them all (a
// router stopped before its search reached most of them would still wait for that).
TEST(DottedRoutingArrays, LargeArrayTakesNoMemoryUntilUsed)
{
    const size_t count = (size_t(64) << 20) / sizeof(CellRecord);
    GridArray<CellRecord> records(count);
    EXPECT_EQ(residentPages(records.data(), count * sizeof(CellRecord)), 0u);
    for (const size_t at : {size_t(0), count / 2, count - 1}) {
        EXPECT_EQ(records[at].best, CellRecord{}.best);
        EXPECT_EQ(records[at].word.info, 0);
        EXPECT_EQ(records[at].parent, CellRecord{}.parent);
    }
    // An element whose value is not zero bytes is still made with its value.
    GridArray<Seven> sevens((size_t(4) << 20) / sizeof(Seven));
    EXPECT_EQ(sevens[0].value, 7);
    EXPECT_EQ(sevens[sevens.size() - 1].value, 7);
}
