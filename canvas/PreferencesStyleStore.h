#pragma once

#include "canvas/CanvasStyleStore.h"

#include <memory>

namespace kelpie {

class AppPreferences;

// The tool styles kept in the application's preferences.
class PreferencesStyleStore final : public CanvasStyleStore {
public:
    explicit PreferencesStyleStore(std::shared_ptr<AppPreferences> preferences);

    AnnotationStyle annotationStyle(AnnotationTool tool, double scale) const override;
    void setAnnotationStyle(const AnnotationStyle& style, AnnotationTool tool) override;

private:
    std::shared_ptr<AppPreferences> m_preferences;
};

} // namespace kelpie
