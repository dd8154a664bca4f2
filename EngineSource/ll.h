// Linked lists: the engine's doubly linked list, one recursive mutex per
// list, walked through separate iterator records. Elements are heap blocks
// with a reference count; a data list stores a copy of the caller's bytes
// and frees it when its link is deleted.
//
// Every operation holds the list's mutex for its own duration only (and sets
// bInLock meanwhile), so single operations are atomic but a walk is not.
// A walk: ll_CreateIterator, ll_First, ll_Next until it returns null,
// ll_DestroyIterator. Failed preconditions are reported through os_Assert
// with the text of the condition; the operation goes on where it safely can
// and otherwise returns null or does nothing.
#ifndef NORVANE_ENGINESOURCE_LL_H
#define NORVANE_ENGINESOURCE_LL_H

#include "EngineSource/OSWIN32.h"

#include <cstdint>

constexpr uint16_t ll_kPointerList = 1;    // links blocks from ll_alloc, no copy
constexpr uint16_t ll_kDataList = 2;       // links copies it owns

constexpr int ll_kBefore = 1;
constexpr int ll_kAfter = 2;

struct ll_Item;

struct ll_Link {
    ll_Link* pNext;    // following link, null for the last
    ll_Link* pPrev;    // preceding link, null for the first
    ll_Item* pItem;    // the element block
};

// The list header, owned by whoever declares it.
struct ll_List {
    ll_Link* pHead;       // first link, null when empty
    ll_Link* pTail;       // last link, null when empty
    uint16_t ListType;    // ll_kPointerList and/or ll_kDataList
    int32_t nCount;       // number of links
    os_Mutex mutex;       // held by every operation for its duration
    int32_t bInLock;      // 1 while an operation holds the mutex
};

// A cursor over a list, owned by the caller; holds no lock between calls.
struct ll_Iterator {
    ll_List* pList;       // the list walked
    ll_Link* pCurrent;    // the current link, or null
};

// Empties the header and creates its mutex; ListType must name a kind.
void ll_CreateList(ll_List* pList, uint16_t ListType);
// Deletes every link and releases its element, then deletes the mutex. The
// header itself belongs to its owner and may be created again.
void ll_DestroyList(ll_List* pList);
// 1 when the list has no link, else 0 (also 1 for a null list).
int ll_IsEmpty(ll_List* pList);

// Points the iterator at the list's first link at this moment (or null).
void ll_CreateIterator(ll_Iterator* pIt, ll_List* pList);
// Clears both fields.
void ll_DestroyIterator(ll_Iterator* pIt);

// Each moves the iterator and returns the data of the new current link:
// ll_First to the first link, ll_Last to the last (both null on an empty
// list, leaving pCurrent null); ll_Next to the following link, or, at the
// end (or with no current link), returns null and stays where it is.
void* ll_First(ll_Iterator* pIt);
void* ll_Last(ll_Iterator* pIt);
void* ll_Next(ll_Iterator* pIt);

// Links a new element before (ll_kBefore) or after (ll_kAfter) the current
// link: for a data list a copy of nSize bytes of pData, for a pointer list
// the block pData from ll_alloc itself (its reference count goes up); a
// list of neither kind copies. With no current link the list should be
// empty and the element becomes its only link; on a non-empty list it then
// goes first (before) or last (after).
// The iterator does not move. Returns the current link's data, or null when
// the iterator had none. Nothing is linked when pData is null, nSize is not
// positive or memory runs out.
void* ll_Insert(ll_Iterator* pIt, int nType, const void* pData, int32_t nSize);

// Appends a copy of nSize (> 0) bytes of pData to a data list. On a pointer
// list that is reported, and the copy is linked all the same.
void ll_AddTail(ll_List* pList, const void* pData, int32_t nSize);

// Unlinks and frees the current link and releases its element. The iterator
// moves to the following link, or to the preceding one when the deleted link
// was last. Returns the new current data, or null when the list became empty
// (or there was no current link).
void* ll_DeleteCurrent(ll_Iterator* pIt);

// A new element block of nSize (> 0) data bytes with reference count 0;
// returns its data pointer, or null when nSize is not positive or memory
// runs out. Release it with ll_Free.
void* ll_alloc(int32_t nSize);
// Frees the element block of a data pointer once no link refers to it;
// otherwise leaves it. A null pointer is ignored.
void ll_Free(void* pData);

#endif
