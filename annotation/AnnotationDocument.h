#pragma once

#include "annotation/AnnotationState.h"

#include <QImage>
#include <QList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace kelpie {

// The editable content of one editor or pin window: a base image that never
// changes, the current annotation state, and linear undo and redo of whole
// states. A transaction folds a continuous adjustment (a slider drag) into
// one undo step.
//
// The one shared mutable object of the model: the window and its canvas hold
// the same instance. Not copyable; `copied()` makes an independent document.
// Main thread only.
//
// Every state kept in the history is a full snapshot, but snapshots share
// their unchanged objects (and every object its path) with each other, so an
// undo step costs a list of references plus the objects that changed.
class AnnotationDocument {
public:
    // A document on `image`, with no objects, badge numbering at 1, empty
    // history and revision 0. The image is shared, never copied.
    explicit AnnotationDocument(const QImage& image);

    AnnotationDocument(const AnnotationDocument&) = delete;
    AnnotationDocument& operator=(const AnnotationDocument&) = delete;

    // The captured pixels; their size defines annotation space.
    const QImage& baseImage() const { return m_baseImage; }
    const AnnotationState& state() const { return m_state; }
    // Oldest first; the last entry is the next undo.
    const QList<AnnotationState>& undoStates() const { return m_undoStates; }
    // The last entry is the next redo.
    const QList<AnnotationState>& redoStates() const { return m_redoStates; }
    // The state when the open transaction began.
    const std::optional<AnnotationState>& transaction() const { return m_transaction; }
    // Raised by one for every change notification.
    std::int64_t revision() const { return m_revision; }

    bool canUndo() const { return !m_undoStates.isEmpty(); }
    bool canRedo() const { return !m_redoStates.isEmpty(); }
    bool inTransaction() const { return m_transaction.has_value(); }

    // Called after every change; set by the canvas that shows the document.
    std::function<void()> onChange;

    // Makes `newState` current. An equal state changes nothing and returns
    // false without notifying. Otherwise the previous state becomes an undo
    // step (unless a transaction is open: its snapshot stands for the whole
    // gesture), redo is forgotten, and the change is notified.
    bool commit(AnnotationState newState);

    // Opens a transaction, remembering the current state. A second begin
    // keeps the first snapshot; transactions do not nest.
    void beginTransaction();
    // Closes the open transaction: the snapshot becomes one undo step when the
    // state has changed since. Notifies even when nothing changed. Does
    // nothing without an open transaction.
    void endTransaction();

    // Step back or forward through the history. Refused during a transaction
    // and at the ends of the history.
    void undo();
    void redo();

    // An independent document on the same (shared) image with the same state,
    // history and revision, no transaction and no callback. A transaction
    // open here is treated as ended in the copy, so the gesture's starting
    // state stays reachable by undo there.
    std::unique_ptr<AnnotationDocument> copied() const;

private:
    void notify();

    const QImage m_baseImage;
    AnnotationState m_state;
    QList<AnnotationState> m_undoStates;
    QList<AnnotationState> m_redoStates;
    std::optional<AnnotationState> m_transaction;
    std::int64_t m_revision = 0;
};

} // namespace kelpie
