#include "platform/X11HotkeyService.h"

#include "platform/KeyCodeTable.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <memory>
#include <set>

namespace kelpie {

namespace {

template<typename T> using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

// Keysyms whose keys decide the keymap-dependent modifier bits.
constexpr xcb_keysym_t numLockSym = 0xff7f;
constexpr xcb_keysym_t scrollLockSym = 0xff14;
constexpr xcb_keysym_t altSyms[] = {0xffe9, 0xffea};   // Alt_L, Alt_R
constexpr xcb_keysym_t metaSyms[] = {0xffe7, 0xffe8};  // Meta_L, Meta_R
constexpr xcb_keysym_t superSyms[] = {0xffeb, 0xffec}; // Super_L, Super_R

constexpr std::uint16_t coreModifierBits = 0xff;

xcb_connection_t* qtConnection()
{
    auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!application)
        return nullptr;
    auto* x11 = application->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

struct ModifierBits {
    std::uint16_t alt = 0;
    std::uint16_t super = 0;
    std::uint16_t numLock = 0;
    std::uint16_t scrollLock = 0;
};

// Which of Mod1 to Mod5 carries each keysym, from the server's modifier
// mapping as it is now.
ModifierBits readModifierBits(xcb_connection_t* connection)
{
    ModifierBits bits;
    XcbReply<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr),
        &std::free);
    std::unique_ptr<xcb_key_symbols_t, decltype(&xcb_key_symbols_free)> symbols(
        xcb_key_symbols_alloc(connection), &xcb_key_symbols_free);
    if (!mapping || !symbols)
        return bits;

    const int perModifier = mapping->keycodes_per_modifier;
    const xcb_keycode_t* table = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int length = xcb_get_modifier_mapping_keycodes_length(mapping.get());

    auto bitOf = [&](xcb_keysym_t keysym) -> std::uint16_t {
        std::unique_ptr<xcb_keycode_t, decltype(&std::free)> codes(
            xcb_key_symbols_get_keycode(symbols.get(), keysym), &std::free);
        if (!codes)
            return 0;
        // Rows 3 to 7 are Mod1 to Mod5; Shift, Lock and Control are fixed.
        for (int row = 3; row < 8; ++row) {
            for (int column = 0; column < perModifier; ++column) {
                const int index = row * perModifier + column;
                if (index >= length || table[index] == 0)
                    continue;
                for (const xcb_keycode_t* code = codes.get(); *code != XCB_NO_SYMBOL; ++code) {
                    if (*code == table[index])
                        return static_cast<std::uint16_t>(1u << row);
                }
            }
        }
        return 0;
    };
    auto firstBit = [&](std::initializer_list<xcb_keysym_t> keysyms) -> std::uint16_t {
        for (const xcb_keysym_t keysym : keysyms) {
            if (const std::uint16_t bit = bitOf(keysym))
                return bit;
        }
        return 0;
    };

    bits.alt = firstBit({altSyms[0], altSyms[1], metaSyms[0], metaSyms[1]});
    bits.super = firstBit({superSyms[0], superSyms[1]});
    bits.numLock = bitOf(numLockSym);
    bits.scrollLock = bitOf(scrollLockSym);
    return bits;
}

std::vector<xcb_window_t> roots(xcb_connection_t* connection)
{
    std::vector<xcb_window_t> windows;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(connection)); it.rem;
         xcb_screen_next(&it))
        windows.push_back(it.data->root);
    return windows;
}

} // namespace

X11HotkeyService::~X11HotkeyService()
{
    for (const auto& [_, registration] : m_registrations)
        ungrab(registration.grabs);
    m_registrations.clear();
    removeHandler();
}

bool X11HotkeyService::installHandler(PressHandler handler)
{
    if (!qtConnection())
        return false;
    m_handler = std::move(handler);
    if (!m_filterInstalled) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        m_filterInstalled = true;
    }
    return true;
}

void X11HotkeyService::removeHandler()
{
    if (m_filterInstalled && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    m_filterInstalled = false;
    m_handler = nullptr;
}

bool X11HotkeyService::holds(const Grab& grab) const
{
    for (const auto& [_, registration] : m_registrations) {
        for (const Grab& held : registration.grabs) {
            if (held.root == grab.root && held.keycode == grab.keycode
                && held.modifiers == grab.modifiers)
                return true;
        }
    }
    return false;
}

void X11HotkeyService::ungrab(const std::vector<Grab>& grabs)
{
    xcb_connection_t* connection = qtConnection();
    if (!connection || grabs.empty())
        return;
    for (const Grab& grab : grabs)
        xcb_ungrab_key(connection, grab.keycode, grab.root, grab.modifiers);
    xcb_flush(connection);
}

std::optional<HotkeyService::Reference> X11HotkeyService::registerHotkey(std::uint32_t keyCode,
                                                                         std::uint32_t modifiers,
                                                                         HotkeyID identity)
{
    xcb_connection_t* connection = qtConnection();
    if (!connection || (modifiers & ~(command | shift | option | control)) != 0)
        return std::nullopt;

    const ModifierBits bits = readModifierBits(connection);
    std::uint16_t base = 0;
    if (modifiers & shift)
        base |= XCB_MOD_MASK_SHIFT;
    if (modifiers & control)
        base |= XCB_MOD_MASK_CONTROL;
    if (modifiers & option) {
        // Without an Alt key in the keymap the grab would silently drop the
        // modifier and take the bare key.
        if (!bits.alt)
            return std::nullopt;
        base |= bits.alt;
    }
    if (modifiers & command) {
        if (!bits.super)
            return std::nullopt;
        base |= bits.super;
    }
    const std::uint16_t lockMask
        = (XCB_MOD_MASK_LOCK | bits.numLock | bits.scrollLock) & ~base & coreModifierBits;

    const xcb_setup_t* setup = xcb_get_setup(connection);
    std::vector<xcb_keycode_t> keycodes;
    for (const std::uint32_t code : KeyCodeTable::x11KeyCodes(keyCode)) {
        if (code >= setup->min_keycode && code <= setup->max_keycode)
            keycodes.push_back(static_cast<xcb_keycode_t>(code));
    }
    if (keycodes.empty())
        return std::nullopt;

    // Every distinct mix of the lock bits, once: the subsets of lockMask.
    std::vector<std::uint16_t> variants;
    for (std::uint16_t subset = lockMask;; subset = (subset - 1) & lockMask) {
        variants.push_back(base | subset);
        if (subset == 0)
            break;
    }

    Registration registration{identity, base, lockMask, {}};
    for (const xcb_window_t root : roots(connection)) {
        for (const xcb_keycode_t keycode : keycodes) {
            for (const std::uint16_t variant : variants) {
                const Grab grab{root, keycode, variant};
                // A second grab of our own would succeed silently and be lost
                // when either registration goes away.
                if (holds(grab))
                    return std::nullopt;
                registration.grabs.push_back(grab);
            }
        }
    }

    // Send every grab, then collect the answers; a refused one undoes the rest.
    std::vector<xcb_void_cookie_t> cookies;
    cookies.reserve(registration.grabs.size());
    for (const Grab& grab : registration.grabs)
        cookies.push_back(xcb_grab_key_checked(connection, 1, grab.root, grab.modifiers,
                                               grab.keycode, XCB_GRAB_MODE_ASYNC,
                                               XCB_GRAB_MODE_ASYNC));
    std::vector<Grab> granted;
    bool refused = false;
    for (std::size_t index = 0; index < cookies.size(); ++index) {
        if (xcb_generic_error_t* error = xcb_request_check(connection, cookies[index])) {
            std::free(error);
            refused = true;
        } else {
            granted.push_back(registration.grabs[index]);
        }
    }
    if (refused) {
        ungrab(granted);
        return std::nullopt;
    }

    const Reference reference = m_nextReference++;
    m_registrations.emplace(reference, std::move(registration));
    return reference;
}

void X11HotkeyService::unregisterHotkey(Reference reference)
{
    const auto found = m_registrations.find(reference);
    if (found == m_registrations.end())
        return;
    ungrab(found->second.grabs);
    m_registrations.erase(found);
}

int X11HotkeyService::grabCount() const
{
    std::size_t count = 0;
    for (const auto& [_, registration] : m_registrations)
        count += registration.grabs.size();
    return static_cast<int>(count);
}

bool X11HotkeyService::isRepeat(std::uint8_t keycode, bool press, std::uint32_t time)
{
    // Held keys repeat in one of two forms: a release and a press with the
    // same time stamp, or, for clients that asked the keyboard extension for
    // it, presses without releases. A lost release (another window grabbed
    // the keyboard meanwhile) must not swallow a real press much later.
    constexpr std::uint32_t repeatWindowMs = 1000;
    KeyHistory& history = m_history[keycode];
    const bool repeat = press && history.seen
        && ((!history.down && history.time == time)
            || (history.down && time - history.time < repeatWindowMs));
    history.seen = true;
    history.down = press;
    history.time = time;
    return repeat;
}

bool X11HotkeyService::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || !message)
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const std::uint8_t type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    // Press and release events share one layout.
    const auto* key = static_cast<const xcb_key_press_event_t*>(message);
    bool grabbed = false;
    const Registration* match = nullptr;
    for (const auto& [_, registration] : m_registrations) {
        const std::uint16_t state = key->state & coreModifierBits & ~registration.lockMask;
        for (const Grab& grab : registration.grabs) {
            if (grab.keycode != key->detail)
                continue;
            grabbed = true;
            if (state == registration.modifiers && grab.root == key->event)
                match = &registration;
        }
    }
    if (!grabbed)
        return false;
    // Releases are remembered whatever window or modifiers they come with.
    const bool repeat = isRepeat(key->detail, type == XCB_KEY_PRESS, key->time);
    if (!match)
        return false;
    // A release or a repeat belongs to a press we served; nobody else wants it.
    if (type == XCB_KEY_RELEASE || repeat)
        return true;
    return m_handler && m_handler(match->identity);
}

} // namespace kelpie
