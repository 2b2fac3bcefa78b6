#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace kelpie {

// The commands of an editor or pin window as its menus offer them: the
// items of the canvas's context menu for a state of the window, and which
// command is enabled (and which opacity is checked) in that state. No
// widgets: the window describes itself in a State and builds its menu from
// the items.
class ImageWindowMenu {
public:
    enum class Action {
        copySelectedText,
        copyAllText,
        selectAll,
        copyImage,
        saveImage,
        saveDocument,
        pinImage,
        opacityPreset,
        undo,
        redo,
        // "遮盖敏感信息": find the secrets in the live text and mask them.
        maskSecrets,
        // Anything else the window answers (copy, the opacity submenu itself).
        other,
    };

    struct State {
        bool closed = false;
        bool pinned = false;
        bool screenshot = false;
        // A pointer gesture is in progress on the canvas.
        bool gesture = false;
        // The document is inside a transaction (a style slider drag).
        bool transaction = false;
        // The canvas has its composite.
        bool hasComposite = true;
        bool overlayVisible = false;
        QString fullText;
        QString selectedText;
        bool canUndo = false;
        bool canRedo = false;
        // The canvas takes markup (always, except a pin that is viewing).
        bool editing = true;
        // The window recognises text, so it can look for secrets.
        bool recognizes = false;
        // The window's alpha; absent without a window.
        std::optional<double> alpha;
    };

    struct Item {
        QString title;
        Action action = Action::other;
        // The opacity presets' percentages.
        int tag = 0;
        bool separator = false;
        QList<Item> submenu;
    };

    // The context menu's items, in order.
    static QList<Item> items(const State& state);
    static bool enabled(Action action, const State& state);
    // Whether an opacity preset shows the check mark: its tag equals the
    // alpha × 100 truncated (100 without a window).
    static bool checked(const Item& item, const State& state);
    static int alphaPercent(std::optional<double> alpha);
};

} // namespace kelpie
