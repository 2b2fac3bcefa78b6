#include "editor/ImageWindowMenu.h"

namespace kelpie {

namespace {

using Action = ImageWindowMenu::Action;
using Item = ImageWindowMenu::Item;

Item item(const QString& title, Action action, int tag = 0)
{
    Item made;
    made.title = title;
    made.action = action;
    made.tag = tag;
    return made;
}

Item separator()
{
    Item made;
    made.separator = true;
    return made;
}

} // namespace

QList<ImageWindowMenu::Item> ImageWindowMenu::items(const State& state)
{
    QList<Item> made;
    const bool hasText = state.overlayVisible && !state.fullText.isEmpty();
    if (state.overlayVisible && !state.selectedText.isEmpty())
        made.append(item(QStringLiteral("复制文字"), Action::copySelectedText));
    // The plain editor copies everything at once; over the frozen screen
    // and on a pin the text is selected first, then copied.
    if (hasText && !state.screenshot && !state.pinned)
        made.append(item(QStringLiteral("复制全部文字"), Action::copyAllText));
    if (hasText && (state.screenshot || state.pinned))
        made.append(item(QStringLiteral("全选文字"), Action::selectAll));
    if (!made.isEmpty())
        made.append(separator());
    made.append(item(QStringLiteral("复制图片"), Action::copyImage));
    made.append(item(QStringLiteral("保存图片…"), Action::saveImage));
    if (!state.pinned) {
        made.append(item(QStringLiteral("钉住"), Action::pinImage));
    } else {
        Item opacity = item(QStringLiteral("透明度"), Action::other);
        for (const int percent : {100, 75, 50, 25})
            opacity.submenu.append(
                item(QString::number(percent) + QStringLiteral("%"), Action::opacityPreset, percent));
        made.append(opacity);
    }
    if (state.editing && state.recognizes) {
        made.append(separator());
        made.append(item(QStringLiteral("遮盖敏感信息"), Action::maskSecrets));
    }
    return made;
}

bool ImageWindowMenu::enabled(Action action, const State& state)
{
    const bool idle = !state.gesture && !state.transaction;
    switch (action) {
    case Action::copySelectedText:
        return !state.gesture && state.overlayVisible && !state.selectedText.isEmpty();
    case Action::copyAllText: return idle && !state.fullText.isEmpty();
    case Action::copyImage:
    case Action::saveImage:
    case Action::saveDocument:
    case Action::pinImage: return !state.closed && idle && state.hasComposite;
    case Action::opacityPreset: return state.pinned;
    case Action::undo: return state.canUndo && idle;
    case Action::redo: return state.canRedo && idle;
    case Action::maskSecrets:
        return !state.closed && idle && state.editing && state.recognizes && state.hasComposite;
    case Action::selectAll:
    case Action::other: return true;
    }
    return true;
}

int ImageWindowMenu::alphaPercent(std::optional<double> alpha)
{
    return alpha ? int(*alpha * 100) : 100;
}

bool ImageWindowMenu::checked(const Item& item, const State& state)
{
    return item.action == Action::opacityPreset && item.tag == alphaPercent(state.alpha);
}

} // namespace kelpie
