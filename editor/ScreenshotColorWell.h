#pragma once

#include <QAbstractButton>
#include <QColor>

#include <optional>

class QColorDialog;

namespace kelpie {

// A colour well whose shared colour panel shows above the window the well
// lives in, also when that window covers the screen (the screenshot editor)
// or floats as a child of another window (a pin's panel). The panel's own
// level is remembered while it is raised and given back afterwards.
class ScreenshotColorWell : public QAbstractButton {
    Q_OBJECT

public:
    explicit ScreenshotColorWell(QWidget* parent = nullptr);
    ~ScreenshotColorWell() override;

    // The one colour panel every well shares; created on first use.
    static QColorDialog* sharedColorPanel();

    QColor color() const { return m_color; }
    void setColor(const QColor& color);
    bool isActive() const { return m_active; }
    std::optional<int> previousLevel() const { return m_previousLevel; }

    // Connects the shared panel to this well and shows it; an exclusive
    // activation deactivates every other well first.
    void activate(bool exclusive = true);
    void deactivate();
    // Puts the panel away when the well's window closes or hides: the well
    // deactivates, the panel's level is restored and the panel ordered out.
    void suspend();

    QSize sizeHint() const override;

Q_SIGNALS:
    // The user chose a colour in the panel while this well was active.
    void colorChanged(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void panelColorChanged(const QColor& color);
    void restoreLevel();

    QColor m_color = Qt::red;
    bool m_active = false;
    std::optional<int> m_previousLevel;
};

} // namespace kelpie
