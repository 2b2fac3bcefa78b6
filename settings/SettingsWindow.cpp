#include "settings/SettingsWindow.h"

#include "editor/CoreAppearance.h"
#include "editor/CoreSurfaceView.h"
#include "platform/XdgAutostartLoginItem.h"
#include "settings/ShortcutRecorder.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace kelpie {

namespace {

constexpr int stackSpacing = 18;
constexpr int leadingInset = 28;
constexpr int trailingInset = 28;
constexpr int topInset = 24;
constexpr int rowSpacing = 14;
constexpr int rowTitleWidth = 92;
constexpr int directoryWidth = 270;
constexpr double labelFontSize = 13;

QPushButton* button(const QString& title, QWidget* parent)
{
    auto* view = new QPushButton(title, parent);
    view->setFont(CoreAppearance::systemFont(labelFontSize));
    return view;
}

QLabel* label(const QString& text, QWidget* parent)
{
    auto* view = new QLabel(text, parent);
    view->setFont(CoreAppearance::systemFont(labelFontSize));
    return view;
}

} // namespace

SettingsWindow::SettingsWindow(std::shared_ptr<AppPreferences> preferences,
                               SettingsModel::ApplyShortcuts applyShortcuts,
                               SettingsModel::RecordingChanged recordingChanged,
                               std::shared_ptr<LoginItemService> login, QWidget* parent)
    : QWidget(parent,
              Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      m_model(std::make_unique<SettingsModel>(
          std::move(preferences), std::move(applyShortcuts), std::move(recordingChanged),
          login ? std::move(login) : std::make_shared<XdgAutostartLoginItem>()))
{
    setWindowTitle(QStringLiteral("Kelpie · 设置"));
    setFixedSize(contentWidth, contentHeight);
    build();
    m_model->onChanged = [this] { showModel(); };
    showModel();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

SettingsWindow::~SettingsWindow()
{
    // A recording ends as on closing, so the hot keys are not left paused.
    // Then the views go, while the model they call into is still there; the
    // model no longer shows itself in views that are going.
    m_model->onChanged = nullptr;
    m_model->windowClosing();
    delete m_surface;
}

void SettingsWindow::build()
{
    m_surface = new CoreSurfaceView(this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_surface);

    m_captureRecorder = new ShortcutRecorder(m_model->captureRecorder(), m_surface);
    m_captureRecorder->setFont(CoreAppearance::systemFont(labelFontSize));
    m_fallbackHint = label(SettingsModel::fallbackHintText(), m_surface);
    m_functionHint = label(SettingsModel::functionHintText(), m_surface);

    auto* reset = button(QStringLiteral("恢复默认"), m_surface);
    connect(reset, &QPushButton::clicked, this, &SettingsWindow::resetShortcuts);
    auto* change = button(QStringLiteral("更改…"), m_surface);
    connect(change, &QPushButton::clicked, this, &SettingsWindow::chooseDirectory);
    auto* useDefault = button(QStringLiteral("使用默认位置"), m_surface);
    connect(useDefault, &QPushButton::clicked, this, &SettingsWindow::clearDirectory);

    m_directory = label(QString(), m_surface);
    m_directory->setFixedWidth(directoryWidth);

    m_error = label(QString(), m_surface);
    m_error->setWordWrap(true);
    m_error->setFixedWidth(contentWidth - leadingInset - trailingInset);
    m_error->hide();

    // Wired like the placed views but not part of the layout.
    m_pinRecorder = new ShortcutRecorder(m_model->pinRecorder(), m_surface);
    m_pinRecorder->setFont(CoreAppearance::systemFont(labelFontSize));
    m_permission = label(QString(), m_surface);
    m_login = new QCheckBox(QStringLiteral("登录时启动 Kelpie"), m_surface);
    connect(m_login, &QCheckBox::clicked, this, &SettingsWindow::changeLogin);
    m_loginStatus = label(QString(), m_surface);
    m_loginSettings = button(QStringLiteral("打开登录项设置"), m_surface);
    connect(m_loginSettings, &QPushButton::clicked, this, &SettingsWindow::openLoginSettings);
    for (QWidget* unplaced :
         {static_cast<QWidget*>(m_pinRecorder), static_cast<QWidget*>(m_permission),
          static_cast<QWidget*>(m_login), static_cast<QWidget*>(m_loginStatus),
          static_cast<QWidget*>(m_loginSettings)})
        unplaced->hide();

    auto* stack = new QVBoxLayout(m_surface);
    stack->setContentsMargins(leadingInset, topInset, trailingInset, 0);
    stack->setSpacing(stackSpacing);
    stack->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    stack->addWidget(row(QStringLiteral("截图快捷键"), {m_captureRecorder, reset, m_fallbackHint}));
    stack->addWidget(m_functionHint);
    stack->addWidget(row(QStringLiteral("默认保存位置"), {m_directory, change, useDefault}));
    stack->addWidget(m_error);
    stack->addStretch(1);

    CoreAppearance::followAppearance(this, [this] { applyColors(); });
    applyColors();
}

QWidget* SettingsWindow::row(const QString& title, const QList<QWidget*>& views)
{
    auto* container = new QWidget(m_surface);
    auto* layout = new QHBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(rowSpacing);
    QLabel* titleLabel = label(title, container);
    titleLabel->setFixedWidth(rowTitleWidth);
    layout->addWidget(titleLabel, 0, Qt::AlignVCenter);
    for (QWidget* view : views) {
        view->setParent(container);
        layout->addWidget(view, 0, Qt::AlignVCenter);
    }
    layout->addStretch(1);
    return container;
}

void SettingsWindow::applyColors()
{
    const auto appearance = CoreAppearance::appearance(this);
    QPalette palette = m_error->palette();
    palette.setColor(QPalette::WindowText, CoreAppearance::error.resolved(appearance));
    m_error->setPalette(palette);
}

void SettingsWindow::showModel()
{
    const SettingsModel& model = *m_model;
    m_captureRecorder->refreshTitle();
    m_pinRecorder->refreshTitle();
    m_functionHint->setVisible(model.functionHintVisible());
    m_fallbackHint->setVisible(model.fallbackHintVisible());
    const QFontMetrics metrics(m_directory->font());
    m_directory->setText(
        metrics.elidedText(model.directoryText(), Qt::ElideMiddle, m_directory->width()));
    m_directory->setToolTip(model.directoryToolTip());
    m_permission->setText(model.permissionText());
    m_error->setText(model.error());
    m_error->setVisible(!model.error().isEmpty());
    m_login->setChecked(model.loginChecked());
    m_login->setEnabled(model.loginEnabled());
    m_loginStatus->setText(model.loginStatusText());
}

void SettingsWindow::present()
{
    m_model->refresh();
    show();
    raise();
    activateWindow();
}

void SettingsWindow::resetShortcuts() { m_model->resetShortcuts(); }

void SettingsWindow::chooseDirectory()
{
    auto* chooser = new QFileDialog(this);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    chooser->setWindowModality(Qt::WindowModal);
    chooser->setFileMode(QFileDialog::Directory);
    chooser->setOption(QFileDialog::ShowDirsOnly, true);
    chooser->setDirectory(m_model->directoryChooserStart());
    connect(chooser, &QFileDialog::fileSelected, this,
            [this](const QString& path) { m_model->chooseDirectory(path); });
    chooser->open();
}

void SettingsWindow::clearDirectory() { m_model->clearDirectory(); }

void SettingsWindow::changeLogin() { m_model->changeLogin(m_login->isChecked()); }

void SettingsWindow::openLoginSettings() { m_model->openLoginSettings(); }

bool SettingsWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        m_model->refresh();
    return QWidget::event(event);
}

void SettingsWindow::closeEvent(QCloseEvent* event)
{
    m_model->windowClosing();
    QWidget::closeEvent(event);
    if (onClose)
        onClose();
}

} // namespace kelpie
