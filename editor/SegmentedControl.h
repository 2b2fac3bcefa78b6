#pragma once

#include "editor/ControlImage.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <vector>

namespace kelpie {

// A row of mutually exclusive segments in one rounded outline, each showing a
// label or a template image. The chosen segment carries the same soft tint
// as a tool button that is on. Only the user's choices are signalled, so
// the owner can mirror its model into the control without echoes.
class SegmentedControl : public QWidget {
    Q_OBJECT

public:
    static constexpr int height = 28;
    static constexpr double cornerRadius = 7;

    explicit SegmentedControl(const QStringList& labels, QWidget* parent = nullptr);

    int count() const { return int(m_segments.size()); }
    // -1 when no segment is chosen.
    int selectedSegment() const { return m_selected; }
    void setSelectedSegment(int index);

    QString label(int index) const;
    QString segmentToolTip(int index) const;
    ControlImage segmentImage(int index) const;
    int segmentWidth(int index) const;
    // Shows `image` instead of the label, which is cleared; the tooltip names
    // the segment instead.
    void setSegmentImage(int index, const ControlImage& image, const QString& toolTip);
    void setSegmentWidth(int index, int width);

    // The segment under a point of the widget, or -1.
    int segmentAt(QPoint point) const;
    QRectF segmentRect(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

Q_SIGNALS:
    // The user chose a segment with the pointer or the keyboard.
    void segmentChosen(int index);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Segment {
        QString label;
        QString toolTip;
        ControlImage image;
        // Absent (0): fitted to the label.
        int width = 0;
    };

    void choose(int index);

    std::vector<Segment> m_segments;
    int m_selected = -1;
};

} // namespace kelpie
