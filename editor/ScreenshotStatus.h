#pragma once

#include <QLabel>

#include <functional>

namespace kelpie {

// The editor's one-line status label. It starts with "正在识别文字…" and
// tells its owner after every change of its text, so the owner can place
// it again (its size follows the text). It sits on a rounded patch of the
// panels' surface colour, so it stays legible over the frozen screen.
class ScreenshotStatus : public QLabel {
    Q_OBJECT

public:
    explicit ScreenshotStatus(QWidget* parent = nullptr);

    // Called after the new text is stored.
    std::function<void()> onChange;

    // Every way of changing the text goes through these two.
    void setText(const QString& text);
    void clear();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refreshColor();
};

} // namespace kelpie
