#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <vector>

class QScreen;

namespace kelpie {

class SelectionWindow;

// Overlay windows kept hidden for a moment after their capture ends, so that
// the next capture of the same screen shows an existing window instead of
// making one. A new screen-sized window costs fresh drawing memory on both
// sides of the display connection (8 MB at 1920 × 1080, 33 MB at 4K), whose
// page faults are most of a capture's time on some machines. Windows not
// taken again within `lifetime` are deleted with their memory, so an idle
// Kelpie keeps none.
class SelectionWindowShelf : public QObject {
    Q_OBJECT

public:
    explicit SelectionWindowShelf(std::chrono::milliseconds lifetime, QObject* parent = nullptr);
    ~SelectionWindowShelf() override;

    // Takes `window` over: hidden, without its picture and view, kept until
    // taken or until the lifetime has passed since the last window came.
    void put(SelectionWindow* window);
    // A kept window made for `screen` and still of its size, else null; the
    // caller owns it and gives it a picture with setImage().
    SelectionWindow* take(const QScreen* screen);
    // Deletes every kept window, e.g. when the screens change.
    void clear();

    int size() const;

private:
    std::vector<QPointer<SelectionWindow>> m_windows;
    QTimer m_expiry;
};

} // namespace kelpie
