#pragma once

#include <QPushButton>

namespace kelpie {

class ShortcutRecording;

// The push button (160 points wide) that shows a shortcut and records a new
// one when pressed. The gesture itself lives in the ShortcutRecording it
// shows, which its owner keeps alive longer than the button.
class ShortcutRecorder : public QPushButton {
    Q_OBJECT

public:
    static constexpr int fixedWidth = 160;

    explicit ShortcutRecorder(ShortcutRecording& recording, QWidget* parent = nullptr);

    ShortcutRecording& recording() { return m_recording; }
    // Re-reads the title from the recording.
    void refreshTitle();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    ShortcutRecording& m_recording;
};

} // namespace kelpie
