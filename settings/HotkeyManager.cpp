#include "settings/HotkeyManager.h"

#include <QMetaObject>

#include <utility>
#include <vector>

namespace kelpie {

static_assert(AppShortcut::command == HotkeyService::command);
static_assert(AppShortcut::shift == HotkeyService::shift);
static_assert(AppShortcut::option == HotkeyService::option);
static_assert(AppShortcut::control == HotkeyService::control);

HotkeyManager::HotkeyManager(std::unique_ptr<HotkeyService> service) : m_service(std::move(service))
{
}

HotkeyManager::~HotkeyManager() { shutdown(); }

std::optional<QString> HotkeyManager::fail(const QString& message)
{
    m_lastError = message;
    return message;
}

std::optional<QString> HotkeyManager::apply(const AppShortcut& capture, const AppShortcut& pin)
{
    if (!capture.isValid() || !pin.isValid())
        return fail(QStringLiteral("请选择带修饰键的组合键或功能键"));
    if (capture == pin || pin == AppShortcut::fallback())
        return fail(QStringLiteral("截图与钉图快捷键不能相同，也不能占用备选截图键"));

    if (!m_handlerInstalled) {
        m_handlerInstalled = m_service->installHandler(
            [this](HotkeyService::HotkeyID identity) { return handlePress(identity); });
        if (!m_handlerInstalled)
            return fail(QStringLiteral("无法启用全局快捷键，可先从菜单栏截图"));
    }

    // Capture, pin, then the fallback; when the user chose the fallback as
    // the capture key it is one entry with one registration.
    std::vector<std::pair<AppShortcut, Action>> desired
        = {{capture, Action::capture}, {pin, Action::pin}};
    if (capture != AppShortcut::fallback())
        desired.emplace_back(AppShortcut::fallback(), Action::capture);

    std::map<AppShortcut, Binding> added;
    for (const auto& [shortcut, action] : desired) {
        if (m_bindings.count(shortcut))
            continue;
        const std::uint32_t id = m_nextID++;
        const auto reference
            = m_service->registerHotkey(shortcut.keyCode, shortcut.modifiers, {signature, id});
        if (!reference) {
            for (const auto& [_, binding] : added)
                m_service->unregisterHotkey(binding.reference);
            return fail(QStringLiteral("快捷键可能已被占用，请换一个组合键"));
        }
        added.emplace(shortcut, Binding{*reference, id});
    }

    std::map<AppShortcut, Binding> bindings;
    std::map<std::uint32_t, Action> actions;
    for (const auto& [shortcut, action] : desired) {
        const auto kept = m_bindings.find(shortcut);
        const Binding binding = kept != m_bindings.end() ? kept->second : added.at(shortcut);
        bindings[shortcut] = binding;
        actions[binding.id] = action;
    }
    for (const auto& [shortcut, binding] : m_bindings) {
        if (!bindings.count(shortcut))
            m_service->unregisterHotkey(binding.reference);
    }
    m_bindings = std::move(bindings);
    m_actions = std::move(actions);
    m_lastError.reset();
    return std::nullopt;
}

void HotkeyManager::pause()
{
    for (const auto& [_, binding] : m_bindings)
        m_service->unregisterHotkey(binding.reference);
    m_bindings.clear();
    m_actions.clear();
}

void HotkeyManager::shutdown()
{
    pause();
    if (m_handlerInstalled) {
        m_service->removeHandler();
        m_handlerInstalled = false;
    }
}

bool HotkeyManager::handlePress(HotkeyService::HotkeyID identity)
{
    if (identity.signature != signature)
        return false;
    const std::uint32_t id = identity.id;
    // Never inside the service's own event handling: apply() or pause() may
    // be running further up the stack.
    QMetaObject::invokeMethod(
        &m_context, [this, id] { serve(id); }, Qt::QueuedConnection);
    return true;
}

void HotkeyManager::serve(std::uint32_t id)
{
    const auto found = m_actions.find(id);
    if (found == m_actions.end() || !onAction)
        return;
    // Copied first: the callback may replace itself or re-apply shortcuts.
    const auto callback = onAction;
    callback(found->second);
}

} // namespace kelpie
