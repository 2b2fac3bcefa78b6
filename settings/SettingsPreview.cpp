#include "settings/SettingsPreview.h"

#include "settings/SettingsWindow.h"

#include <QApplication>
#include <QUuid>

namespace kelpie {

namespace {

// A suite that exists for one preview and is removed when it ends.
class ScratchSuite {
public:
    ScratchSuite()
        : m_name(QStringLiteral("com.kelpie.settings-preview.")
                 + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()),
          m_store(PreferencesStore::suite(m_name))
    {
    }
    ~ScratchSuite()
    {
        if (m_store)
            (void)PreferencesStore::removeSuite(m_name);
    }
    ScratchSuite(const ScratchSuite&) = delete;
    ScratchSuite& operator=(const ScratchSuite&) = delete;

    const std::shared_ptr<PreferencesStore>& store() const { return m_store; }

private:
    QString m_name;
    std::shared_ptr<PreferencesStore> m_store;
};

} // namespace

QString SettingsPreview::sampleError()
{
    return QStringLiteral("快捷键可能已被占用，请换一个组合键");
}

QImage SettingsPreview::render(CoreAppearance::Appearance appearance, bool showError)
{
    ScratchSuite suite;
    if (!suite.store())
        return {};
    auto preferences = std::make_shared<AppPreferences>(suite.store());
    // The preview registers nothing: its hot keys are pretend ones, which
    // refuse every new combination when the error line is to be seen.
    SettingsWindow window(
        preferences,
        [showError](const AppShortcut&, const AppShortcut&) {
            return showError ? std::optional(sampleError()) : std::nullopt;
        },
        [](bool) { return std::optional<QString>(); });
    window.setPalette(CoreAppearance::palette(appearance));
    if (showError) {
        // The user records Ctrl+Shift+K, which is refused.
        ShortcutRecording& recorder = window.model().captureRecorder();
        recorder.start();
        recorder.press(
            false, AppShortcut{40, AppShortcut::control | AppShortcut::shift, QStringLiteral("K")});
    }
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.show();
    QApplication::processEvents();
    QImage image = window.grab().toImage();
    window.hide();
    return image;
}

bool SettingsPreview::renderTo(const QString& path, bool showError)
{
    const QImage image = render(CoreAppearance::appearance(QApplication::palette()), showError);
    return !image.isNull() && image.save(path, "PNG");
}

} // namespace kelpie
