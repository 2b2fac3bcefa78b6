#include "annotation/AnnotationDocument.h"

#include <utility>

namespace kelpie {

AnnotationDocument::AnnotationDocument(const QImage& image) : m_baseImage(image) { }

bool AnnotationDocument::commit(AnnotationState newState)
{
    if (newState == m_state)
        return false;
    if (!m_transaction) {
        m_undoStates.append(std::move(m_state));
        m_redoStates.clear();
    }
    m_state = std::move(newState);
    notify();
    return true;
}

void AnnotationDocument::beginTransaction()
{
    if (m_transaction)
        return;
    m_transaction = m_state;
}

void AnnotationDocument::endTransaction()
{
    if (!m_transaction)
        return;
    AnnotationState snapshot = std::move(*m_transaction);
    m_transaction.reset();
    if (m_state != snapshot) {
        m_undoStates.append(std::move(snapshot));
        m_redoStates.clear();
    }
    notify();
}

void AnnotationDocument::undo()
{
    if (m_transaction || m_undoStates.isEmpty())
        return;
    AnnotationState previous = m_undoStates.takeLast();
    m_redoStates.append(std::exchange(m_state, std::move(previous)));
    notify();
}

void AnnotationDocument::redo()
{
    if (m_transaction || m_redoStates.isEmpty())
        return;
    AnnotationState next = m_redoStates.takeLast();
    m_undoStates.append(std::exchange(m_state, std::move(next)));
    notify();
}

std::unique_ptr<AnnotationDocument> AnnotationDocument::copied() const
{
    auto copy = std::make_unique<AnnotationDocument>(m_baseImage);
    copy->m_state = m_state;
    copy->m_undoStates = m_undoStates;
    copy->m_redoStates = m_redoStates;
    copy->m_revision = m_revision;
    // The copy has no transaction to close later; without this the state the
    // gesture started from would be missing from its history.
    if (m_transaction && *m_transaction != m_state) {
        copy->m_undoStates.append(*m_transaction);
        copy->m_redoStates.clear();
    }
    return copy;
}

void AnnotationDocument::notify()
{
    ++m_revision;
    // A copy, so that a callback that replaces or clears onChange does not
    // destroy the function while it runs.
    if (const std::function<void()> callback = onChange)
        callback();
}

} // namespace kelpie
