#pragma once

#include "annotation/AnnotationObject.h"

#include <QList>
#include <QUuid>

#include <compare>
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <memory>

namespace kelpie {

// A list of annotation objects with value semantics, shared object by object.
//
// Copying a list copies one reference; changing one entry copies the list of
// references and that one object, while every other object stays shared with
// the copies (the undo history's states, say). So an undo step on a document
// of 200 objects costs a couple of kilobytes, not a copy of every object.
//
// Reading is through const references (indexing, iteration). Writing is
// through the operations below; the non-const operator[] gives a reference to
// an object this list alone owns, valid until the list is next copied or
// changed.
class AnnotationObjectList {
    using Storage = QList<std::shared_ptr<AnnotationObject>>;

public:
    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using iterator_concept = std::random_access_iterator_tag;
        using value_type = AnnotationObject;
        using difference_type = std::ptrdiff_t;
        using pointer = const AnnotationObject*;
        using reference = const AnnotationObject&;

        const_iterator() = default;
        explicit const_iterator(Storage::const_iterator it) : m_it(it) { }

        reference operator*() const { return **m_it; }
        pointer operator->() const { return m_it->get(); }
        reference operator[](difference_type n) const { return **(m_it + n); }
        const_iterator& operator++()
        {
            ++m_it;
            return *this;
        }
        const_iterator operator++(int) { return const_iterator(m_it++); }
        const_iterator& operator--()
        {
            --m_it;
            return *this;
        }
        const_iterator operator--(int) { return const_iterator(m_it--); }
        const_iterator& operator+=(difference_type n)
        {
            m_it += n;
            return *this;
        }
        const_iterator& operator-=(difference_type n)
        {
            m_it -= n;
            return *this;
        }
        friend const_iterator operator+(const_iterator i, difference_type n) { return i += n; }
        friend const_iterator operator+(difference_type n, const_iterator i) { return i += n; }
        friend const_iterator operator-(const_iterator i, difference_type n) { return i -= n; }
        friend difference_type operator-(const_iterator a, const_iterator b)
        {
            return a.m_it - b.m_it;
        }
        friend bool operator==(const_iterator a, const_iterator b) { return a.m_it == b.m_it; }
        friend auto operator<=>(const_iterator a, const_iterator b)
        {
            return (a.m_it - b.m_it) <=> 0;
        }

    private:
        Storage::const_iterator m_it{};
    };
    using iterator = const_iterator;
    using value_type = AnnotationObject;
    using size_type = qsizetype;

    AnnotationObjectList() = default;
    AnnotationObjectList(std::initializer_list<AnnotationObject> objects);
    explicit AnnotationObjectList(const QList<AnnotationObject>& objects);

    qsizetype size() const { return m_items.size(); }
    bool isEmpty() const { return m_items.isEmpty(); }

    const AnnotationObject& at(qsizetype i) const { return *m_items.at(i); }
    const AnnotationObject& operator[](qsizetype i) const { return at(i); }
    // An object only this list holds, to change in place.
    AnnotationObject& operator[](qsizetype i);
    const AnnotationObject& front() const { return at(0); }
    const AnnotationObject& back() const { return at(size() - 1); }

    const_iterator begin() const { return const_iterator(m_items.cbegin()); }
    const_iterator end() const { return const_iterator(m_items.cend()); }

    // The index of the object with identity `id`, or -1.
    qsizetype indexOf(const QUuid& id) const;

    void append(const AnnotationObject& object);
    void append(const AnnotationObjectList& objects);
    void insert(qsizetype i, const AnnotationObject& object);
    void replace(qsizetype i, const AnnotationObject& object);
    void removeAt(qsizetype i);
    void clear() { m_items.clear(); }

    // The `length` objects from `pos` (all to the end when negative), shared.
    AnnotationObjectList mid(qsizetype pos, qsizetype length = -1) const;
    QList<AnnotationObject> toList() const;

    // Same objects in the same order; shared entries compare without looking.
    friend bool operator==(const AnnotationObjectList& a, const AnnotationObjectList& b);

    // True when the two lists share the object at each index. For tests and
    // measurements of the sharing itself.
    bool sharesObjectsWith(const AnnotationObjectList& other) const;

private:
    Storage m_items;
};

} // namespace kelpie
