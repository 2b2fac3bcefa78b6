#include "text/SecretPreview.h"

#include "text/SecretMasks.h"

#include <Qt>

namespace kelpie {

SecretPreview::SecretPreview(const AnnotationDocument& document, std::vector<SecretMatch> secrets)
    : m_revision(document.revision())
{
    const Size imageSize{double(document.baseImage().width()),
                         double(document.baseImage().height())};
    for (SecretMatch& secret : secrets) {
        Item item;
        item.name = displayName(secret.rule);
        for (const Rect& rect : secret.rects) {
            const Rect area = SecretMasks::annotationRect(rect, imageSize);
            if (!area.isEmpty())
                item.areas.push_back(area);
        }
        if (item.areas.empty())
            continue;
        item.match = std::move(secret);
        m_items.push_back(std::move(item));
    }
}

int SecretPreview::maskedCount() const
{
    int count = 0;
    for (const Item& item : m_items)
        count += item.masked;
    return count;
}

int SecretPreview::itemAt(Point point) const
{
    for (std::size_t i = m_items.size(); i-- > 0;) {
        for (const Rect& area : m_items[i].areas) {
            if (area.contains(point))
                return int(i);
        }
    }
    return -1;
}

bool SecretPreview::toggle(int index)
{
    if (!isOpen() || index < 0 || std::size_t(index) >= m_items.size())
        return false;
    m_items[std::size_t(index)].masked = !m_items[std::size_t(index)].masked;
    return true;
}

bool SecretPreview::click(Point point) { return toggle(itemAt(point)); }

bool SecretPreview::handleKey(int qtKey, AnnotationDocument& document,
                              const AnnotationStyle& toolStyle)
{
    if (!isOpen())
        return false;
    switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter: apply(document, toolStyle); return true;
    case Qt::Key_Escape: cancel(); return true;
    default: return false;
    }
}

bool SecretPreview::apply(AnnotationDocument& document, const AnnotationStyle& toolStyle)
{
    if (!isOpen() || document.revision() != m_revision || document.inTransaction())
        return false;
    std::vector<SecretMatch> chosen;
    for (const Item& item : m_items) {
        if (item.masked)
            chosen.push_back(item.match);
    }
    const int masked = SecretMasks::apply(document, chosen, toolStyle);
    m_status = SecretMasks::statusText(int(m_items.size()), masked);
    m_state = State::applied;
    return true;
}

void SecretPreview::cancel()
{
    if (isOpen())
        m_state = State::cancelled;
}

} // namespace kelpie
