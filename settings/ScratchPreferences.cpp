#include "settings/ScratchPreferences.h"

#include "settings/PreferencesStore.h"

#include <QUuid>

namespace kelpie {

ScratchPreferences::ScratchPreferences(const QString& prefix)
    : m_name(prefix + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    if (auto store = PreferencesStore::suite(m_name))
        m_preferences = std::make_shared<AppPreferences>(std::move(store));
}

ScratchPreferences::~ScratchPreferences() { remove(); }

void ScratchPreferences::remove()
{
    if (m_removed || !m_preferences)
        return;
    m_removed = true;
    // A suite that was never written has no file; either way none is left.
    (void)PreferencesStore::removeSuite(m_name);
}

} // namespace kelpie
