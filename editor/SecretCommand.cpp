#include "editor/SecretCommand.h"

#include "editor/LiveTextSession.h"
#include "text/SecretFinder.h"
#include "text/SecretMasks.h"

#include <Qt>

namespace kelpie {

QString SecretCommand::title() { return QStringLiteral("遮盖敏感信息"); }
QString SecretCommand::shortcutText() { return QStringLiteral("Ctrl+Shift+M"); }

void SecretCommand::request(const TextAnalysis* analysis, const AnnotationDocument& document)
{
    if (m_state == State::previewing)
        return;
    if (!analysis) {
        m_state = State::waiting;
        m_status = LiveTextSession::recognizingStatus();
        return;
    }
    open(*analysis, document);
}

void SecretCommand::analysisArrived(const TextAnalysis& analysis, const AnnotationDocument& document)
{
    if (m_state == State::waiting)
        open(analysis, document);
}

void SecretCommand::recognitionFailed()
{
    if (m_state == State::waiting)
        close(QString());
}

void SecretCommand::invalidate()
{
    if (m_state != State::previewing)
        return;
    // The request is still wanted: it opens again on the next analysis.
    m_preview.reset();
    m_state = State::waiting;
    m_status = LiveTextSession::recognizingStatus();
}

bool SecretCommand::handleKey(int qtKey, AnnotationDocument& document,
                              const AnnotationStyle& maskToolStyle)
{
    if (m_state == State::waiting && qtKey == Qt::Key_Escape) {
        close(QString());
        return true;
    }
    if (m_state != State::previewing)
        return false;
    if (!m_preview->handleKey(qtKey, document, maskToolStyle))
        return false;
    switch (m_preview->state()) {
    case SecretPreview::State::applied: close(m_preview->statusText()); break;
    case SecretPreview::State::cancelled: close(QString()); break;
    // Refused while a gesture holds the document open: the preview stays
    // and Return can be pressed again once it ends.
    case SecretPreview::State::open: break;
    }
    return true;
}

bool SecretCommand::toggle(int index)
{
    return m_state == State::previewing && m_preview->toggle(index);
}

void SecretCommand::cancel()
{
    if (m_state != State::idle)
        close(QString());
}

void SecretCommand::open(const TextAnalysis& analysis, const AnnotationDocument& document)
{
    std::vector<SecretMatch> secrets = SecretFinder::find(analysis);
    auto preview = std::make_unique<SecretPreview>(document, std::move(secrets));
    if (preview->items().empty()) {
        close(SecretMasks::statusText(0, 0));
        return;
    }
    m_status = previewStatus(int(preview->items().size()));
    m_preview = std::move(preview);
    m_state = State::previewing;
}

void SecretCommand::close(QString status)
{
    m_preview.reset();
    m_state = State::idle;
    m_status = std::move(status);
}

QString SecretCommand::previewStatus(int found)
{
    return QStringLiteral("发现 %1 处敏感信息：点按可保留，回车遮盖，Esc 取消").arg(found);
}

} // namespace kelpie
