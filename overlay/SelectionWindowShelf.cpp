#include "overlay/SelectionWindowShelf.h"

#include "overlay/SelectionWindow.h"

#include <QScreen>

#include <algorithm>

namespace kelpie {

SelectionWindowShelf::SelectionWindowShelf(std::chrono::milliseconds lifetime, QObject* parent)
    : QObject(parent)
{
    m_expiry.setSingleShot(true);
    m_expiry.setInterval(lifetime);
    connect(&m_expiry, &QTimer::timeout, this, &SelectionWindowShelf::clear);
}

SelectionWindowShelf::~SelectionWindowShelf() { clear(); }

void SelectionWindowShelf::put(SelectionWindow* window)
{
    if (!window)
        return;
    window->clear();
    // One window per screen is enough: a capture shows one per screen.
    std::erase_if(m_windows, [&](const QPointer<SelectionWindow>& kept) {
        SelectionWindow* other = kept.data();
        if (other && other->screen() != window->screen())
            return false;
        // Put back twice: kept once, not deleted.
        if (other != window)
            delete other;
        return true;
    });
    m_windows.emplace_back(window);
    m_expiry.start();
}

SelectionWindow* SelectionWindowShelf::take(const QScreen* screen)
{
    const auto found = std::find_if(m_windows.begin(), m_windows.end(),
                                    [&](const QPointer<SelectionWindow>& kept) {
        const SelectionWindow* window = kept.data();
        return window && screen && window->screen() == screen
            && window->geometry() == screen->geometry();
    });
    if (found == m_windows.end())
        return nullptr;
    SelectionWindow* window = found->data();
    m_windows.erase(found);
    return window;
}

void SelectionWindowShelf::clear()
{
    for (const QPointer<SelectionWindow>& kept : std::exchange(m_windows, {}))
        delete kept.data();
}

int SelectionWindowShelf::size() const
{
    return int(std::count_if(m_windows.begin(), m_windows.end(),
                             [](const QPointer<SelectionWindow>& kept) { return !kept.isNull(); }));
}

} // namespace kelpie
