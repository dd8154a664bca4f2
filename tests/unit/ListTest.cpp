// The list library: links consistent in both directions through inserts and
// deletes at both ends, iterator moves, element copies, blocks shared by
// pointer lists, and the documented precondition reports.
#include "EngineSource/ll.h"
#include "support/Faults.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

int valueOf(void* pData) { return pData != nullptr ? *static_cast<int*>(pData) : -1; }

void* insert(ll_Iterator* pIt, int nType, int n) { return ll_Insert(pIt, nType, &n, sizeof n); }

// The values walked forwards, once the backward links, the count and
// bInLock have been checked against the walk.
std::vector<int> walk(ll_List* pList)
{
    std::vector<int> values;
    std::vector<ll_Link*> forward, backward;
    ll_Iterator it;
    ll_CreateIterator(&it, pList);
    for (void* p = ll_First(&it); p != nullptr; p = ll_Next(&it)) {
        values.push_back(valueOf(p));
        forward.push_back(it.pCurrent);
    }
    for (ll_Link* pLink = pList->pTail; pLink != nullptr; pLink = pLink->pPrev)
        backward.insert(backward.begin(), pLink);
    EXPECT_EQ(forward, backward);
    EXPECT_EQ(pList->nCount, static_cast<int32_t>(values.size()));
    EXPECT_EQ(pList->bInLock, 0);
    return values;
}

class ListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ll_CreateList(&m_list, ll_kDataList);
        ll_CreateIterator(&m_it, &m_list);
    }
    void TearDown() override { ll_DestroyList(&m_list); }
    ll_List m_list;
    ll_Iterator m_it;
};

TEST_F(ListTest, IteratorStopsAtTheEndsAndDeletesMoveIt)
{
    EXPECT_EQ(ll_First(&m_it), nullptr);
    EXPECT_EQ(m_it.pCurrent, nullptr);
    EXPECT_EQ(ll_Next(&m_it), nullptr);
    for (int n : {1, 2, 3, 4})
        ll_AddTail(&m_list, &n, sizeof n);
    EXPECT_EQ(valueOf(ll_Last(&m_it)), 4);
    EXPECT_EQ(ll_Next(&m_it), nullptr);    // stays on the last link
    EXPECT_EQ(valueOf(ll_DeleteCurrent(&m_it)), 3);
    ll_First(&m_it);
    EXPECT_EQ(valueOf(ll_Next(&m_it)), 2);
    EXPECT_EQ(valueOf(ll_DeleteCurrent(&m_it)), 3);    // moves on, not back
    EXPECT_EQ(valueOf(ll_First(&m_it)), 1);
    EXPECT_EQ(valueOf(ll_DeleteCurrent(&m_it)), 3);
    EXPECT_EQ(walk(&m_list), std::vector<int>{3});
    EXPECT_EQ(ll_DeleteCurrent(&m_it), nullptr);
    EXPECT_TRUE(m_list.pHead == nullptr && m_list.pTail == nullptr && ll_IsEmpty(&m_list));
}

TEST_F(ListTest, InsertsAroundTheCurrentLinkWithoutMoving)
{
    EXPECT_EQ(insert(&m_it, ll_kAfter, 5), nullptr);
    ll_First(&m_it);
    EXPECT_EQ(valueOf(insert(&m_it, ll_kBefore, 1)), 5);
    EXPECT_EQ(valueOf(insert(&m_it, ll_kBefore, 2)), 5);
    EXPECT_EQ(valueOf(insert(&m_it, ll_kAfter, 9)), 5);
    EXPECT_EQ(valueOf(insert(&m_it, ll_kAfter, 8)), 5);
    ll_First(&m_it);
    insert(&m_it, ll_kBefore, 0);
    EXPECT_EQ(walk(&m_list), (std::vector<int>{0, 1, 2, 5, 8, 9}));

    // An iterator without a link on a list that has links meanwhile adds at
    // the named end instead of dropping them.
    ScopedAssertCapture asserts;
    m_it.pCurrent = nullptr;
    insert(&m_it, ll_kAfter, 10);
    insert(&m_it, ll_kBefore, -1);
    EXPECT_EQ(walk(&m_list), (std::vector<int>{-1, 0, 1, 2, 5, 8, 9, 10}));
    EXPECT_EQ(asserts.texts(), (std::vector<std::string>(2, "ll_IsEmpty( pIt->pList )")));
}

TEST_F(ListTest, DataListsCopyPointerListsShareBlocks)
{
    char record[202];
    memset(record, 'a', sizeof record);
    ll_AddTail(&m_list, record, sizeof record);
    memset(record, 'b', sizeof record);
    EXPECT_EQ(std::string(static_cast<char*>(ll_First(&m_it)), 202), std::string(202, 'a'));

    ll_List first, second;
    ll_CreateList(&first, ll_kPointerList);
    ll_CreateList(&second, ll_kPointerList);
    int* pShared = static_cast<int*>(ll_alloc(sizeof(int)));
    *pShared = 42;
    ll_Iterator it;
    ll_CreateIterator(&it, &first);
    ll_Insert(&it, ll_kAfter, pShared, sizeof(int));
    ll_CreateIterator(&it, &second);
    ll_Insert(&it, ll_kAfter, pShared, sizeof(int));
    ll_Free(pShared);    // still linked twice: stays
    int nLocal = 7;
    ll_AddTail(&second, &nLocal, sizeof nLocal);    // a copy, never the local
    ll_DestroyList(&first);
    EXPECT_EQ(walk(&second), (std::vector<int>{42, 7}));
    ll_DestroyList(&second);    // its last link frees the block
}

TEST_F(ListTest, ReportsBrokenPreconditionsAndLinksNothingBad)
{
    ScopedAssertCapture asserts;
    int n = 1;
    ll_Insert(&m_it, 3, &n, sizeof n);
    ll_Insert(&m_it, ll_kAfter, nullptr, 4);
    ll_Insert(&m_it, ll_kAfter, &n, 0);
    ll_AddTail(&m_list, nullptr, 4);
    ll_AddTail(&m_list, &n, 0);
    ll_AddTail(nullptr, &n, sizeof n);
    ll_DeleteCurrent(nullptr);
    ll_DeleteCurrent(&m_it);
    ll_Free(nullptr);
    ll_List bad;
    ll_CreateList(&bad, 0);
    ll_AddTail(&bad, &n, sizeof n);
    ll_DestroyList(&bad);
    EXPECT_EQ(asserts.texts(), (std::vector<std::string>{
        "(nType == ll_kAfter) || (nType == ll_kBefore)", "pData != NULL", "nSize != 0", "nSize > 0",
        "os_CheckPointer (pAllocData)", "os_CheckPointer ((void *) pData)", "nSize > 0", "pList != NULL",
        "pIt != NULL", "pIt->pCurrent != NULL", "pData",
        "(ListType & ll_kPointerList) || (ListType & ll_kDataList)", "pList->ListType & ll_kDataList"}));
    EXPECT_EQ(walk(&m_list), std::vector<int>{1});    // the bad position went after
}

TEST_F(ListTest, ConcurrentAppendsKeepTheLinksWhole)
{
    auto append = [this] {
        for (int n = 0; n < 1000; ++n)
            ll_AddTail(&m_list, &n, sizeof n);
    };
    std::thread first(append), second(append);
    first.join();
    second.join();
    EXPECT_EQ(walk(&m_list).size(), 2000u);
}

}  // namespace
