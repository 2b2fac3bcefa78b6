#pragma once

#include "editor/ImageClipboard.h"
#include "editor/OutputHost.h"
#include "editor/SavePanel.h"

#include <QStringList>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

namespace kelpie::test {

// A window as the outputs see it, every answer set by the test, every call
// recorded.
class FakeOutputHost : public OutputHost {
public:
    bool closed = false;
    bool screenshot = false;
    bool pinned = false;
    bool adjusting = false;
    bool draft = false;
    bool transaction = false;
    std::optional<QImage> image;
    bool typing = false;
    bool finishes = true;
    QString liveText;

    QStringList statuses;
    int closeCalls = 0;
    int pinCalls = 0;
    int finishCalls = 0;
    QWidget window;
    bool hasWindow = true;

    bool isClosed() const override { return closed; }
    bool isScreenshot() const override { return screenshot; }
    bool isPinned() const override { return pinned; }
    bool isAdjusting() const override { return adjusting; }
    bool hasDraft() const override { return draft; }
    bool inTransaction() const override { return transaction; }
    std::optional<QImage> composite() const override { return image; }
    bool textBeingTyped() const override { return typing; }
    bool finishTextEditing() override
    {
        ++finishCalls;
        if (finishes)
            typing = false;
        return finishes;
    }
    QString selectedLiveText() const override { return liveText; }
    void setStatus(const QString& text) override { statuses.append(text); }
    void closeWindow() override
    {
        ++closeCalls;
        closed = true;
    }
    void pinDocumentCopy() override { ++pinCalls; }
    QWidget* dialogParent() override { return hasWindow ? &window : nullptr; }

    QString lastStatus() const { return statuses.isEmpty() ? QString() : statuses.last(); }
};

// A clipboard that keeps what it is given, or refuses when told to.
class FakeClipboard : public ImageClipboard {
public:
    bool refuses = false;
    std::vector<QByteArray> pngs;
    QStringList texts;

    Status<ClipboardError> writePng(const QByteArray& png) override
    {
        if (refuses)
            return {ClipboardError::refused, "told to refuse"};
        pngs.push_back(png);
        return Done{};
    }
    Status<ClipboardError> writeText(const QString& text) override
    {
        if (refuses)
            return {ClipboardError::refused, "told to refuse"};
        texts.append(text);
        return Done{};
    }
};

// A save dialog the test answers: it remembers the request and the
// completion until the test calls answer().
class FakeSavePanel : public SavePanel {
public:
    bool otherSheet = false;
    std::vector<Request> requests;
    Completion pending;

    bool hasAttachedSheet(QWidget*) const override { return otherSheet || bool(pending); }
    void present(QWidget*, const Request& request, Completion completion) override
    {
        requests.push_back(request);
        pending = std::move(completion);
    }
    void answer(std::optional<Choice> choice)
    {
        Completion completion = std::move(pending);
        pending = nullptr;
        completion(std::move(choice));
    }
};

} // namespace kelpie::test
