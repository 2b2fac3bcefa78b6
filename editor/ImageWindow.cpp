#include "editor/ImageWindow.h"

#include "annotation/AnnotationDocument.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/AnnotationTextView.h"
#include "canvas/AnnotationWindow.h"
#include "editor/ControlImage.h"
#include "editor/CoreAppearance.h"
#include "editor/CoreSurfaceView.h"
#include "editor/EditorControls.h"
#include "editor/FileDialogSavePanel.h"
#include "editor/FloatingControls.h"
#include "editor/ImageOutputs.h"
#include "editor/ImageWindowGeometry.h"
#include "editor/ImageWindowStatus.h"
#include "editor/LiveTextOverlay.h"
#include "editor/LiveTextSession.h"
#include "editor/QtImageClipboard.h"
#include "editor/ScreenshotColorWell.h"
#include "editor/ScreenshotLayout.h"
#include "editor/SecretPreviewLayer.h"
#include "editor/ScreenshotStatus.h"
#include "editor/ScreenshotView.h"
#include "editor/ToolbarButton.h"
#include "editor/WindowLevel.h"
#include "pin/PinChrome.h"
#include "pin/PinLayout.h"
#include "platform/X11TaskbarHint.h"
#include "pin/PinSurface.h"
#include "settings/AppPreferences.h"
#include "text/TextAnalysis.h"
#include "text/TextRecognizer.h"

#include <QApplication>
#include <QBoxLayout>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTextDocument>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace kelpie {

namespace G = ImageWindowGeometry;
namespace S = ImageWindowStatus;

namespace {

// With no screen at all the pin is laid out as on a small laptop screen at 2×.
constexpr double fallbackScale = 2;
const Rect fallbackVisibleFrame(0, 0, 1200, 800);
// A resize that no further resize follows within this time has ended.
constexpr int liveResizeEndMs = 150;
constexpr int plainIconButtonWidth = 28;
// How far in from a pin's edge a press resizes it instead of moving it.
constexpr double pinResizeBand = 6;
constexpr int buttonHeight = 28;
constexpr double minimumOpacity = 0.1;

Rect rectOf(const QRect& r) { return Rect(r.x(), r.y(), r.width(), r.height()); }

// Whole points for the window system: the size rounded on its own, so a
// frame centred on a half point keeps its size.
QRect qRectOf(const Rect& r)
{
    return QRect(qRound(r.minX()), qRound(r.minY()), qRound(r.width()), qRound(r.height()));
}

Rect primaryLogical()
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    return screens.isEmpty() ? Rect(0, 0, 0, 0) : rectOf(screens.first()->geometry());
}

// The first screen whose desktop frame holds the point, else the primary
// screen (null when there is none).
QScreen* screenHolding(std::optional<Point> desktopPoint)
{
    if (desktopPoint) {
        for (QScreen* screen : QGuiApplication::screens()) {
            if (G::desktopRect(rectOf(screen->geometry()), primaryLogical())
                    .contains(*desktopPoint))
                return screen;
        }
    }
    return QGuiApplication::primaryScreen();
}

// A symbol as a push-button icon, tinted with the button text colour.
QIcon symbolIcon(ControlSymbol symbol, const QColor& tint)
{
    const ControlImage image = ControlImage::symbol(symbol);
    const QSizeF size = image.size();
    const double ratio = 2;
    QPixmap pixmap((size * ratio).toSize());
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    image.draw(painter, QRectF(QPointF(0, 0), size));
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRectF(QPointF(0, 0), size), tint);
    painter.end();
    return QIcon(pixmap);
}

QWidget* makeRow(int spacing, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return row;
}

void appendToRow(QWidget* row, QWidget* widget)
{
    static_cast<QBoxLayout*>(row->layout())->addWidget(widget);
}

void setHidden(QWidget* widget, bool hidden)
{
    if (widget && widget->isHidden() != hidden)
        widget->setHidden(hidden);
}

// The edges of a frameless window of `size` within the resize band of `point`.
Qt::Edges resizeEdges(QPointF point, QSize size)
{
    Qt::Edges edges;
    if (size.width() <= 4 * pinResizeBand || size.height() <= 4 * pinResizeBand)
        return edges;
    edges.setFlag(Qt::LeftEdge, point.x() < pinResizeBand);
    edges.setFlag(Qt::RightEdge, point.x() >= size.width() - pinResizeBand);
    edges.setFlag(Qt::TopEdge, point.y() < pinResizeBand);
    edges.setFlag(Qt::BottomEdge, point.y() >= size.height() - pinResizeBand);
    return edges;
}

} // namespace

// The owned widgets and objects, in the order they are destroyed last to
// first: the window and the controls refer to the document, so it goes last.
struct ImageWindow::Parts {
    std::unique_ptr<AnnotationDocument> document;
    std::unique_ptr<AnnotationWindow> window;
    std::unique_ptr<EditorControls> controls;
    std::unique_ptr<ImageOutputs> outputs;
    // A pin's panels; they go first and give the rows back to the window.
    std::unique_ptr<PinChrome> chrome;
};

ImageWindow::ImageWindow(std::unique_ptr<AnnotationDocument> document, bool pinned,
                         std::shared_ptr<AppPreferences> preferences,
                         std::optional<ScreenshotPresentation> screenshot,
                         std::optional<Rect> pinFrame, std::shared_ptr<ImageClipboard> clipboard,
                         std::shared_ptr<SavePanel> savePanel,
                         std::shared_ptr<TextRecognizer> recognizer)
    : m_mode(pinned           ? EditorMode::pinned
                 : screenshot ? EditorMode::screenshot
                              : EditorMode::plain),
      m_preferences(std::move(preferences)),
      m_screenshot(pinned ? std::nullopt : std::move(screenshot)),
      m_clipboard(clipboard ? std::move(clipboard) : std::make_shared<QtImageClipboard>()),
      m_savePanel(savePanel ? std::move(savePanel) : std::make_shared<FileDialogSavePanel>()),
      m_parts(std::make_unique<Parts>()), m_self(std::make_shared<ImageWindow*>(this)),
      m_editing(!pinned)
{
    m_parts->document = std::move(document);
    createWindow(pinFrame);
    createContent();
    createButtons();
    switch (m_mode) {
    case EditorMode::plain: layOutPlain(); break;
    case EditorMode::screenshot: layOutScreenshot(); break;
    case EditorMode::pinned: layOutPinned(); break;
    }
    m_parts->outputs
        = std::make_unique<ImageOutputs>(*this, m_clipboard, m_savePanel, m_preferences);
    createLiveText(std::move(recognizer));
    installCallbacks();
    show();
}

ImageWindow::ImageWindow(const QImage& image, bool pinned,
                         std::shared_ptr<AppPreferences> preferences)
    : ImageWindow(std::make_unique<AnnotationDocument>(image), pinned, std::move(preferences))
{
}

ImageWindow::~ImageWindow()
{
    // Callbacks still queued or fired while the parts go find no window.
    m_self.reset();
    AnnotationWindow* window = m_parts->window.get();
    window->removeEventFilter(this);
    window->hide();
    // The owner may drop the window from inside the window's own event
    // handling (onClose from a close event or an Escape key), so the
    // widgets, and the document they draw, go once that has returned.
    auto* keeper = new QObject;
    connect(keeper, &QObject::destroyed,
            [parts = std::shared_ptr<Parts>(std::move(m_parts))] { (void)parts; });
    keeper->deleteLater();
}

// --- construction ------------------------------------------------------------

void ImageWindow::createWindow(const std::optional<Rect>& pinFrame)
{
    // Step 1: the status, the rows and the canvas; the canvas gets its
    // compact styles over the frozen screen and on pins.
    m_parts->window = std::make_unique<AnnotationWindow>();
    AnnotationWindow* window = m_parts->window.get();
    m_status = new ScreenshotStatus(window);
    m_canvas = new AnnotationCanvas(*m_parts->document, m_preferences, m_mode != EditorMode::plain,
                                    window);
    const auto weak = weakly();
    EditorStatusHooks hooks;
    hooks.text = [weak] {
        QString text;
        weak([&](ImageWindow& w) { text = w.statusText(); });
        return text;
    };
    hooks.set = [weak](const QString& text) { weak([&](ImageWindow& w) { w.setStatus(text); }); };
    hooks.contextual = [weak] {
        QString text;
        weak([&](ImageWindow& w) { text = w.contextualStatus(); });
        return text;
    };
    m_parts->controls = std::make_unique<EditorControls>(*m_canvas, *m_parts->document, m_mode,
                                                         std::move(hooks), window);
    EditorControls& rows = *m_parts->controls;
    m_toolRow = rows.toolRow();
    m_styleRow = rows.styleRow();
    m_optionRow = rows.optionRow();
    m_markupRow = rows.markupRow();
    m_viewerRow = makeRow(8, window);

    // Steps 3 to 5: screen, window kind and frame.
    const QImage& base = m_parts->document->baseImage();
    const Size pixels{double(base.width()), double(base.height())};
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->setWindowTitle(isPinned() ? QStringLiteral("Kelpie · 钉图") : QStringLiteral("Kelpie"));
    switch (m_mode) {
    case EditorMode::plain: {
        const Size size = G::plainEditorSize(pixels);
        window->resize(qRound(size.width), qRound(size.height));
        window->setMinimumSize(880, 300);
        break;
    }
    case EditorMode::screenshot: {
        window->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        window->setGeometry(qRectOf(G::logicalRect(m_screenshot->screenFrame, primaryLogical())));
        WindowLevel::set(window, WindowLevel::screenSaver);
        break;
    }
    case EditorMode::pinned: {
        // Frameless, off the task bar, over ordinary windows, and clear
        // wherever the canvas does not paint so the desktop's shadow and
        // rounded look are the pin's own.
        window->setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::Tool);
        window->setAttribute(Qt::WA_TranslucentBackground);
        window->setMouseTracking(true);
        const Size minimum = G::pinMinimumSize(pixels);
        window->setMinimumSize(QSize(std::max(1, int(std::ceil(minimum.width))),
                                     std::max(1, int(std::ceil(minimum.height)))));
        QScreen* target = screenHolding(
            pinFrame ? std::optional<Point>(Point{pinFrame->midX(), pinFrame->midY()})
                     : std::nullopt);
        const double scale = target ? target->devicePixelRatio() : fallbackScale;
        const Rect visible = target
            ? G::desktopRect(rectOf(target->availableGeometry()), primaryLogical())
            : fallbackVisibleFrame;
        const Rect frame = PinLayout::frame(pixels, scale, visible, pinFrame);
        window->setGeometry(qRectOf(G::logicalRect(frame, primaryLogical())));
        WindowLevel::set(window, WindowLevel::floating);
        X11TaskbarHint::skipTaskbar(window);
        break;
    }
    }
    window->copiesScreenshotOnReturn = isScreenshot();
}

void ImageWindow::createContent()
{
    // Step 6: the content view fills the window.
    AnnotationWindow* window = m_parts->window.get();
    auto* fill = new QVBoxLayout(window);
    fill->setContentsMargins(0, 0, 0, 0);
    if (isPinned()) {
        auto* surface = new PinSurface(window);
        m_pinSurface = surface;
        m_content = surface;
    } else if (isScreenshot()) {
        const QImage& base = m_parts->document->baseImage();
        m_screenshotView = new ScreenshotView(
            *m_screenshot, Size{double(base.width()), double(base.height())}, window);
        m_content = m_screenshotView;
    } else {
        m_content = new CoreSurfaceView(window);
    }
    fill->addWidget(m_content);
    // Step 7: the canvas gives way to the rows when space is short.
    m_canvas->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
}

QAbstractButton* ImageWindow::button(const QString& title)
{
    QAbstractButton* made = nullptr;
    if (m_mode == EditorMode::plain) {
        made = new QPushButton(title, m_parts->window.get());
    } else {
        auto* toolbar = new ToolbarButton(title, m_parts->window.get());
        toolbar->configureToolbarStyle();
        made = toolbar;
    }
    made->setFont(CoreAppearance::systemFont(14));
    made->setMinimumHeight(buttonHeight);
    return made;
}

QAbstractButton* ImageWindow::iconButton(ControlSymbol symbol, const QString& tooltip)
{
    QAbstractButton* made = button(QString());
    made->setToolTip(tooltip);
    made->setAccessibleName(tooltip);
    if (auto* toolbar = qobject_cast<ToolbarButton*>(made)) {
        toolbar->setImage(ControlImage::symbol(symbol));
        toolbar->setFixedWidth(ToolbarButton::iconButtonWidth);
    } else {
        // Drawn again in the text colour when the appearance changes.
        const auto tint = [made, symbol] {
            made->setIcon(symbolIcon(symbol, made->palette().color(QPalette::ButtonText)));
        };
        tint();
        CoreAppearance::followAppearance(made, tint);
        made->setFixedWidth(plainIconButtonWidth);
    }
    return made;
}

void ImageWindow::createButtons()
{
    const auto weak = weakly();
    const auto connectTo = [&](QAbstractButton* b, auto action) {
        connect(b, &QAbstractButton::clicked, this,
                [weak, action] { weak([&](ImageWindow& w) { (w.*action)(); }); });
    };

    // Step 8: the tool buttons and style controls, then undo and redo, 12
    // points before the outputs.
    EditorControls& rows = *m_parts->controls;
    rows.buildStyles();
    m_undoButton = iconButton(ControlSymbol::arrowUturnBackward, QStringLiteral("撤销（⌘Z）"));
    m_redoButton = iconButton(ControlSymbol::arrowUturnForward, QStringLiteral("重做（⌘⇧Z）"));
    connectTo(m_undoButton, &ImageWindow::undo);
    connectTo(m_redoButton, &ImageWindow::redo);
    rows.appendToToolRow(m_undoButton);
    rows.appendToToolRow(m_redoButton);
    // Kelpie's own command beside them: shown only where text is recognised.
    m_maskSecretsButton = iconButton(ControlSymbol::eyeSlash, SecretCommand::title()
                                         + QStringLiteral("（") + SecretCommand::shortcutText()
                                         + QStringLiteral("）"));
    m_maskSecretsButton->setAccessibleName(SecretCommand::title());
    connectTo(m_maskSecretsButton, &ImageWindow::maskSecrets);
    rows.appendToToolRow(m_maskSecretsButton, 12);

    // Step 9: the outputs, then the text buttons, then the spacer.
    m_donePinButton = button(QStringLiteral("完成"));
    m_pinButton = button(QStringLiteral("钉住"));
    m_saveButton = button(QStringLiteral("保存"));
    m_copyButton = button(S::copyTitle);
    connectTo(m_donePinButton, &ImageWindow::toggleEditing);
    connectTo(m_pinButton, &ImageWindow::pinImage);
    connectTo(m_saveButton, &ImageWindow::saveImage);
    // The screenshot editor's copy button is its primary "完成".
    switch (m_mode) {
    case EditorMode::plain: connectTo(m_copyButton, &ImageWindow::copy); break;
    case EditorMode::screenshot: connectTo(m_copyButton, &ImageWindow::completeScreenshot); break;
    case EditorMode::pinned: connectTo(m_copyButton, &ImageWindow::toolbarCopy); break;
    }
    for (QAbstractButton* output : {m_donePinButton, m_pinButton, m_saveButton, m_copyButton})
        rows.appendToToolRow(output);
    if (auto* copy = qobject_cast<ToolbarButton*>(m_copyButton))
        copy->setMinimumTitle(S::copyTextTitle);
    m_finishTextButton = button(QStringLiteral("完成文字"));
    m_finishTextButton->setToolTip(QStringLiteral("完成文字（⌘Return）"));
    m_cancelTextButton = button(QStringLiteral("取消"));
    m_cancelTextButton->setToolTip(QStringLiteral("取消文字（Esc）"));
    connectTo(m_finishTextButton, &ImageWindow::finishText);
    connectTo(m_cancelTextButton, &ImageWindow::cancelText);
    rows.appendToToolRow(m_finishTextButton);
    rows.appendToToolRow(m_cancelTextButton);
    auto* spacer = new QWidget(m_parts->window.get());
    spacer->setMinimumWidth(8);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    rows.appendToToolRow(spacer);

    // Step 10: the viewer row of a pin that is not being edited.
    auto* edit = new ToolbarButton(
        QStringLiteral("编辑"), ControlImage::symbol(ControlSymbol::pencil), m_parts->window.get());
    m_editButton = edit;
    auto* saveViewer = new ToolbarButton(QStringLiteral("保存"),
                                         ControlImage::symbol(ControlSymbol::squareAndArrowDown),
                                         m_parts->window.get());
    auto* closeViewer = new ToolbarButton(
        QStringLiteral("关闭"), ControlImage::symbol(ControlSymbol::xmark), m_parts->window.get());
    connectTo(edit, &ImageWindow::toggleEditing);
    connectTo(saveViewer, &ImageWindow::saveImage);
    connectTo(closeViewer, &ImageWindow::close);
    for (ToolbarButton* b : {edit, saveViewer, closeViewer}) {
        b->configureToolbarStyle();
        b->setAccessibleName(b->text());
        appendToRow(m_viewerRow, b);
    }
    m_viewerSaveButton = saveViewer;

    // The floating tool bar of the screenshot editor and the pin: icons,
    // with the primary button and close at its end.
    if (m_mode != EditorMode::plain) {
        m_closeButton = iconButton(ControlSymbol::xmark, QStringLiteral("关闭（Esc）"));
        connectTo(m_closeButton, &ImageWindow::closeImage);
        FloatingToolButtons buttons;
        buttons.undo = m_undoButton;
        buttons.redo = m_redoButton;
        buttons.maskSecrets = m_maskSecretsButton;
        buttons.pin = m_pinButton;
        buttons.save = m_saveButton;
        buttons.primary = isPinned() ? m_donePinButton : m_copyButton;
        buttons.close = m_closeButton;
        rows.configureFloatingTools(buttons);
        rows.buildMarkupOptions();
    }
}

void ImageWindow::layOutPlain()
{
    // A column of the rows, the canvas and the status, 20 points from the
    // sides and 12 from the top and bottom.
    auto* column = new QVBoxLayout(m_content);
    column->setContentsMargins(20, 12, 20, 12);
    column->setSpacing(10);
    for (QWidget* row : {m_toolRow, m_viewerRow, m_styleRow, m_optionRow})
        column->addWidget(row, 0, row == m_toolRow ? Qt::Alignment() : Qt::AlignLeft);
    m_canvas->setMinimumHeight(160);
    column->addWidget(m_canvas, 1);
    column->addWidget(m_status, 0, Qt::AlignLeft);
}

CoreSurfaceView* ImageWindow::makePanel(QWidget* rows, bool primary, FloatingControls** content)
{
    auto* panel = new CoreSurfaceView(m_content);
    panel->setCornerRadius(20);
    panel->setBordered(true);
    *content = new FloatingControls(
        {rows}, primary ? FloatingControls::Kind::primaryToolbar : FloatingControls::Kind::panel,
        panel);
    return panel;
}

void ImageWindow::layOutScreenshot()
{
    // The canvas over the crop, the tool bar and the markup row in two
    // floating panels beside it, the status next to them.
    m_canvas->setParent(m_screenshotView);
    m_screenshotView->setImageView(m_canvas);
    m_screenshotView->installBorder();
    m_toolbarPanel = makePanel(m_toolRow, true, &m_toolbarContent);
    m_parametersPanel = makePanel(m_markupRow, false, &m_parametersContent);
    m_viewerRow->hide();
    m_status->setParent(m_screenshotView);
    m_screenshotView->setChrome({m_toolbarPanel, m_parametersPanel, m_status});
    m_canvas->show();
    m_status->show();
}

void ImageWindow::layOutPinned()
{
    // The canvas fills the surface. The tool and viewer rows go to the
    // chrome's primary panel, the markup row and the status to its secondary.
    AnnotationWindow* window = m_parts->window.get();
    m_canvas->setParent(m_content);
    m_plainRows = new QWidget(window);
    m_plainRows->hide();
    for (QWidget* row : {m_styleRow, m_optionRow})
        row->setParent(m_plainRows);
    m_parts->chrome = std::make_unique<PinChrome>(
        window, m_pinSurface, std::vector<QWidget*>{m_toolRow, m_viewerRow},
        std::vector<QWidget*>{m_markupRow, m_status});
    for (QWidget* panel : {static_cast<QWidget*>(m_parts->chrome->primary()),
                           static_cast<QWidget*>(m_parts->chrome->secondary())})
        X11TaskbarHint::skipTaskbar(panel);
    // The colour dialog of the well keeps the chrome up while it is in use.
    const auto weak = weakly();
    m_parts->chrome->setAuxiliaryActive([weak] {
        bool active = false;
        weak([&](ImageWindow& w) {
            const ScreenshotColorWell* well = w.controls().colorWell();
            active = well && well->isActive();
        });
        return active;
    });
    // While editing, the panels go where the screenshot editor puts its own,
    // with the visible frame as the whole capture.
    m_parts->chrome->editingPlacement = [](const Rect& region, Size viewport, Size primary,
                                           Size secondary) {
        std::optional<PinChromePlacement::Frames> frames;
        if (const auto placed
            = ScreenshotLayout::make(viewport, region, viewport, primary, secondary, true))
            frames = PinChromePlacement::Frames{placed->toolbar, placed->parameters};
        return frames;
    };
    m_canvas->show();
}

void ImageWindow::installCallbacks()
{
    const auto weak = weakly();
    CanvasModel& model = m_canvas->model();
    model.onError
        = [weak](const QString& message) { weak([&](ImageWindow& w) { w.setStatus(message); }); };
    model.onPreviewBegin = [weak] { weak([](ImageWindow& w) { w.invalidateRecognition(); }); };
    model.onDocumentChanged = [weak] {
        weak([](ImageWindow& w) {
            w.updateControls();
            w.recognize();
        });
    };
    model.onSelectionChanged = [weak] { weak([](ImageWindow& w) { w.updateControls(); }); };
    model.onConfirm = [weak] { weak([](ImageWindow& w) { w.completeScreenshot(); }); };
    model.onSpace = [weak] {
        weak([](ImageWindow& w) {
            if (w.isPinned())
                w.toggleEditing();
            else
                w.completeScreenshot();
        });
    };
    model.onExit = [weak] { weak([](ImageWindow& w) { w.cancelOperation(); }); };
    model.onZoom = [weak](double factor) { weak([&](ImageWindow& w) { w.zoom(factor); }); };
    model.onStyleKey = [weak](std::optional<double> step, std::optional<int> index) {
        weak([&](ImageWindow& w) { w.controls().changeStyleKey(step, index); });
    };
    m_status->onChange = [weak] { weak([](ImageWindow& w) { w.statusChanged(); }); };
    if (ScreenshotView* view = m_screenshotView) {
        view->onLayout = [weak] { weak([](ImageWindow& w) { w.layoutScreenshot(); }); };
        view->onAdjustmentBegin
            = [weak] { weak([](ImageWindow& w) { w.invalidateRecognition(); }); };
        view->onAdjustmentCancel = [weak] { weak([](ImageWindow& w) { w.recognize(); }); };
        view->onRegionChange = [weak](const Rect& region) {
            bool taken = false;
            weak([&](ImageWindow& w) { taken = w.onReselect && w.onReselect(region); });
            return taken;
        };
    }
    m_canvas->onBackgroundDrag
        = [weak](QMouseEvent* event) { weak([&](ImageWindow& w) { w.backgroundDrag(event); }); };

    AnnotationWindow* window = m_parts->window.get();
    if (isScreenshot())
        window->copyScreenshotSelection = [weak] { weak([](ImageWindow& w) { w.copy(); }); };
    window->handleCanvasKey = [weak](const QKeyEvent& event) {
        bool handled = false;
        weak([&](ImageWindow& w) {
            handled = w.handleSecretKey(event)
                || (!w.isAdjusting() && w.m_canvas && w.m_canvas->handleKey(event));
        });
        return handled;
    };
    window->handleMenuKey = [weak](const QKeyEvent& event, bool textViewFocused) {
        bool handled = false;
        weak([&](ImageWindow& w) {
            // The secrets preview, while open, answers Return and Escape
            // before the focused control sees them.
            handled = (!textViewFocused && w.handleSecretKey(event))
                || w.performKeyCommand(
                    ImageWindowKeys::command(event.key(), event.modifiers(), textViewFocused));
        });
        return handled;
    };
    if (m_pinSurface)
        m_pinSurface->onLayout = [weak] { weak([](ImageWindow& w) { w.layoutPin(); }); };
    // Right presses over the overlay come through to the canvas too.
    m_canvas->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_canvas, &QWidget::customContextMenuRequested, this, [weak](const QPoint& at) {
        weak([&](ImageWindow& w) { w.showContextMenu(at); });
    });

    // The window's delegate: close, move, resize and key changes.
    window->installEventFilter(this);
    m_liveResizeEnd = new QTimer(this);
    m_liveResizeEnd->setSingleShot(true);
    m_liveResizeEnd->setInterval(liveResizeEndMs);
    connect(m_liveResizeEnd, &QTimer::timeout, this,
            [weak] { weak([](ImageWindow& w) { w.windowDidEndLiveResize(); }); });
}

void ImageWindow::show()
{
    // Step 13.
    updateControls();
    AnnotationWindow* window = m_parts->window.get();
    if (m_mode == EditorMode::plain) {
        if (QScreen* target = QGuiApplication::primaryScreen()) {
            QRect frame = window->geometry();
            frame.moveCenter(target->availableGeometry().center());
            window->setGeometry(frame);
        }
    }
    if (m_mode == EditorMode::screenshot)
        WindowLevel::showCoveringScreen(window);
    else
        window->show();
    window->raise();
    window->activateWindow();
    m_canvas->setFocus(Qt::OtherFocusReason);
    m_laidOut = true;
    if (isPinned())
        layoutPin();
    refitOverlay();
    recognize();
}

// --- weak callbacks ----------------------------------------------------------

std::function<void(const std::function<void(ImageWindow&)>&)> ImageWindow::weakly() const
{
    return [self
            = std::weak_ptr<ImageWindow*>(m_self)](const std::function<void(ImageWindow&)>& body) {
        if (const auto alive = self.lock())
            body(**alive);
    };
}

// --- state -------------------------------------------------------------------

AnnotationWindow* ImageWindow::window() const { return m_parts->window.get(); }

AnnotationDocument& ImageWindow::document() const { return *m_parts->document; }

EditorControls& ImageWindow::controls() const { return *m_parts->controls; }

QString ImageWindow::statusText() const { return m_status ? m_status->text() : QString(); }

std::optional<Rect> ImageWindow::suggestedPinFrame() const
{
    const AnnotationWindow* window = m_parts->window.get();
    if (!window || !m_canvas)
        return std::nullopt;
    // The canvas's content rectangle is y-up inside the canvas.
    const QRectF content = m_canvas->widgetRect(m_canvas->model().contentRect());
    const QPointF topLeft = m_canvas->mapToGlobal(content.topLeft());
    const Rect logical(topLeft.x(), topLeft.y(), content.width(), content.height());
    return G::desktopRect(logical, primaryLogical());
}

QString ImageWindow::imageDimensions() const
{
    const QImage& base = m_parts->document->baseImage();
    return S::imageDimensions(base.width(), base.height());
}

LiveTextOverlay* ImageWindow::overlay() const { return m_overlay; }

bool ImageWindow::overlayVisible() const
{
    const QWidget* layer = overlay();
    return layer != nullptr && !layer->isHidden();
}

QString ImageWindow::contextualStatus() const
{
    // Whether text was found is said only once a result has arrived.
    const bool analysed = overlayVisible() && m_overlay->analysis() != nullptr;
    return S::contextualStatus(analysed, analysed ? m_overlay->text() : QString(),
                               imageDimensions());
}

bool ImageWindow::hidesRoutineStatus() const
{
    return S::hidesRoutineStatus(statusText(), imageDimensions());
}

bool ImageWindow::isAdjusting() const
{
    return m_screenshotView != nullptr && m_screenshotView->isAdjusting();
}

bool ImageWindow::hasDraft() const { return m_canvas && m_canvas->model().hasDraft(); }

bool ImageWindow::inTransaction() const { return m_parts->document->inTransaction(); }

std::optional<QImage> ImageWindow::composite() const
{
    if (!m_canvas || m_canvas->model().previewImage().isNull())
        return std::nullopt;
    return m_canvas->model().previewImage();
}

bool ImageWindow::textBeingTyped() const { return m_canvas && m_canvas->model().textEditing(); }

bool ImageWindow::finishTextEditing()
{
    if (!textBeingTyped())
        return true;
    return m_canvas->model().finishTextEditing();
}

QString ImageWindow::selectedLiveText() const
{
    if (!overlayVisible() || !m_overlay->hasActiveTextSelection())
        return QString();
    return m_overlay->selectedText();
}

void ImageWindow::setStatus(const QString& text)
{
    // The label tells statusChanged itself.
    m_status->setText(text);
}

void ImageWindow::statusChanged()
{
    if (isScreenshot())
        layoutScreenshot();
    else if (isPinned())
        layoutPin();
}

void ImageWindow::closeWindow() { close(); }

void ImageWindow::pinDocumentCopy()
{
    if (onPin)
        onPin(m_parts->document->copied());
}

QWidget* ImageWindow::dialogParent() { return m_parts->window.get(); }

// --- controls ----------------------------------------------------------------

void ImageWindow::updateControls()
{
    CanvasModel& model = m_canvas->model();
    // 1. Editing.
    model.setEditingEnabled(m_editing);
    setHidden(m_toolRow, !m_editing);
    // 2. The plain editor's style row, for drawing tools (the controls
    // show and hide it with the rest of the style controls, step 5).
    EditorControls& rows = *m_parts->controls;
    const bool styleRowVisible = m_mode == EditorMode::plain && rows.styleRowVisible();
    // 3. The compact markup row, and the viewer row of a pin being looked at.
    if (m_mode != EditorMode::plain)
        rows.updateMarkupOptions(m_editing);
    setHidden(m_viewerRow, !(isPinned() && !m_editing));
    // 4. The plain editor's minimum size, grown downwards for the style row.
    AnnotationWindow* window = m_parts->window.get();
    if (m_mode == EditorMode::plain) {
        const Size minimum = G::plainMinimumSize(m_editing, styleRowVisible);
        window->setMinimumSize(int(minimum.width), int(minimum.height));
        if (styleRowVisible && window->height() < 480) {
            const QRect frame = window->geometry();
            setVisibleFrame(Rect(frame.x(), frame.y(), frame.width(), 480));
        }
    }
    // 5. The style controls.
    rows.update();
    // 6. The text buttons while text is typed.
    setHidden(m_finishTextButton, !textBeingTyped());
    setHidden(m_cancelTextButton, !textBeingTyped());
    // 7, 8.
    updateOutputButtons();
    updateUndoRedo();
    // 9. The text layer steps aside while drawing or with a selection.
    if (QWidget* layer = overlay())
        setHidden(layer,
                  model.hasDraft() || model.currentTool() != AnnotationTool::select
                      || model.selected().has_value());
    // 10. Routine statuses follow the state.
    if (S::isContextual(statusText(), imageDimensions()) && m_status)
        m_status->setText(contextualStatus());
    // 11.
    updateCopyTitle();
    if (isScreenshot())
        layoutScreenshot();
    else if (isPinned())
        layoutPin();
    m_canvas->update();
}

void ImageWindow::updateOutputButtons()
{
    const bool typing = textBeingTyped();
    const bool screenshot = isScreenshot();
    const bool pinned = isPinned();
    setHidden(m_pinButton, pinned || (typing && !screenshot));
    const bool outputsHidden = typing && !screenshot && !pinned;
    setHidden(m_saveButton, outputsHidden);
    setHidden(m_copyButton, outputsHidden);
    setHidden(m_donePinButton, !pinned || typing);
    setHidden(m_maskSecretsButton, !m_liveText || typing);
    m_maskSecretsButton->setEnabled(validateMenuItem(ImageWindowMenu::Action::maskSecrets));
}

void ImageWindow::updateUndoRedo()
{
    bool canUndo = false;
    bool canRedo = false;
    if (AnnotationTextView* text = m_canvas->textEditor()) {
        // The text view's own history, untouched while an input method composes.
        canUndo = !text->composing() && text->document()->isUndoAvailable();
        canRedo = !text->composing() && text->document()->isRedoAvailable();
    } else {
        const bool idle = !hasDraft() && !inTransaction();
        canUndo = idle && m_parts->document->canUndo();
        canRedo = idle && m_parts->document->canRedo();
    }
    m_undoButton->setEnabled(canUndo);
    m_redoButton->setEnabled(canRedo);
}

void ImageWindow::updateCopyTitle()
{
    const QString selected = selectedLiveText();
    const QString title = S::copyButtonTitle(overlayVisible(), !selected.isEmpty(), selected);
    if (m_mode == EditorMode::plain)
        m_copyButton->setText(title);
    else if (isScreenshot())
        m_copyButton->setToolTip(S::completeTooltip);
}

// --- pinned mode ---------------------------------------------------------------

void ImageWindow::toggleEditing()
{
    if (!isPinned() || !finishTextEditing())
        return;
    CanvasModel& model = m_canvas->model();
    m_canvas->setFocus(Qt::OtherFocusReason);
    model.cancelGesture();
    model.chooseTool(AnnotationTool::select);
    m_editing = !m_editing;
    updateControls();
}

void ImageWindow::layoutPin()
{
    if (!isPinned() || !m_laidOut || !m_canvas || !m_content)
        return;
    if (m_canvas->geometry() != m_content->rect())
        m_canvas->setGeometry(m_content->rect());
    refitOverlay();
    if (m_status)
        setHidden(m_status, hidesRoutineStatus());
    if (m_parts->chrome)
        m_parts->chrome->layout(m_editing);
}

ScreenshotChromeParts ImageWindow::chromeParts() const
{
    ScreenshotChromeParts parts;
    parts.canvas = m_canvas;
    parts.overlay = overlay();
    parts.toolbarPanel = m_toolbarPanel;
    parts.parametersPanel = m_parametersPanel;
    parts.toolbarContent = m_toolbarContent;
    parts.parametersContent = m_parametersContent;
    parts.status = m_status;
    parts.markupRowVisible = !m_markupRow->isHidden();
    parts.documentHasObjects = !m_parts->document->state().objects.isEmpty();
    parts.canvasHasDraft = hasDraft();
    parts.hidesRoutineStatus = hidesRoutineStatus();
    return parts;
}

void ImageWindow::layoutScreenshot()
{
    if (m_screenshotView)
        kelpie::layoutScreenshot(*m_screenshotView, chromeParts());
}

void ImageWindow::refitOverlay()
{
    if (m_overlay) {
        m_overlay->setGeometry(m_canvas->rect());
        m_overlay->setContentsRectNeedsUpdate();
    }
}

void ImageWindow::backgroundDrag(QMouseEvent* event)
{
    AnnotationWindow* window = m_parts->window.get();
    const QPoint pointer = event->globalPosition().toPoint();
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        // A frameless pin is resized from its edges, through the window system.
        if (event->button() == Qt::LeftButton && window->windowHandle()) {
            const Qt::Edges edges = resizeEdges(event->position(), m_canvas->size());
            if (edges && window->windowHandle()->startSystemResize(edges))
                break;
            // A Wayland client cannot place its windows: the compositor
            // moves the pin for it.
            if (QGuiApplication::platformName() == QLatin1String("wayland")
                && window->windowHandle()->startSystemMove())
                break;
        }
        m_drag.press(pointer, window->pos());
        window->raise();
        window->activateWindow();
        break;
    case QEvent::MouseMove:
        if (event->buttons() & Qt::LeftButton) {
            if (const auto origin = m_drag.moved(pointer))
                window->move(*origin);
        }
        break;
    case QEvent::MouseButtonRelease: m_drag.release(); break;
    default: break;
    }
}

void ImageWindow::zoom(double factor)
{
    if (!isPinned())
        return;
    AnnotationWindow* window = m_parts->window.get();
    const QSize minimum = window->minimumSize();
    const Rect visible = visibleDesktopFrame();
    const Rect frame
        = G::zoomed(rectOf(window->geometry()), factor,
                    Size{double(minimum.width()), double(minimum.height())}, visible.size);
    setVisibleFrame(frame);
}

void ImageWindow::setVisibleFrame(const Rect& frame)
{
    AnnotationWindow* window = m_parts->window.get();
    QScreen* target = screen();
    Rect logical = frame;
    if (target && isPinned()) {
        logical = pinFrameFor(frame);
    } else if (target) {
        logical = G::clampedInto(frame, rectOf(target->availableGeometry()));
    }
    window->setGeometry(qRectOf(logical));
}

Rect ImageWindow::pinFrameFor(const Rect& logical) const
{
    const Size pixels = m_canvas->model().imageSize();
    const Rect pin = PinLayout::frame(pixels, backingScale(), visibleDesktopFrame(),
                                      G::desktopRect(logical, primaryLogical()));
    return G::logicalRect(pin, primaryLogical());
}

QScreen* ImageWindow::screen() const
{
    if (QGuiApplication::screens().isEmpty())
        return nullptr;
    return m_parts->window->screen();
}

double ImageWindow::backingScale() const
{
    const QScreen* target = screen();
    return target ? target->devicePixelRatio() : fallbackScale;
}

Rect ImageWindow::visibleDesktopFrame() const
{
    const QScreen* target = screen();
    return target ? G::desktopRect(rectOf(target->availableGeometry()), primaryLogical())
                  : fallbackVisibleFrame;
}

void ImageWindow::opacityPreset(int percent) { changeOpacity(percent / 100.0); }

void ImageWindow::changeOpacity(double opacity)
{
    // A pin never goes fully clear: it would stay on top, invisible, and
    // still take the clicks meant for the windows below.
    if (!std::isfinite(opacity))
        return;
    m_opacity = std::clamp(opacity, minimumOpacity, 1.0);
    m_parts->window->setWindowOpacity(m_opacity);
}

// --- commands ----------------------------------------------------------------

void ImageWindow::cancelOperation()
{
    CanvasModel& model = m_canvas->model();
    if (m_screenshotView && m_screenshotView->cancelOperation()) {
        // A re-crop in progress went back to the region of before.
    } else if (m_overlay && m_overlay->hasActiveTextSelection()) {
        m_overlay->resetSelection();
    } else if (model.hasDraft()) {
        model.cancelGesture();
    } else if (model.tool() != AnnotationTool::select) {
        model.chooseTool(AnnotationTool::select);
    } else if (model.selectedID()) {
        model.deselect();
    } else if (isPinned() && m_editing) {
        if (!finishTextEditing())
            return;
        m_canvas->setFocus(Qt::OtherFocusReason);
        model.cancelGesture();
        model.chooseTool(AnnotationTool::select);
        m_editing = false;
        updateControls();
    } else {
        close();
    }
}

void ImageWindow::finishText()
{
    if (textBeingTyped())
        m_canvas->model().finishTextEditing();
}

void ImageWindow::cancelText()
{
    if (textBeingTyped())
        m_canvas->model().cancelTextEditing();
}

void ImageWindow::undo()
{
    if (AnnotationTextView* text = m_canvas->textEditor()) {
        if (!text->composing()) {
            text->document()->undo();
            updateControls();
        }
    } else if (!hasDraft()) {
        m_parts->document->undo();
    }
}

void ImageWindow::redo()
{
    if (AnnotationTextView* text = m_canvas->textEditor()) {
        if (!text->composing()) {
            text->document()->redo();
            updateControls();
        }
    } else if (!hasDraft()) {
        m_parts->document->redo();
    }
}

void ImageWindow::close()
{
    if (m_parts->window)
        m_parts->window->close();
}

// --- outputs -------------------------------------------------------------------

std::optional<QImage> ImageWindow::stableImage() { return m_parts->outputs->stableImage(); }

void ImageWindow::copyImage() { m_parts->outputs->copyImage(); }

void ImageWindow::copy() { m_parts->outputs->copy(); }

void ImageWindow::toolbarCopy() { m_parts->outputs->toolbarCopy(); }

void ImageWindow::completeScreenshot() { m_parts->outputs->completeScreenshot(); }

void ImageWindow::saveImage() { m_parts->outputs->saveImage(); }

void ImageWindow::pinImage() { m_parts->outputs->pinImage(); }

// --- recognition ---------------------------------------------------------------

void ImageWindow::createLiveText(std::shared_ptr<TextRecognizer> recognizer)
{
    if (!recognizer)
        return;
    // The overlay lies over the canvas and answers for it: text can be
    // selected where the canvas itself would not take the press.
    AnnotationCanvas* canvas = m_canvas;
    m_overlay = new LiveTextOverlay(canvas);
    m_overlay->contentsRect
        = [canvas] { return canvas->widgetRect(canvas->model().contentRect()); };
    m_overlay->shouldBegin
        = [canvas](QPointF point) { return canvas->model().canSelectText(canvas->viewPoint(point)); };
    const auto weak = weakly();
    connect(m_overlay, &LiveTextOverlay::textSelectionChanged, this,
            [weak] { weak([](ImageWindow& w) { w.updateCopyTitle(); }); });
    // The secrets preview lies above the text and maps as it does.
    m_secretLayer = new SecretPreviewLayer(canvas);
    m_secretLayer->widgetRect = [overlay = m_overlay](const Rect& r) { return overlay->widgetRect(r); };
    connect(m_secretLayer, &SecretPreviewLayer::itemClicked, this, [weak](int index) {
        weak([&](ImageWindow& w) {
            w.m_secrets.toggle(index);
            w.m_secretLayer->update();
        });
    });

    m_liveText = new LiveTextSession(*m_parts->document,
                                     LiveTextSession::engine(std::move(recognizer)), this);
    m_liveText->gestureInProgress = [weak] {
        bool drafting = false;
        weak([&](ImageWindow& w) { drafting = w.hasDraft(); });
        return drafting;
    };
    m_liveText->composite = [weak] {
        QImage image;
        weak([&](ImageWindow& w) { image = w.m_canvas->model().previewImage(); });
        return image;
    };
    m_liveText->onClearAnalysis = [weak] {
        weak([](ImageWindow& w) { w.m_overlay->setAnalysis(nullptr, QSize()); });
    };
    m_liveText->onStatus = [weak](const QString& status) {
        weak([&](ImageWindow& w) {
            if (status == LiveTextSession::failedStatus()
                || status == LiveTextSession::safeTextFailedStatus()) {
                // Nothing can be found in a picture that cannot be read.
                w.m_secrets.recognitionFailed();
                w.m_secretsNotice.clear();
                w.secretsChanged();
            }
            // Last, so that the failure is what the status line says, not
            // the routine status the secrets command falls back to.
            w.setStatus(status);
        });
    };
    m_liveText->onUpdateControls = [weak] { weak([](ImageWindow& w) { w.updateControls(); }); };
    m_liveText->onAnalysis = [weak](std::shared_ptr<const TextAnalysis> analysis, QSize size) {
        weak([&](ImageWindow& w) { w.showAnalysis(std::move(analysis), size); });
    };
}

void ImageWindow::showAnalysis(std::shared_ptr<const TextAnalysis> analysis, QSize imageSize)
{
    m_overlay->setAnalysis(std::move(analysis), imageSize);
    m_overlay->setContentsRectNeedsUpdate();
    updateCopyTitle();
    setStatus(contextualStatus());
    if (!m_secretsNotice.isEmpty()) {
        setStatus(m_secretsNotice);
        m_secretsNotice.clear();
    }
    if (const auto& current = m_overlay->analysis()) {
        m_secrets.analysisArrived(*current, *m_parts->document);
        secretsChanged();
    }
}

void ImageWindow::maskSecrets()
{
    if (!validateMenuItem(ImageWindowMenu::Action::maskSecrets))
        return;
    const TextAnalysis* analysis = m_overlay->analysis().get();
    // Only the analysis of the current picture counts; while it is being
    // recognised (or after a failure, once it is tried again) the command
    // waits for it.
    if (!analysis && !m_liveText->recognizing())
        m_liveText->recognize();
    m_secrets.request(m_liveText->recognizing() ? nullptr : analysis, *m_parts->document);
    secretsChanged();
}

bool ImageWindow::handleSecretKey(const QKeyEvent& event)
{
    if (!m_secrets.isActive() || (event.modifiers() & ~Qt::KeypadModifier))
        return false;
    const bool applied = event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter;
    if (!m_secrets.handleKey(event.key(), *m_parts->document,
                             m_canvas->model().newStyle(AnnotationTool::mask)))
        return false;
    if (applied && !m_secrets.isActive())
        m_secretsNotice = m_secrets.statusText();
    secretsChanged();
    return true;
}

void ImageWindow::secretsChanged()
{
    if (!m_secretLayer)
        return;
    m_secretLayer->setPreview(m_secrets.preview());
    if (!m_secrets.statusText().isEmpty())
        setStatus(m_secrets.statusText());
    else if (!m_closed)
        setStatus(m_liveText && m_liveText->recognizing() ? LiveTextSession::recognizingStatus()
                                                          : contextualStatus());
    updateControls();
}

void ImageWindow::invalidateRecognition()
{
    ++m_generation;
    if (m_liveText) {
        m_liveText->invalidateRecognition();
        if (m_secrets.state() == SecretCommand::State::previewing) {
            m_secrets.invalidate();
            m_secretLayer->setPreview(nullptr);
        }
        return;
    }
    // Without a recogniser nothing is recognised, so the status says what
    // is known instead of promising text.
    if (hasDraft() || inTransaction())
        setStatus(S::editingInProgress);
    else
        setStatus(contextualStatus());
    updateControls();
}

void ImageWindow::recognize()
{
    if (!m_liveText) {
        invalidateRecognition();
        return;
    }
    ++m_generation;
    m_liveText->recognize();
}

void ImageWindow::copySelectedText() { m_parts->outputs->copySelectedText(selectedLiveText()); }

void ImageWindow::copyAllText()
{
    m_parts->outputs->copyAllText(m_overlay ? m_overlay->text() : QString());
}

void ImageWindow::selectAll()
{
    if (overlayVisible() && !m_overlay->text().isEmpty())
        m_overlay->setSelectedRanges({{0, m_overlay->text().size()}});
    updateCopyTitle();
    if (isScreenshot())
        layoutScreenshot();
    else if (isPinned())
        layoutPin();
}

// --- menus and keys ------------------------------------------------------------

ImageWindowMenu::State ImageWindow::menuState() const
{
    ImageWindowMenu::State state;
    state.closed = m_closed;
    state.pinned = isPinned();
    state.screenshot = isScreenshot();
    state.gesture = hasDraft();
    state.transaction = inTransaction();
    state.hasComposite = composite().has_value();
    state.overlayVisible = overlayVisible();
    if (m_overlay) {
        state.fullText = m_overlay->text();
        state.selectedText = m_overlay->selectedText();
    }
    state.canUndo = m_parts->document->canUndo();
    state.canRedo = m_parts->document->canRedo();
    state.alpha = m_opacity;
    state.editing = !isPinned() || m_editing;
    state.recognizes = m_liveText != nullptr;
    return state;
}

bool ImageWindow::validateMenuItem(ImageWindowMenu::Action action) const
{
    return ImageWindowMenu::enabled(action, menuState());
}

QMenu* ImageWindow::makeContextMenu()
{
    auto* menu = new QMenu(m_parts->window.get());
    const ImageWindowMenu::State state = menuState();
    const auto weak = weakly();
    const std::function<void(QMenu*, const QList<ImageWindowMenu::Item>&)> fill
        = [&](QMenu* into, const QList<ImageWindowMenu::Item>& items) {
              for (const ImageWindowMenu::Item& item : items) {
                  if (item.separator) {
                      into->addSeparator();
                  } else if (!item.submenu.isEmpty()) {
                      fill(into->addMenu(item.title), item.submenu);
                  } else {
                      QAction* action = into->addAction(item.title);
                      action->setEnabled(ImageWindowMenu::enabled(item.action, state));
                      if (item.action == ImageWindowMenu::Action::opacityPreset) {
                          action->setCheckable(true);
                          action->setChecked(ImageWindowMenu::checked(item, state));
                      }
                      connect(action, &QAction::triggered, this,
                              [weak, which = item.action, tag = item.tag] {
                                  weak([&](ImageWindow& w) { w.perform(which, tag); });
                              });
                  }
              }
          };
    fill(menu, ImageWindowMenu::items(state));
    return menu;
}

void ImageWindow::showContextMenu(const QPoint& at)
{
    QMenu* menu = makeContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(m_canvas->mapToGlobal(at));
}

void ImageWindow::perform(ImageWindowMenu::Action action, int tag)
{
    using Action = ImageWindowMenu::Action;
    // Undo and redo of the text being typed follow its own history.
    const bool typedHistory = (action == Action::undo || action == Action::redo) && textBeingTyped();
    if (!typedHistory && !validateMenuItem(action))
        return;
    switch (action) {
    case Action::copySelectedText: copySelectedText(); break;
    case Action::copyAllText: copyAllText(); break;
    case Action::selectAll: selectAll(); break;
    case Action::copyImage: copyImage(); break;
    case Action::saveImage:
    case Action::saveDocument: saveImage(); break;
    case Action::pinImage: pinImage(); break;
    case Action::opacityPreset: opacityPreset(tag); break;
    case Action::undo: undo(); break;
    case Action::redo: redo(); break;
    case Action::maskSecrets: maskSecrets(); break;
    case Action::other: break;
    }
}

bool ImageWindow::performKeyCommand(ImageWindowKeys::Command command)
{
    using Command = ImageWindowKeys::Command;
    using Action = ImageWindowMenu::Action;
    switch (command) {
    case Command::none: return false;
    // Copy is always enabled: it says itself why it cannot copy.
    case Command::copy: copy(); return true;
    case Command::copyAllText: perform(Action::copyAllText); return true;
    case Command::selectAll: perform(Action::selectAll); return true;
    case Command::saveDocument: perform(Action::saveDocument); return true;
    case Command::pinImage: perform(Action::pinImage); return true;
    case Command::undo: perform(Action::undo); return true;
    case Command::redo: perform(Action::redo); return true;
    case Command::maskSecrets: perform(Action::maskSecrets); return true;
    }
    return false;
}

// --- display changes -----------------------------------------------------------

void ImageWindow::preserveScreenshotAfterScreenChange()
{
    if (!isScreenshot())
        return;
    // The frozen screen no longer matches the display, so re-cropping in
    // place stops; the window covers whatever screen it is on now.
    controls().suspendColorWell();
    m_screenshotView->setSourceGeometryAvailable(false);
    if (QScreen* target = screen())
        m_parts->window->setGeometry(target->geometry());
    else
        layoutScreenshot();
}

void ImageWindow::suspendScreenshotForSettings()
{
    if (!isScreenshot())
        return;
    controls().suspendColorWell();
    m_parts->window->hide();
}

// --- window delegate -----------------------------------------------------------

bool ImageWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_parts->window.get())
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Close:
        // The window hides (it is kept for the owner to drop); the tear-down
        // runs once, and the owner may drop this controller from onClose.
        if (!m_closed)
            windowWillClose();
        return false;
    case QEvent::Move: windowDidMove(); break;
    case QEvent::Resize: windowDidResize(); break;
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate: windowKeyChanged(); break;
    default: break;
    }
    return QObject::eventFilter(watched, event);
}

void ImageWindow::windowWillClose()
{
    controls().suspendColorWell();
    // The panels hide for good; they are dropped with the window's parts.
    if (m_parts->chrome)
        m_parts->chrome->close();
    m_closed = true;
    ++m_generation;
    // The recognised text goes with the window: tasks cancelled, results
    // dropped, the overlay emptied.
    if (m_liveText)
        m_liveText->close();
    m_secrets.cancel();
    if (m_secretLayer)
        m_secretLayer->setPreview(nullptr);
    m_parts->document->onChange = nullptr;
    if (onClose) {
        // The owner may destroy this window from inside the callback.
        const auto callback = onClose;
        callback();
    }
}

void ImageWindow::windowDidMove()
{
    if (isPinned())
        layoutPin();
}

void ImageWindow::windowDidResize()
{
    if (isPinned())
        layoutPin();
    m_liveResizeEnd->start();
}

void ImageWindow::windowDidEndLiveResize()
{
    if (m_closed)
        return;
    // The window system resizes a pin freely; the pin layout gives the
    // image's aspect back, keeping the width and the top-left corner.
    if (isPinned()) {
        const Rect frame = rectOf(m_parts->window->geometry());
        const Rect fitted = pinFrameFor(frame);
        if (qRectOf(fitted) != qRectOf(frame))
            m_parts->window->setGeometry(qRectOf(fitted));
    }
    updateControls();
}

void ImageWindow::windowKeyChanged()
{
    if (m_parts->chrome)
        m_parts->chrome->refreshVisibility();
}

} // namespace kelpie
