#include "verification/InlineVerification.h"

#include "annotation/AnnotationDocument.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/AnnotationWindow.h"
#include "editor/ImageWindow.h"
#include "editor/LiveTextOverlay.h"
#include "editor/ScreenshotBorder.h"
#include "editor/ScreenshotView.h"
#include "overlay/SelectionWindow.h"
#include "platform/TextRecognizerModule.h"
#include "settings/AppPreferences.h"
#include "settings/ScratchPreferences.h"
#include "text/TextAnalysis.h"
#include "verification/CanvasInput.h"
#include "verification/EditorProbe.h"
#include "verification/RoutineClipboard.h"
#include "verification/RoutineSteps.h"
#include "verification/SyntheticInput.h"
#include "verification/VerificationReport.h"
#include "verification/WindowInlineRun.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include <cmath>
#include <memory>

namespace kelpie {

namespace {

using namespace std::chrono_literals;

constexpr auto recognitionPatience = 180s;
constexpr auto windowPatience = 10s;

const QString titleLine = QStringLiteral("Screenshot workspace");
const QString bodyLine = QStringLiteral("Select this text or mark the image.");

// The frozen screen: a desktop with a card in its middle that carries the
// two lines. Everything in points, drawn at the screen's pixel ratio.
struct FrozenScreen {
    QImage background;
    // The card, the crop, in points with y down.
    QRectF card;
    double ratio = 1;

    static FrozenScreen make(QSize points, double ratio)
    {
        FrozenScreen screen;
        screen.ratio = ratio;
        screen.background = QImage(qRound(points.width() * ratio), qRound(points.height() * ratio),
                                   QImage::Format_ARGB32_Premultiplied);
        screen.background.fill(QColor(0x3b, 0x5b, 0x7a));
        screen.card = QRectF(std::floor(points.width() / 2.0 - 300),
                             std::floor(points.height() / 2.0 - 130), 600, 200);
        QPainter painter(&screen.background);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.scale(ratio, ratio);
        painter.fillRect(screen.card, Qt::white);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(30);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(QColor(0x1f, 0x1f, 0x1f));
        const QPointF origin = screen.card.topLeft();
        painter.drawText(origin + QPointF(28, 30 + QFontMetrics(font).ascent()), titleLine);
        font.setBold(false);
        font.setPixelSize(24);
        painter.setFont(font);
        painter.drawText(origin + QPointF(28, 110 + QFontMetrics(font).ascent()), bodyLine);
        return screen;
    }

    QImage crop() const
    {
        return background.copy(QRectF(card.topLeft() * ratio, card.size() * ratio).toRect());
    }
};

bool hasLine(const QString& text, const QString& line)
{
    for (const QString& read : text.split(QLatin1Char('\n')))
        if (read.trimmed() == line)
            return true;
    return false;
}

class InlineRun : public QObject {
public:
    InlineRun(QString reportPath, std::optional<QString> previewPath,
              std::function<void(bool)> done)
        : m_reportPath(std::move(reportPath)), m_previewPath(std::move(previewPath)),
          m_done(std::move(done)), m_steps(new RoutineSteps(this))
    {
    }

    void start()
    {
        m_report.set("schema", "kelpie.inline-editor.v1");
        m_report.set("general_clipboard_written", false);
        m_report.set("system_input_method_verified", false);
        QScreen* screen = QGuiApplication::primaryScreen();
        m_scratch = ScratchPreferences::create(QStringLiteral("com.kelpie.inline-check."));
        if (!screen || !m_scratch) {
            m_report.notRun("failed", screen ? "scratch_preferences_unavailable" : "no_screen");
            finish();
            return;
        }
        m_report.setFixtureOnly(true);
        m_screen = FrozenScreen::make(screen->geometry().size(), screen->devicePixelRatio());
        const QSize points = screen->geometry().size();
        const Rect frame = SelectionWindow::desktopFrame(screen->geometry(), screen->geometry());
        const Rect region(m_screen.card.x(), points.height() - m_screen.card.bottom(),
                          m_screen.card.width(), m_screen.card.height());
        const ScreenshotPresentation presentation{m_screen.background, frame, region, 0, true};
        m_window = std::make_unique<ImageWindow>(
            std::make_unique<AnnotationDocument>(m_screen.crop()), false, m_scratch->preferences,
            presentation, std::nullopt, m_clipboard, nullptr,
            TextRecognizerModule::make());
        m_probe.emplace(*m_window);
        script();
        m_steps->start([this] { finish(); });
    }

private:
    ScreenshotView& view() const { return *m_window->screenshotView(); }
    AnnotationCanvas& canvas() const { return *m_window->canvas(); }

    void awaitRecognition(const std::string& failure)
    {
        m_steps->waitOrFail([this] { return m_probe->analysed(); }, recognitionPatience, m_report,
                            failure);
    }

    void script()
    {
        m_steps->waitUntil(
            [this] { return m_window->window()->isVisible() && view().placement().has_value(); },
            windowPatience,
            [this](bool inTime) {
                m_report.check("editor_opens_over_region", inTime);
                if (!inTime)
                    m_steps->abort();
            });
        m_steps->pause(100ms);
        m_steps->then([this] { checkPlacement(); });
        awaitRecognition("text_selection_matches_line");
        m_steps->then([this] { selectText(); });
        m_steps->then([this] { copyCrop(); });
        m_steps->then([this] { annotate(); });
        save();
        m_steps->then([this] {
            if (m_previewPath) {
                const QImage shown = m_window->window()->grab().toImage();
                m_report.check("preview_written",
                               !shown.isNull() && shown.save(*m_previewPath, "PNG"));
            }
        });
    }

    // The canvas covers the crop at its place on the screen, and the tool
    // bar sits below it.
    void checkPlacement()
    {
        const ScreenshotPlacement placement = *view().placement();
        const QRect canvasFrame = canvas().geometry();
        const double viewHeight = view().height();
        // The crop's frame in the view's own (y down) widget coordinates.
        const QRectF crop(placement.image.minX(), viewHeight - placement.image.maxY(),
                          placement.image.width(), placement.image.height());
        m_report.check("canvas_covers_source_region",
                       QRectF(canvasFrame) == crop && crop.topLeft() == m_screen.card.topLeft()
                           && crop.size() == m_screen.card.size());
        const std::vector<QWidget*> chrome = view().chrome();
        const QWidget* toolbar = chrome.empty() ? nullptr : chrome.front();
        m_report.check("toolbar_is_below_region",
                       toolbar && toolbar->isVisible()
                           && toolbar->geometry().top() >= canvasFrame.bottom()
                           && placement.toolbar.maxY() <= placement.image.minY()
                           && toolbar->geometry().right() > canvasFrame.left()
                           && toolbar->geometry().left() < canvasFrame.right());
        m_report.check("crop_handles_offered_while_empty",
                       view().canAdjust() && view().border()->state().handles);
    }

    // A pointer drag across the body line selects exactly that line, and
    // copying keeps the editor open.
    void selectText()
    {
        const QString text = m_probe->liveText();
        m_report.check("recognizes_fixture_lines",
                       hasLine(text, titleLine) && hasLine(text, bodyLine));
        // Aimed at the line where the overlay shows it, from just inside its
        // start to past its end, as a user drags over text they see.
        LiveTextOverlay* overlay = m_window->overlay();
        std::optional<QRectF> line;
        if (overlay && overlay->analysis()) {
            for (const TextAnalysis::Line& read : overlay->analysis()->lines)
                if (read.text.trimmed() == bodyLine)
                    line = overlay->widgetRect(read.box);
        }
        if (line) {
            const double middle = line->center().y();
            SyntheticInput::drag(overlay, {line->left() + 2, middle}, {line->right() + 6, middle},
                                 8);
        }
        const QString selected = overlay ? overlay->selectedText() : QString();
        m_report.check("text_selection_matches_line", selected.trimmed() == bodyLine);
        m_clipboard->clear();
        m_window->copy();
        m_report.check("selected_text_copies_as_text",
                       m_clipboard->text() == selected && !m_window->isClosed());
        if (overlay)
            overlay->resetSelection();
    }

    // The copy button writes the crop alone, pixel for pixel, and the
    // screenshot editor stays.
    void copyCrop()
    {
        m_clipboard->clear();
        m_window->toolbarCopy();
        QImage copied;
        if (m_clipboard->png())
            copied.loadFromData(*m_clipboard->png(), "PNG");
        const QImage crop = m_screen.crop().convertToFormat(QImage::Format_ARGB32);
        m_report.check("output_contains_only_crop",
                       !copied.isNull() && copied.convertToFormat(QImage::Format_ARGB32) == crop);
        m_report.check("copy_image_keeps_editor_open",
                       !copied.isNull() && !m_window->isClosed() && m_window->window()->isVisible()
                           && m_window->statusText() == QStringLiteral("图片已复制"));
    }

    // The first annotation ends re-cropping: no handles, and a press on the
    // crop's edge no longer starts an adjustment.
    void annotate()
    {
        const qsizetype before = m_window->document().state().objects.size();
        m_report.check("toolbar_button_chooses_tool",
                       m_probe->showsToolButton(AnnotationTool::rectangle)
                           && m_probe->chooseTool(AnnotationTool::rectangle));
        CanvasInput::dragOnPicture(canvas(), QPointF(400, 20), QPointF(560, 90));
        const bool drawn = m_window->document().state().objects.size() == before + 1;
        // Just outside the crop's left edge, within the grab band.
        const QRect frame = canvas().geometry();
        const QPointF edge(frame.left() - 3, frame.center().y());
        const Rect regionBefore = view().region();
        QMouseEvent press(QEvent::MouseButtonPress, edge, view().mapToGlobal(edge), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&view(), &press);
        const bool adjusting = view().isAdjusting();
        QMouseEvent release(QEvent::MouseButtonRelease, edge, view().mapToGlobal(edge),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&view(), &release);
        m_report.check("annotations_disable_crop_handles",
                       drawn && !view().canAdjust() && !view().border()->state().handles
                           && !adjusting && view().region() == regionBefore);
        const std::optional<QImage> composite = m_window->composite();
        m_report.check("annotated_output_keeps_crop_size",
                       composite && composite->size() == m_screen.crop().size());
    }

    // The save command opens the file dialog in the default folder; it is
    // cancelled, so nothing is written.
    void save()
    {
        m_steps->then([this] {
            const std::optional<QUrl> folder = m_scratch->preferences->usableSaveDirectory()
                ? m_scratch->preferences->usableSaveDirectory()
                : AppPreferences::defaultSaveDirectory();
            m_saveFolder = folder ? QDir(folder->toLocalFile()).absolutePath() : QString();
            m_filesBefore = savedFiles();
            m_window->saveImage();
        });
        m_steps->waitUntil(
            [this] { return dialog() && dialog()->isVisible(); }, windowPatience,
            [this](bool inTime) {
                QFileDialog* shown = dialog();
                const QStringList names = shown ? shown->selectedFiles() : QStringList();
                const QString name
                    = names.isEmpty() ? QString() : QFileInfo(names.first()).fileName();
                static const QRegularExpression proposed(QStringLiteral("^Kelpie-\\d+\\.png$"));
                m_report.check("save_uses_system_picker_at_default_folder",
                               inTime && shown && !m_saveFolder.isEmpty()
                                   && shown->acceptMode() == QFileDialog::AcceptSave
                                   && QDir(shown->directory()).absolutePath() == m_saveFolder
                                   && proposed.match(name).hasMatch());
                if (shown)
                    shown->reject();
            });
        m_steps->waitUntil([this] { return !dialog() || !dialog()->isVisible(); }, windowPatience,
                           [this](bool inTime) {
                               m_report.check("cancelled_save_writes_nothing",
                                              inTime && savedFiles() == m_filesBefore
                                                  && !m_window->isClosed());
                           });
    }

    QFileDialog* dialog() const { return m_window->window()->findChild<QFileDialog*>(); }
    QStringList savedFiles() const
    {
        return m_saveFolder.isEmpty()
            ? QStringList()
            : QDir(m_saveFolder).entryList({QStringLiteral("Kelpie-*")}, QDir::Files);
    }

    void finish()
    {
        m_probe.reset();
        if (m_window) {
            if (!m_window->isClosed())
                m_window->close();
            m_window.reset();
        }
        if (m_scratch)
            m_report.check("scratch_settings_removed", ScratchPreferences::remove(m_scratch->name));
        const bool succeeded = m_report.conclude(m_reportPath);
        std::function<void(bool)> done = std::move(m_done);
        deleteLater();
        if (done)
            done(succeeded);
    }

    QString m_reportPath;
    std::optional<QString> m_previewPath;
    std::function<void(bool)> m_done;
    RoutineSteps* m_steps;
    VerificationReport m_report;
    std::optional<ScratchPreferences> m_scratch;
    std::shared_ptr<RoutineClipboard> m_clipboard = std::make_shared<RoutineClipboard>();
    FrozenScreen m_screen;
    std::unique_ptr<ImageWindow> m_window;
    std::optional<EditorProbe> m_probe;
    QString m_saveFolder;
    QStringList m_filesBefore;
};

} // namespace

void InlineVerification::run(const QString& reportPath, const std::optional<QString>& previewPath,
                             std::function<void(bool)> done)
{
    // Started from the event loop, so that even a run that cannot start
    // ends through it.
    auto* inlineRun = new InlineRun(reportPath, previewPath, std::move(done));
    QTimer::singleShot(0, inlineRun, [inlineRun] { inlineRun->start(); });
}

void InlineVerification::runWindow(const QString& reportPath, bool keepPreview,
                                   std::function<void(bool)> done)
{
    WindowInlineRun::start(reportPath, keepPreview, std::move(done));
}

} // namespace kelpie
