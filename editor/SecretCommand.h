#pragma once

#include "annotation/AnnotationDocument.h"
#include "annotation/AnnotationStyle.h"
#include "text/SecretPreview.h"
#include "text/TextAnalysis.h"

#include <QString>

#include <memory>
#include <optional>

namespace kelpie {

// The "遮盖敏感信息" command of one editor or pin: finds the secrets in the
// window's current live text, shows them for confirmation and masks the
// ones the user keeps, as one undo step.
//
// A request made before the text is recognised waits for the analysis and
// opens then. Any change of the picture (a new recognition starting) drops
// an open preview, because the places it shows may no longer be where the
// secrets are; a waiting request stays and opens on the next analysis.
// Widget-free: the window feeds it the analysis, keys and clicks, and shows
// statusText() and the open preview.
class SecretCommand {
public:
    enum class State { idle, waiting, previewing };

    static QString title();        // "遮盖敏感信息"
    static QString shortcutText(); // "Ctrl+Shift+M"
    // The status line while the preview is open.
    static QString previewStatus(int found);

    State state() const { return m_state; }
    bool isActive() const { return m_state != State::idle; }
    // The open preview; null unless previewing.
    SecretPreview* preview() const { return m_preview.get(); }
    // What the status line should say after the last step; empty when the
    // command has nothing to say.
    const QString& statusText() const { return m_status; }

    // The command was chosen. `analysis` is the window's current live text,
    // null while it is being recognised.
    void request(const TextAnalysis* analysis, const AnnotationDocument& document);
    // A recognition of the current picture finished.
    void analysisArrived(const TextAnalysis& analysis, const AnnotationDocument& document);
    // The current picture cannot be read: a waiting request gives up.
    void recognitionFailed();
    // The picture changed: an open preview is dropped.
    void invalidate();

    // Return or Enter applies the preview, Escape cancels it or a waiting
    // request; true when the key was taken.
    bool handleKey(int qtKey, AnnotationDocument& document, const AnnotationStyle& maskToolStyle);
    // Switches the secret at `index` between masked and left visible.
    bool toggle(int index);
    void cancel();

private:
    void open(const TextAnalysis& analysis, const AnnotationDocument& document);
    // By value: the status may live in the preview being dropped.
    void close(QString status);

    State m_state = State::idle;
    std::unique_ptr<SecretPreview> m_preview;
    QString m_status;
};

} // namespace kelpie
