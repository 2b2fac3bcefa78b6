#include "editor/SaveFormatAccessory.h"

#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>

namespace kelpie {

namespace {

// The extension after the last dot of the name itself (not of a folder).
QString extensionOf(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || name.indexOf(QLatin1Char('/'), dot) >= 0)
        return {};
    return name.mid(dot + 1).toLower();
}

bool isImageExtension(const QString& extension)
{
    return extension == QLatin1String("png") || extension == QLatin1String("jpg")
        || extension == QLatin1String("jpeg");
}

// The name in the dialog's name field (the typed text, not a path).
QLineEdit* nameField(QFileDialog* panel)
{
    return panel ? panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
}

// Frames of the view's parts, given bottom-up as the layout was drawn
// (origin at the bottom-left of the 320 × 72 view), turned top-down here.
QRect topDown(int x, int y, int w, int h)
{
    return QRect(x, SaveFormatAccessory::height - y - h, w, h);
}

} // namespace

SaveFormatAccessory::SaveFormatAccessory(QFileDialog* panel, QWidget* parent)
    : QWidget(parent), m_panel(panel)
{
    setFixedSize(width, height);
    m_label = new QLabel(QStringLiteral("格式"), this);
    m_label->setGeometry(topDown(12, 38, 44, 22));
    m_picker = new QComboBox(this);
    m_picker->setGeometry(topDown(60, 34, 248, 28));
    m_picker->addItem(QStringLiteral("PNG"));
    m_picker->addItem(QStringLiteral("JPG"));
    m_picker->setAccessibleName(QStringLiteral("图片格式"));
    m_hint = new QLabel(QStringLiteral("透明区域会填为白色"), this);
    m_hint->setGeometry(topDown(64, 6, 240, 22));
    connect(m_picker, &QComboBox::currentIndexChanged, this, [this] { changeFormat(); });
    changeFormat();
}

ImageType SaveFormatAccessory::type() const
{
    return m_picker->currentIndex() == 1 ? ImageType::jpeg : ImageType::png;
}

void SaveFormatAccessory::changeFormat()
{
    const ImageType chosen = type();
    m_hint->setVisible(chosen == ImageType::jpeg);
    if (!m_panel)
        return;
    // The filter goes first: changing it makes the dialog adjust the name
    // itself, which the rewrite then corrects.
    QLineEdit* field = nameField(m_panel);
    const QString name = field ? field->text() : QString();
    m_panel->setNameFilter(nameFilter(chosen));
    m_panel->setDefaultSuffix(ImageEncoding::extension(chosen));
    if (field)
        field->setText(rewrittenFileName(name, chosen));
}

QString SaveFormatAccessory::proposedFileName(const QDateTime& now)
{
    // Whole seconds toward zero, also before 1970.
    const qint64 seconds = now.toMSecsSinceEpoch() / 1000;
    return QStringLiteral("Kelpie-%1.png").arg(seconds);
}

QString SaveFormatAccessory::rewrittenFileName(const QString& name, ImageType type)
{
    QString base = name;
    const QString extension = extensionOf(name);
    if (isImageExtension(extension))
        base.chop(extension.size() + 1);
    return base + QLatin1Char('.') + ImageEncoding::extension(type);
}

bool SaveFormatAccessory::hasExtensionOf(const QString& name, ImageType type)
{
    const QString extension = extensionOf(name);
    if (type == ImageType::png)
        return extension == QLatin1String("png");
    return extension == QLatin1String("jpg") || extension == QLatin1String("jpeg");
}

QString SaveFormatAccessory::nameFilter(ImageType type)
{
    return type == ImageType::jpeg ? QStringLiteral("JPEG (*.jpg *.jpeg)")
                                   : QStringLiteral("PNG (*.png)");
}

} // namespace kelpie
