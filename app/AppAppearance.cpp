#include "app/AppAppearance.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

namespace kelpie::AppAppearance {

namespace {

QPalette darkPalette()
{
    QPalette palette;
    const QColor window(0x2b, 0x2d, 0x30);
    const QColor base(0x1f, 0x21, 0x24);
    const QColor text(0xe8, 0xea, 0xed);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::ToolTipBase, base);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, QColor(0x9a, 0xa0, 0xa6));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(0x3c, 0x40, 0x43));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Highlight, QColor(0x3d, 0x7e, 0xd8));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(0x8a, 0xb4, 0xf8));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x86, 0x8b));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x86, 0x8b));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x86, 0x8b));
    return palette;
}

} // namespace

void apply(LaunchOptions::Appearance appearance)
{
    if (appearance == LaunchOptions::Appearance::unchanged)
        return;
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);
    QApplication::setPalette(appearance == LaunchOptions::Appearance::dark
                                 ? darkPalette()
                                 : QApplication::style()->standardPalette());
}

} // namespace kelpie::AppAppearance
