#include "settings/ShortcutRecorder.h"

#include "settings/ShortcutRecording.h"

#include <QKeyEvent>

namespace kelpie {

ShortcutRecorder::ShortcutRecorder(ShortcutRecording& recording, QWidget* parent)
    : QPushButton(parent), m_recording(recording)
{
    setFixedWidth(fixedWidth);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QPushButton::clicked, this, [this] {
        m_recording.start();
        // The press that follows must come here, whatever had focus.
        if (m_recording.recording())
            setFocus(Qt::OtherFocusReason);
    });
    refreshTitle();
}

void ShortcutRecorder::refreshTitle() { setText(m_recording.title()); }

bool ShortcutRecorder::event(QEvent* event)
{
    if (m_recording.recording()) {
        // While recording every key is a candidate: the application's own
        // shortcuts (Ctrl+Q, Ctrl+W) must neither fire nor steal the press,
        // and Tab must not move the focus away.
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            keyPressEvent(static_cast<QKeyEvent*>(event));
            return true;
        }
    }
    return QPushButton::event(event);
}

void ShortcutRecorder::keyPressEvent(QKeyEvent* event)
{
    if (m_recording.keyDown(*event)) {
        event->accept();
        return;
    }
    QPushButton::keyPressEvent(event);
}

void ShortcutRecorder::focusOutEvent(QFocusEvent* event)
{
    // Also when the window itself loses the keyboard: the hot keys stay
    // paused only while a press can actually reach the recorder.
    m_recording.focusLost();
    QPushButton::focusOutEvent(event);
}

} // namespace kelpie
