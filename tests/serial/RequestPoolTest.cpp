#include <gtest/gtest.h>

#include <vector>

#include "serial/RequestPool.h"

namespace {

TEST(RequestPool, HandsOutDistinctZeroedRecordsUntilTheBudgetIsSpent) {
    const std::size_t budget = 10 * sizeof(WriteRequest) + sizeof(WriteRequest) / 2;
    CRequestPool pool(budget);
    ASSERT_TRUE(pool.Valid());
    std::vector<WriteRequest*> records;
    for (WriteRequest* r = pool.Allocate(); r != nullptr; r = pool.Allocate()) {
        EXPECT_EQ(r->kind, 0);
        EXPECT_EQ(r->data, nullptr);
        EXPECT_EQ(r->next, nullptr);
        r->kind = WRITE_BLOCK;
        r->next = r;
        records.push_back(r);
        ASSERT_LE(records.size(), 10U);
    }
    EXPECT_EQ(records.size(), 10U);
    EXPECT_EQ(pool.Allocate(), nullptr);

    // A released record comes back zeroed.
    ASSERT_TRUE(pool.Release(records[3]));
    WriteRequest* again = pool.Allocate();
    ASSERT_EQ(again, records[3]);
    EXPECT_EQ(again->kind, 0);
    EXPECT_EQ(again->next, nullptr);
}

TEST(RequestPool, RefusesForeignAndFreeRecords) {
    CRequestPool pool(4 * sizeof(WriteRequest));
    WriteRequest outsider{};
    EXPECT_FALSE(pool.Release(&outsider));
    EXPECT_FALSE(pool.Release(nullptr));
    WriteRequest* r = pool.Allocate();
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(pool.Release(r));
    EXPECT_FALSE(pool.Release(r));
}

}  // namespace
