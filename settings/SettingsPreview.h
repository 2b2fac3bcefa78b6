#pragma once

#include "editor/CoreAppearance.h"

#include <QImage>
#include <QString>

namespace kelpie {

// Pictures of the settings window as the user would see it, drawn over a
// scratch preferences suite ("com.kelpie.settings-preview." + a fresh UUID)
// that is removed afterwards, so the user's own settings are never read or
// touched.
namespace SettingsPreview {

// The message shown in the error line when a preview asks for one.
QString sampleError();

// The window at the screens' device-pixel ratio; null when it cannot be
// drawn (no scratch suite).
QImage render(CoreAppearance::Appearance appearance, bool showError);

// render() in the application's appearance, written as PNG; false when the
// picture cannot be made or written.
bool renderTo(const QString& path, bool showError);

} // namespace SettingsPreview
} // namespace kelpie
