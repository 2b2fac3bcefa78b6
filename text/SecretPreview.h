#pragma once

#include "annotation/AnnotationDocument.h"
#include "annotation/AnnotationStyle.h"
#include "geometry/Point.h"
#include "geometry/Rect.h"
#include "text/SecretFinder.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace kelpie {

// The confirmation step of "遮盖敏感信息": the secrets found are outlined
// with their rule's name, a click on one leaves it visible (a second click
// masks it again), Return applies and Escape cancels. Nothing reaches the
// document before apply(), and after apply() or cancel() the preview is
// closed and changes nothing more.
//
// Widget-free: the canvas draws outlines() and forwards clicks (in
// annotation space) and keys.
class SecretPreview {
public:
    struct Item {
        SecretMatch match;
        QString name;            // the rule's display name
        std::vector<Rect> areas; // where its masks go, in annotation space
        bool masked = true;      // false once the user chose to leave it visible
    };

    enum class State { open, applied, cancelled };

    // A preview of `secrets` found on the current composite of `document`.
    SecretPreview(const AnnotationDocument& document, std::vector<SecretMatch> secrets);

    const std::vector<Item>& items() const { return m_items; }
    State state() const { return m_state; }
    bool isOpen() const { return m_state == State::open; }
    // Items still to be masked.
    int maskedCount() const;

    // The item whose area holds `point` (annotation space), or -1. Where
    // areas overlap the later item wins, as it is drawn on top.
    int itemAt(Point point) const;

    // Switches an item between masked and left visible. False when the
    // preview is closed or there is no such item.
    bool toggle(int index);
    // toggle(itemAt(point)).
    bool click(Point point);

    // Return or Enter applies to `document`, Escape cancels; true when the
    // key was one of them and the preview was open.
    bool handleKey(int qtKey, AnnotationDocument& document, const AnnotationStyle& toolStyle);

    // Adds the masks of the items still masked as one undo step and closes
    // the preview. Refused (false, preview stays open) when the document
    // changed since the secrets were found: their places may no longer be
    // what the user saw, so the caller finds them again.
    bool apply(AnnotationDocument& document, const AnnotationStyle& toolStyle);
    void cancel();

    // The status line once applied ("已遮盖 N 处敏感信息"); empty before.
    const QString& statusText() const { return m_status; }

private:
    std::vector<Item> m_items;
    std::int64_t m_revision = 0;
    State m_state = State::open;
    QString m_status;
};

} // namespace kelpie
