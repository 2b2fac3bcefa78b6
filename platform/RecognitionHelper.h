#pragma once

#include <memory>

namespace kelpie {

class TextRecognizer;

// The helper process's side of the conversation with Kelpie: every analyze
// request is worked on as it comes, several side by side, and answered with
// its analysis, "cancelled" or the failure's reason; a cancel request stops
// its analysis, a forget request makes the recogniser forget the lines it
// has read. When Kelpie closes the socket (or dies), analyses still
// running are cancelled and serve() returns once they have stopped.
namespace RecognitionHelper {

// Serves the socket `fd` with `recognizer`; without one, every request is
// answered with a failure.
void serve(int fd, const std::shared_ptr<TextRecognizer>& recognizer);

} // namespace RecognitionHelper
} // namespace kelpie
