#include "verification/PrivacyVerification.h"

#include "annotation/AnnotationDocument.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/AnnotationWindow.h"
#include "editor/ImageWindow.h"
#include "editor/LiveTextOverlay.h"
#include "editor/LiveTextSession.h"
#include "platform/TextRecognizerModule.h"
#include "settings/ScratchPreferences.h"
#include "verification/CanvasInput.h"
#include "verification/EditorProbe.h"
#include "verification/FixturePicture.h"
#include "verification/MaskedWordCheck.h"
#include "verification/RoutineSteps.h"
#include "verification/VerificationReport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTimer>

#include <array>
#include <memory>

namespace kelpie {

namespace {

using namespace std::chrono_literals;

constexpr auto recognitionPatience = 180s;
constexpr auto windowPatience = 10s;

const QString privateLine = QStringLiteral("PRIVATE CODE 4832");
const QString publicLine = QStringLiteral("PUBLIC NOTE ABCD");
// The masks cover part of "CODE"; the second line stays.
const MaskedWordCheck expectation{QStringLiteral("CODE"),
                                  {QStringLiteral("PRIVATE"), QStringLiteral("CODE"),
                                   QStringLiteral("4832"), QStringLiteral("PUBLIC"),
                                   QStringLiteral("NOTE"), QStringLiteral("ABCD")},
                                  publicLine};

struct Effect {
    MaskEffect effect;
    const char* prefix;
};
const std::array<Effect, 3> effects{{
    {MaskEffect::solid, "solid_mask"},
    {MaskEffect::pixelate, "pixelate_mask"},
    {MaskEffect::blur, "blur_mask"},
}};

bool safe(const QString& text) { return expectation.safe(text); }

bool hasLine(const QString& text, const QString& line)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& read : lines)
        if (read.trimmed() == line)
            return true;
    return false;
}

std::string checkName(const Effect& effect, const char* suffix)
{
    return std::string(effect.prefix) + suffix;
}

class PrivacyRun : public QObject {
public:
    PrivacyRun(QString reportPath, std::optional<QString> previewPath, bool checkClipboard,
               std::function<void(bool)> done)
        : m_reportPath(std::move(reportPath)), m_previewPath(std::move(previewPath)),
          m_checkClipboard(checkClipboard), m_done(std::move(done)), m_steps(new RoutineSteps(this))
    {
    }

    void start()
    {
        m_report.set("clipboard_tested", m_checkClipboard);
        m_report.set("test_data", "两行虚构英文，仅局部遮挡第一行；不记录私人截图或OCR");
        m_scratch = ScratchPreferences::create(QStringLiteral("com.kelpie.privacy-check."));
        if (!m_scratch) {
            m_report.notRun("failed", "scratch_preferences_unavailable");
            finish();
            return;
        }
        m_report.setFixtureOnly(true);
        m_fixture = FixturePicture::textLines(QSize(700, 320), {privateLine, publicLine},
                                              QPoint(40, 50), 32, 40);
        // The first three letters of "CODE": the mask leaves its last letter
        // and the rest of the line uncovered.
        m_maskArea = QRectF(m_fixture.span(0, 8, 3)).adjusted(0, -2, 0, 2);
        m_window = std::make_unique<ImageWindow>(
            std::make_unique<AnnotationDocument>(m_fixture.image), false, m_scratch->preferences,
            std::nullopt, std::nullopt, nullptr, nullptr,
            TextRecognizerModule::make());
        m_probe.emplace(*m_window);
        script();
        m_steps->start([this] { finish(); });
    }

private:
    AnnotationDocument& document() const { return m_window->document(); }

    void awaitRecognition(std::string failure)
    {
        m_steps->waitOrFail([this] { return m_probe->analysed(); }, recognitionPatience, m_report,
                            failure);
    }

    void script()
    {
        m_steps->waitOrFail([this] { return m_window->window()->isVisible(); }, windowPatience,
                            m_report, "editor_window_shown");
        awaitRecognition("baseline_recognizes_both_lines");
        m_steps->then([this] {
            const QString text = m_probe->liveText();
            m_report.check("baseline_recognizes_both_lines",
                           hasLine(text, privateLine) && hasLine(text, publicLine));
            m_baseline = m_window->composite().value_or(QImage());
        });
        for (const Effect& effect : effects)
            maskWith(effect);
        moveAndUndo();
        m_steps->then([this] {
            if (m_previewPath) {
                const std::optional<QImage> composite = m_window->composite();
                m_report.check("preview_written",
                               composite && composite->save(*m_previewPath, "PNG"));
            }
            closeWindow();
        });
    }

    // One mask effect over part of the first line, its outputs checked,
    // then undone.
    void maskWith(const Effect& effect)
    {
        m_steps->then([this, effect] {
            const qsizetype before = document().state().objects.size();
            m_probe->maskOver(m_maskArea, effect.effect, 16);
            const bool masked = document().state().objects.size() == before + 1;
            // Nothing of the old analysis may be read between the change and
            // the new one.
            const ImageWindowMenu::State menu = m_window->menuState();
            m_report.check(checkName(effect, "_old_text_cleared_immediately"),
                           masked && !m_probe->analysed() && menu.fullText.isEmpty()
                               && menu.selectedText.isEmpty());
            const int area = int(m_maskArea.width() * m_maskArea.height());
            m_report.check(checkName(effect, "_composite_changed"),
                           m_probe->changedPixels(m_baseline, m_maskArea) > area / 10);
            // Back to the select tool, as the user does to select text.
            m_probe->chooseTool(AnnotationTool::select);
        });
        awaitRecognition(checkName(effect, "_suppresses_entire_private_unit"));
        m_steps->then([this, effect] {
            const QString text = m_probe->liveText();
            m_report.check(checkName(effect, "_suppresses_entire_private_unit"), safe(text));
            m_window->selectAll();
            const QString selected = m_window->overlay()->selectedText();
            m_report.check(checkName(effect, "_selection_matches_safe_text"),
                           !selected.isEmpty() && selected == text && safe(selected));
            m_window->overlay()->resetSelection();
            if (m_checkClipboard) {
                QClipboard* clipboard = QGuiApplication::clipboard();
                clipboard->clear();
                m_window->copyAllText();
                const QString copied = clipboard->text();
                m_report.check(checkName(effect, "_copy_all_uses_safe_text"),
                               copied == text && safe(copied));
                // The fixture's text does not stay behind on the clipboard.
                clipboard->clear();
            }
            m_window->undo();
        });
        awaitRecognition("undoing_mask_restores_text");
        m_steps->then([this] {
            m_report.check("undoing_mask_restores_text",
                           document().state().objects.isEmpty()
                               && hasLine(m_probe->liveText(), privateLine));
        });
    }

    // A mask dragged off the line gives the line back; undoing the move
    // puts the mask back and the line goes again.
    void moveAndUndo()
    {
        m_steps->then([this] { m_probe->maskOver(m_maskArea, MaskEffect::solid, 16); });
        awaitRecognition("moving_mask_restores_visible_text");
        m_steps->then([this] {
            m_report.check("mask_hides_word_before_move", safe(m_probe->liveText()));
            m_probe->chooseTool(AnnotationTool::select);
            const QPointF from = m_maskArea.center();
            CanvasInput::dragOnPicture(*m_window->canvas(), from, QPointF(from.x(), 260));
        });
        awaitRecognition("moving_mask_restores_visible_text");
        m_steps->then([this] {
            const auto& objects = document().state().objects;
            const bool moved = objects.size() == 1
                && !m_probe->pictureRect(objects.front().bounds())
                        .intersects(QRectF(m_fixture.lines.at(0)));
            const QString text = m_probe->liveText();
            m_report.check("moving_mask_restores_visible_text",
                           moved && hasLine(text, privateLine) && hasLine(text, publicLine));
            m_window->undo();
        });
        awaitRecognition("undo_restores_suppression");
        m_steps->then([this] {
            const QString text = m_probe->liveText();
            m_report.check("undo_restores_suppression",
                           document().state().objects.size() == 1 && safe(text));
        });
    }

    // Closing drops the analysis at once, whatever was read before.
    void closeWindow()
    {
        const bool hadText = !m_probe->liveText().isEmpty();
        m_window->close();
        LiveTextSession* session = m_window->liveText();
        const ImageWindowMenu::State menu = m_window->menuState();
        m_report.check("closed_window_has_no_old_analysis",
                       hadText && m_window->isClosed() && session && session->closed()
                           && !m_probe->analysed() && menu.fullText.isEmpty());
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
    bool m_checkClipboard;
    std::function<void(bool)> m_done;
    RoutineSteps* m_steps;
    VerificationReport m_report;
    std::optional<ScratchPreferences> m_scratch;
    FixturePicture m_fixture;
    QRectF m_maskArea;
    QImage m_baseline;
    std::unique_ptr<ImageWindow> m_window;
    std::optional<EditorProbe> m_probe;
};

} // namespace

void PrivacyVerification::run(const QString& reportPath, const std::optional<QString>& previewPath,
                              bool checkClipboard, std::function<void(bool)> done)
{
    // Started from the event loop, so that even a run that cannot start
    // ends through it.
    auto* privacyRun = new PrivacyRun(reportPath, previewPath, checkClipboard, std::move(done));
    QTimer::singleShot(0, privacyRun, [privacyRun] { privacyRun->start(); });
}

} // namespace kelpie
