#include "verification/TextVerification.h"

#include "annotation/AnnotationDocument.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/AnnotationTextView.h"
#include "canvas/AnnotationWindow.h"
#include "editor/ImageWindow.h"
#include "platform/TextRecognizerModule.h"
#include "settings/ScratchPreferences.h"
#include "verification/CanvasInput.h"
#include "verification/EditorProbe.h"
#include "verification/FixturePicture.h"
#include "verification/RoutineSteps.h"
#include "verification/SyntheticInput.h"
#include "verification/VerificationReport.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>

#include <memory>

namespace kelpie {

namespace {

using namespace std::chrono_literals;

// Loading the recognition models and reading the picture the first time.
constexpr auto recognitionPatience = 180s;
constexpr auto windowPatience = 10s;

const QString composingMessage = QStringLiteral("请先确认当前中文候选");
const QString preedit = QStringLiteral("jintian");
const QString candidate = QStringLiteral("今天");
// Confirmed by the input method after the candidate: CJK, a combining
// accent that must stay decomposed, a symbol and a character outside the
// basic plane.
const QString confirmedRest
    = QStringLiteral(" Cafe\u0301 \u2713 ") + QString::fromUcs4(U"\U0001F44B");
// Typed on the keyboard after a line break; recognition reads it.
const QString typedLine = QStringLiteral("MEMO 7159");
const QString typedMarker = QStringLiteral("7159");
const QString aboveMaskText = QStringLiteral("SAFE 2468");
const QString aboveMaskMarker = QStringLiteral("2468");
const QString privateMarker = QStringLiteral("4832");
const QString publicMarker = QStringLiteral("ABCD");

class TextRun : public QObject {
public:
    TextRun(QString reportPath, std::optional<QString> previewPath, std::function<void(bool)> done)
        : m_reportPath(std::move(reportPath)), m_previewPath(std::move(previewPath)),
          m_done(std::move(done)), m_steps(new RoutineSteps(this))
    {
    }

    void start()
    {
        m_report.set("physical_ime_tested", false);
        m_report.set("composition_scope",
                     "直接调用原生NSTextInputClient标记/插入；不冒充真实中文输入法候选实测");
        m_scratch = ScratchPreferences::create(QStringLiteral("com.kelpie.text-check."));
        if (!m_scratch) {
            m_report.notRun("failed", "scratch_preferences_unavailable");
            finish();
            return;
        }
        m_report.setFixtureOnly(true);
        m_fixture = FixturePicture::textLines(
            QSize(760, 420),
            {QStringLiteral("ORIGINAL PRIVATE 4832"), QStringLiteral("PUBLIC BASE ABCD")},
            QPoint(40, 40), 32, 30);
        m_window = std::make_unique<ImageWindow>(
            std::make_unique<AnnotationDocument>(m_fixture.image), false, m_scratch->preferences,
            std::nullopt, std::nullopt, nullptr, nullptr,
            TextRecognizerModule::make());
        m_probe.emplace(*m_window);
        script();
        m_steps->start([this] { finish(); });
    }

private:
    AnnotationCanvas& canvas() const { return *m_window->canvas(); }
    AnnotationDocument& document() const { return m_window->document(); }
    AnnotationTextView* editor() const { return canvas().textEditor(); }
    // Whether the editor is still open; when it closed unexpectedly, `check`
    // fails and the rest of the script, which types into it, is dropped.
    bool editorOpen(const char* check)
    {
        if (editor())
            return true;
        m_report.check(check, false);
        m_steps->abort();
        return false;
    }
    QString liveText() const { return m_probe->liveText(); }
    QRectF pictureRect(const Rect& annotation) const { return m_probe->pictureRect(annotation); }

    // Waits for the live text of the current picture; a picture that is
    // never read ends the run.
    void awaitRecognition(const char* failure)
    {
        m_steps->waitOrFail([this] { return m_probe->analysed(); }, recognitionPatience, m_report,
                            failure);
    }

    void script()
    {
        m_steps->waitOrFail([this] { return m_window->window()->isVisible(); }, windowPatience,
                            m_report, "editor_window_shown");
        awaitRecognition("baseline_recognizes_fixture_text");
        m_steps->then([this] {
            m_report.check("baseline_recognizes_fixture_text",
                           liveText().contains(privateMarker) && liveText().contains(publicMarker));
        });
        openEditor();
        composeAndBlock();
        confirmAndCommit();
        undoOnce();
        laterMask();
        textAboveMask();
        m_steps->then([this] {
            if (m_previewPath) {
                const std::optional<QImage> composite = m_window->composite();
                m_report.check("preview_written",
                               composite && composite->save(*m_previewPath, "PNG"));
            }
        });
    }

    // A click with the text tool opens the text editor on the canvas.
    void openEditor()
    {
        m_steps->then([this] {
            m_textToolChosen = m_probe->chooseTool(AnnotationTool::text);
            CanvasInput::clickOnPicture(canvas(), QPointF(40, 200));
        });
        m_steps->pause(50ms);
        m_steps->then([this] {
            AnnotationTextView* view = editor();
            const bool open = m_textToolChosen && view && view->isVisible()
                && canvas().model().textEditing() && m_window->textBeingTyped();
            m_report.check("native_editor_opens", open);
            if (!open)
                m_steps->abort();
        });
    }

    // Marked text shows in the editor but is not its text, and neither the
    // commit key nor the finish command commits it.
    void composeAndBlock()
    {
        m_steps->then([this] {
            if (editorOpen("composition_is_marked"))
                CanvasInput::compose(*editor(), preedit);
        });
        m_steps->then([this] {
            if (!editorOpen("composition_is_marked"))
                return;
            AnnotationTextView* view = editor();
            const QTextLayout* layout = view->document()->firstBlock().layout();
            m_report.check("composition_is_marked",
                           view->composing() && layout && layout->preeditAreaText() == preedit
                               && !view->text().contains(preedit));
            m_objectsBefore = document().state().objects.size();
            m_undoableBefore = document().canUndo();
            SyntheticInput::key(view, Qt::Key_Return, Qt::ControlModifier);
        });
        m_steps->then([this] {
            const bool keyRefused = editor() && editor()->composing()
                && document().state().objects.size() == m_objectsBefore;
            m_window->finishText();
            const bool finishRefused = editor() && editor()->composing()
                && m_window->statusText() == composingMessage
                && document().state().objects.size() == m_objectsBefore;
            // Undo while composing leaves the marked text alone.
            m_window->undo();
            const bool undoIgnored = editor() && editor()->composing();
            m_report.check("marked_candidate_blocks_commit",
                           keyRefused && finishRefused && undoIgnored);
            m_report.check("composition_leaves_document_unchanged",
                           document().canUndo() == m_undoableBefore);
        });
    }

    // The candidate is confirmed, more text arrives from the input method
    // and from keys, and the commit key commits all of it exactly.
    void confirmAndCommit()
    {
        m_steps->then([this] {
            if (!editorOpen("text_commits_exact_unicode"))
                return;
            CanvasInput::commit(*editor(), candidate);
            CanvasInput::commit(*editor(), confirmedRest);
            CanvasInput::type(*editor(), QStringLiteral("\n") + typedLine);
        });
        m_steps->then([this] {
            m_expected = candidate + confirmedRest + QStringLiteral("\n") + typedLine;
            m_report.check("confirmed_candidate_ends_composition",
                           editor() && !editor()->composing() && editor()->text() == m_expected);
            if (editorOpen("text_commits_exact_unicode"))
                SyntheticInput::key(editor(), Qt::Key_Return, Qt::ControlModifier);
        });
        m_steps->pause(20ms);
        m_steps->then([this] {
            const auto& objects = document().state().objects;
            bool exact = editor() == nullptr && objects.size() == m_objectsBefore + 1;
            if (exact) {
                const AnnotationObject& typed = objects.back();
                exact = typed.tool() == AnnotationTool::text && typed.text == m_expected
                    && typed.text.toUcs4() == m_expected.toUcs4();
                m_typedBounds = pictureRect(typed.bounds());
            }
            m_report.check("text_commits_exact_unicode", exact);
            if (!exact)
                m_steps->abort();
        });
    }

    // Undo once takes the whole typed text away and leaves nothing else to
    // undo; redo brings it back.
    void undoOnce()
    {
        m_steps->then([this] {
            m_window->undo();
            const bool gone = document().state().objects.size() == m_objectsBefore
                && document().canUndo() == m_undoableBefore;
            m_window->redo();
            const auto& objects = document().state().objects;
            const bool back
                = objects.size() == m_objectsBefore + 1 && objects.back().text == m_expected;
            m_report.check("typing_is_one_document_undo", gone && back);
        });
    }

    void maskOver(const QRectF& area, MaskEffect effect) { m_probe->maskOver(area, effect); }

    // The typed text is read while visible and no longer once a mask drawn
    // after it covers it, even a light blur that leaves shapes behind.
    void laterMask()
    {
        awaitRecognition("later_mask_suppresses_annotation_text");
        m_steps->then([this] {
            m_typedWasRead = liveText().contains(typedMarker);
            m_objectsBefore = document().state().objects.size();
            maskOver(m_typedBounds.adjusted(-6, -6, 6, 6), MaskEffect::blur);
        });
        m_steps->then([this] {
            m_report.check("mask_drawn_over_text",
                           document().state().objects.size() == m_objectsBefore + 1);
        });
        awaitRecognition("later_mask_suppresses_annotation_text");
        m_steps->then([this] {
            const QString text = liveText();
            m_report.check("later_mask_suppresses_annotation_text",
                           m_typedWasRead && !text.contains(typedMarker)
                               && !text.contains(QStringLiteral("MEMO"))
                               && text.contains(publicMarker));
        });
    }

    // A mask over the first line, then text typed on top of the mask: the
    // line is gone from the live text, the new text is drawn and read.
    void textAboveMask()
    {
        m_steps->then([this] {
            const QRectF line = QRectF(m_fixture.lines.at(0)).adjusted(-12, -12, 12, 40);
            m_privateArea = line;
            maskOver(line, MaskEffect::pixelate);
        });
        m_steps->then([this] {
            m_probe->chooseTool(AnnotationTool::text);
            CanvasInput::clickOnPicture(canvas(), m_privateArea.topLeft() + QPointF(14, 8));
        });
        m_steps->pause(20ms);
        m_steps->then([this] {
            if (!editor()) {
                m_report.check("text_above_mask_remains_visible", false);
                return;
            }
            CanvasInput::commit(*editor(), aboveMaskText);
            SyntheticInput::key(editor(), Qt::Key_Return, Qt::ControlModifier);
        });
        awaitRecognition("text_above_mask_remains_visible");
        m_steps->then([this] {
            const QString text = liveText();
            const auto& objects = document().state().objects;
            const bool drawn = !objects.isEmpty() && objects.back().text == aboveMaskText
                && m_probe->pixelsOfColour(pictureRect(objects.back().bounds()),
                                           objects.back().style.color.qColor())
                    > 40;
            m_report.check("text_above_mask_remains_visible",
                           drawn && text.contains(aboveMaskMarker)
                               && !text.contains(privateMarker));
        });
    }

    void finish()
    {
        m_probe.reset();
        if (m_window) {
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
    FixturePicture m_fixture;
    std::unique_ptr<ImageWindow> m_window;
    std::optional<EditorProbe> m_probe;
    qsizetype m_objectsBefore = 0;
    bool m_undoableBefore = false;
    bool m_textToolChosen = false;
    QString m_expected;
    QRectF m_typedBounds;
    bool m_typedWasRead = false;
    QRectF m_privateArea;
};

} // namespace

void TextVerification::run(const QString& reportPath, const std::optional<QString>& previewPath,
                           std::function<void(bool)> done)
{
    // Started from the event loop, so that even a run that cannot start
    // ends through it.
    auto* textRun = new TextRun(reportPath, previewPath, std::move(done));
    QTimer::singleShot(0, textRun, [textRun] { textRun->start(); });
}

} // namespace kelpie
