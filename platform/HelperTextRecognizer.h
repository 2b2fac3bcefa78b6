#pragma once

#include "text/TextRecognizer.h"

#include <QByteArrayList>
#include <QStringList>

#include <functional>
#include <memory>

#include <sys/types.h>

namespace kelpie {

// Text recognition done in a helper process, `kelpie-recognizer`, started on
// the first analysis and ended with this object (when the last window that
// reads text closes). Tesseract, its forty libraries and its models then
// live and die with the helper: they never stay in Kelpie's own memory, and
// a recogniser that crashes on some image fails that analysis instead of
// taking the tray, its hot keys and every open editor with it.
//
// analyze() may be called from several threads at once; the helper works on
// the requests side by side. A cancelled analysis throws Cancelled at once
// and the helper is told to stop it. When the helper cannot be started or
// goes away, the analyses waiting on it fail and the next one starts a new
// helper.
class HelperTextRecognizer : public TextRecognizer {
public:
    // A helper's end of the conversation: the socket to talk over and, for a
    // process, its id (else 0).
    struct Channel {
        int fd = -1;
        pid_t pid = 0;
    };
    // Starts a helper; a channel with fd < 0 when it cannot.
    using Start = std::function<Channel()>;

    // Runs the helper executable: beside this program, one folder up (the
    // program proper in the build tree), or in this build's folder.
    HelperTextRecognizer();
    // For tests: helpers started some other way (a thread of this process).
    explicit HelperTextRecognizer(Start start);
    ~HelperTextRecognizer() override;

    // A recogniser backed by the helper, or null (with the reason on stderr
    // once) when the helper executable is nowhere to be found.
    static std::shared_ptr<TextRecognizer> make();

    TextAnalysis analyze(const QImage& image, const RecognitionCancellation& cancellation) override;
    // Tells a running helper to forget; nothing to do without one.
    void forgetLines() override;

    // The helper process now running (0 when none), for tests and benchmarks.
    pid_t helperProcess() const;

    // Helpers this process has started so far, by any recogniser of this
    // class: before the first, no recognition model was loaded anywhere for it.
    static int helpersStarted();

    // Where the helper executable is looked for, in order.
    static QStringList candidates();

    // The environment a helper runs in: this process's, with the C
    // library's allocator told to back its heaps with huge pages where the
    // system allows it. Loading a model makes tens of thousands of small
    // allocations; faulting them in 4 KB pages at a time is most of a
    // first analysis on some machines (virtual ones above all). Settings of
    // the allocator already in the environment come after, so they win.
    static QByteArrayList helperEnvironment(const QByteArrayList& environment);

private:
    struct Private;
    std::shared_ptr<Private> d;
};

} // namespace kelpie
