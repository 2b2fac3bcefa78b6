#pragma once

#include <QWidget>

namespace kelpie {

// The opaque background of the plain editor and of the floating panels,
// filled with the shared surface colour of the current appearance.
class CoreSurfaceView : public QWidget {
    Q_OBJECT

public:
    explicit CoreSurfaceView(QWidget* parent = nullptr);

    // The floating panels are rounded (20) and outlined by a one-point
    // separator line; the editor's content is neither.
    double cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(double radius);
    bool bordered() const { return m_bordered; }
    void setBordered(bool bordered);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_cornerRadius = 0;
    bool m_bordered = false;
};

} // namespace kelpie
