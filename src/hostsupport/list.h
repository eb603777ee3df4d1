// The driver's two owning lists: CList of CListElem and CBList of
// CBListElem.
//
// The links live inside the elements, so appending never allocates and
// cannot fail on memory. A list keeps its elements in the order they were
// appended and owns them: Clear and the list's destruction destroy every
// element with hostsupport::Delete, so elements must be made with
// hostsupport::New. An element belongs to at most one list at a time.
//
// Each list has one cursor of its own. First and Next move it and report the
// element under it; RemoveCurrent unlinks that element (the caller then owns
// it) and leaves the cursor on the element that followed, which Current
// reports. The usual walk that drops some elements:
//
//     CListElem* element;
//     bool more = list.First(&element);
//     while (more) {
//         if (Unwanted(element)) {
//             list.RemoveCurrent();
//             hostsupport::Delete(element);
//             more = list.Current(&element);
//         } else {
//             more = list.Next(&element);
//         }
//     }
//
// Lists are not locked; an owner that shares one between threads guards it.
#pragma once

#include "hostsupport/class.h"
#include "hostsupport/memory.h"

namespace hostsupport {
template <class Elem>
class ElementList;
}

class CListElem : public CLASS {
public:
    CListElem() = default;
    CListElem(const CListElem&) = delete;
    CListElem& operator=(const CListElem&) = delete;
    virtual ~CListElem();

private:
    friend class hostsupport::ElementList<CListElem>;
    CListElem* listNext = nullptr;
};

class CBListElem : public CLASS {
public:
    CBListElem() = default;
    CBListElem(const CBListElem&) = delete;
    CBListElem& operator=(const CBListElem&) = delete;
    virtual ~CBListElem();

private:
    friend class hostsupport::ElementList<CBListElem>;
    CBListElem* listNext = nullptr;
};

namespace hostsupport {

// The one implementation behind both list kinds.
template <class Elem>
class ElementList : public CLASS {
public:
    ElementList() = default;
    ElementList(const ElementList&) = delete;
    ElementList& operator=(const ElementList&) = delete;
    ~ElementList() { Clear(); }

    // The element goes to the end and the list takes it over. False only
    // for a null element.
    bool Append(Elem* element)
    {
        if (element == nullptr)
            return false;
        element->listNext = nullptr;
        if (tail != nullptr)
            tail->listNext = element;
        else
            head = element;
        tail = element;
        ++count;
        return true;
    }

    // Cursor to the first element; true when there is one. *cursorElement
    // (when given) receives the element, or null.
    bool First(Elem** cursorElement)
    {
        previous = nullptr;
        cursor = head;
        return Current(cursorElement);
    }

    // Cursor one element on; at the end it stays there and reports false.
    bool Next(Elem** cursorElement)
    {
        if (cursor != nullptr) {
            previous = cursor;
            cursor = cursor->listNext;
        }
        return Current(cursorElement);
    }

    // The element under the cursor; false (and null) at the end.
    bool Current(Elem** cursorElement)
    {
        if (cursorElement != nullptr)
            *cursorElement = cursor;
        return cursor != nullptr;
    }

    // Unlinks the element under the cursor without destroying it; the
    // cursor then stands on the element that followed. Nothing at the end.
    void RemoveCurrent()
    {
        if (cursor == nullptr)
            return;
        Elem* removed = cursor;
        cursor = removed->listNext;
        if (previous != nullptr)
            previous->listNext = cursor;
        else
            head = cursor;
        if (tail == removed)
            tail = previous;
        removed->listNext = nullptr;
        --count;
    }

    // Destroys every element. The list is emptied before the first
    // destructor runs, so no destructor ever sees a half-cleared list.
    void Clear()
    {
        Elem* element = head;
        head = tail = cursor = previous = nullptr;
        count = 0;
        while (element != nullptr) {
            Elem* following = element->listNext;
            element->listNext = nullptr;
            Delete(element);
            element = following;
        }
    }

    int Count() const { return count; }

private:
    Elem* head = nullptr;
    Elem* tail = nullptr;
    Elem* cursor = nullptr;
    Elem* previous = nullptr; // the element before the cursor, null at the front
    int count = 0;
};

} // namespace hostsupport

class CList : public hostsupport::ElementList<CListElem> {};
class CBList : public hostsupport::ElementList<CBListElem> {};
