// render_save_dialog DIR: the save dialog with its format row, PNG and JPG
// chosen, in a light and a dark palette, written as PNGs at the screen's
// scale (QT_SCALE_FACTOR=2 render_save_dialog DIR for 2×).
#include "editor/FileDialogSavePanel.h"
#include "editor/SaveFormatAccessory.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPalette>
#include <QPixmap>
#include <QStyleFactory>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace {

QPalette darkPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(40, 40, 43));
    palette.setColor(QPalette::WindowText, QColor(230, 230, 232));
    palette.setColor(QPalette::Base, QColor(28, 28, 30));
    palette.setColor(QPalette::AlternateBase, QColor(36, 36, 39));
    palette.setColor(QPalette::Text, QColor(230, 230, 232));
    palette.setColor(QPalette::Button, QColor(52, 52, 56));
    palette.setColor(QPalette::ButtonText, QColor(230, 230, 232));
    palette.setColor(QPalette::Highlight, QColor(64, 120, 230));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::PlaceholderText, QColor(140, 140, 145));
    return palette;
}

bool render(const QString& path, bool jpeg)
{
    QTemporaryDir folder;
    QDir(folder.path()).mkpath(QStringLiteral("截图"));
    std::unique_ptr<QFileDialog> dialog(kelpie::FileDialogSavePanel::makeDialog(
        nullptr, {folder.path(), QStringLiteral("Kelpie-1767225600.png")}));
    kelpie::FileDialogSavePanel::accessory(dialog.get())->picker()->setCurrentIndex(jpeg ? 1 : 0);
    dialog->resize(760, 520);
    dialog->show();
    QApplication::processEvents();
    return dialog->grab().save(path);
}

} // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: render_save_dialog DIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QPalette light = QApplication::palette();
    bool ok = true;
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? darkPalette() : light);
        for (const bool jpeg : {false, true}) {
            const QString name = QStringLiteral("save-%1-%2-%3x.png")
                                     .arg(jpeg ? QStringLiteral("jpg") : QStringLiteral("png"),
                                          dark ? QStringLiteral("dark") : QStringLiteral("light"))
                                     .arg(application.devicePixelRatio());
            ok = render(out.filePath(name), jpeg) && ok;
        }
    }
    return ok ? 0 : 1;
}
