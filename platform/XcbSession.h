#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace kelpie {

// A reply or error from xcb, freed with free().
struct XcbFree {
    void operator()(void* p) const { std::free(p); }
};
template<typename T> using XcbPtr = std::unique_ptr<T, XcbFree>;

// The capture service's own connection to the X server: the atoms it reads,
// which extensions the server offers, and the root window. Read-only once
// opened, so the service's threads may share it (xcb is thread-safe).
class XcbSession {
public:
    struct Atoms {
        xcb_atom_t clientListStacking = XCB_NONE;
        xcb_atom_t windowType = XCB_NONE;
        xcb_atom_t windowPid = XCB_NONE;
        xcb_atom_t windowState = XCB_NONE;
        xcb_atom_t stateHidden = XCB_NONE;
        xcb_atom_t typeNormal = XCB_NONE;
        xcb_atom_t typeDialog = XCB_NONE;
        // Types whose windows sit outside the ordinary application layer.
        xcb_atom_t otherTypes[12] = {};
        xcb_atom_t rootPixmap = XCB_NONE;
        // Client-side decorations: the invisible shadow around a window.
        xcb_atom_t frameExtents = XCB_NONE;
        // The selection a compositing manager of this screen owns.
        xcb_atom_t compositingManager = XCB_NONE;
    };

    // Connects to $DISPLAY; check isOpen().
    XcbSession();
    ~XcbSession();
    XcbSession(const XcbSession&) = delete;
    XcbSession& operator=(const XcbSession&) = delete;

    bool isOpen() const { return connection_ != nullptr; }
    xcb_connection_t* connection() const { return connection_; }
    const xcb_screen_t& screen() const { return *screen_; }
    xcb_window_t root() const { return screen_->root; }
    const Atoms& atoms() const { return atoms_; }

    bool hasShm() const { return hasShm_; }
    // Composite 0.2 or later: per-window contents through NameWindowPixmap.
    bool hasComposite() const { return hasComposite_; }
    // RandR 1.5: monitors.
    bool hasMonitors() const { return hasMonitors_; }
    // X-Resource 1.2: the process behind a window.
    bool hasClientIds() const { return hasClientIds_; }
    bool hasRender() const { return hasRender_; }

    // True when a compositing manager runs on this screen now (one round
    // trip).
    bool hasCompositingManager() const;

    // True when the server sends image bytes in this machine's own order.
    bool nativeImageByteOrder() const;

    // Bits per pixel of images of the given depth in Z format; 0 if unknown.
    int bitsPerPixel(std::uint8_t depth) const;

    // Drops the errors of unchecked requests that nobody waits for.
    void discardEvents() const;

private:
    void queryExtensions();
    void internAtoms();

    xcb_connection_t* connection_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
    int screenNumber_ = 0;
    Atoms atoms_;
    bool hasShm_ = false;
    bool hasComposite_ = false;
    bool hasMonitors_ = false;
    bool hasClientIds_ = false;
    bool hasRender_ = false;
};

} // namespace kelpie
