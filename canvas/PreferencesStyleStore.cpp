#include "canvas/PreferencesStyleStore.h"

#include "settings/AppPreferences.h"

#include <utility>

namespace kelpie {

PreferencesStyleStore::PreferencesStyleStore(std::shared_ptr<AppPreferences> preferences)
    : m_preferences(std::move(preferences))
{
}

AnnotationStyle PreferencesStyleStore::annotationStyle(AnnotationTool tool, double scale) const
{
    return m_preferences->annotationStyle(tool, scale);
}

void PreferencesStyleStore::setAnnotationStyle(const AnnotationStyle& style, AnnotationTool tool)
{
    m_preferences->setAnnotationStyle(style, tool);
}

} // namespace kelpie
