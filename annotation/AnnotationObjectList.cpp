#include "annotation/AnnotationObjectList.h"

namespace kelpie {

namespace {

std::shared_ptr<AnnotationObject> share(const AnnotationObject& object)
{
    return std::make_shared<AnnotationObject>(object);
}

} // namespace

AnnotationObjectList::AnnotationObjectList(std::initializer_list<AnnotationObject> objects)
{
    m_items.reserve(static_cast<qsizetype>(objects.size()));
    for (const AnnotationObject& object : objects)
        m_items.append(share(object));
}

AnnotationObjectList::AnnotationObjectList(const QList<AnnotationObject>& objects)
{
    m_items.reserve(objects.size());
    for (const AnnotationObject& object : objects)
        m_items.append(share(object));
}

AnnotationObject& AnnotationObjectList::operator[](qsizetype i)
{
    // Indexing the non-const storage detaches it from other lists first, so
    // the count below sees every list that holds the object.
    std::shared_ptr<AnnotationObject>& slot = m_items[i];
    if (slot.use_count() > 1)
        slot = share(*slot);
    return *slot;
}

qsizetype AnnotationObjectList::indexOf(const QUuid& id) const
{
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        if (m_items[i]->id() == id)
            return i;
    }
    return -1;
}

void AnnotationObjectList::append(const AnnotationObject& object) { m_items.append(share(object)); }

void AnnotationObjectList::append(const AnnotationObjectList& objects)
{
    m_items.append(objects.m_items);
}

void AnnotationObjectList::insert(qsizetype i, const AnnotationObject& object)
{
    m_items.insert(i, share(object));
}

void AnnotationObjectList::replace(qsizetype i, const AnnotationObject& object)
{
    m_items.replace(i, share(object));
}

void AnnotationObjectList::removeAt(qsizetype i) { m_items.removeAt(i); }

AnnotationObjectList AnnotationObjectList::mid(qsizetype pos, qsizetype length) const
{
    AnnotationObjectList result;
    result.m_items = m_items.mid(pos, length);
    return result;
}

QList<AnnotationObject> AnnotationObjectList::toList() const
{
    QList<AnnotationObject> result;
    result.reserve(m_items.size());
    for (const auto& item : m_items)
        result.append(*item);
    return result;
}

bool operator==(const AnnotationObjectList& a, const AnnotationObjectList& b)
{
    if (a.m_items.size() != b.m_items.size())
        return false;
    for (qsizetype i = 0; i < a.m_items.size(); ++i) {
        const auto& x = a.m_items[i];
        const auto& y = b.m_items[i];
        if (x != y && !(*x == *y))
            return false;
    }
    return true;
}

bool AnnotationObjectList::sharesObjectsWith(const AnnotationObjectList& other) const
{
    if (m_items.size() != other.m_items.size())
        return false;
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        if (m_items[i] != other.m_items[i])
            return false;
    }
    return true;
}

} // namespace kelpie

static_assert(std::random_access_iterator<kelpie::AnnotationObjectList::const_iterator>);
