#include "platform/linux/desktop/X11HotKeyService.h"

#include "platform/linux/desktop/XcbConnection.h"
#include "platform/linux/desktop/XcbExtension.h"

#include <QSocketNotifier>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace quorvia::platform::native {

namespace {

// Keysyms of the keys whose modifier bits vary between servers.
constexpr xcb_keysym_t superLeft = 0xffeb;
constexpr xcb_keysym_t superRight = 0xffec;
constexpr xcb_keysym_t altLeft = 0xffe9;
constexpr xcb_keysym_t altRight = 0xffea;
constexpr xcb_keysym_t numLock = 0xff7f;

constexpr std::uint8_t evdevOffset = 8;
constexpr std::uint8_t evdevKeyH = 35;

// Which modifier bit each key is bound to in the server's current keymap;
// the usual bits where a key is not bound. `ofKey` gets every key code's bits.
X11ModifierMasks readModifierMasks(xcb_connection_t* c, std::uint8_t minKeyCode, std::uint8_t maxKeyCode,
                                   std::array<std::uint16_t, 256>& ofKey)
{
    X11ModifierMasks masks;
    ofKey.fill(0);
    auto modifiers = xcbReply(xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
    auto keyboard = xcbReply(xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, minKeyCode, std::uint8_t(maxKeyCode - minKeyCode + 1)), nullptr));
    if (!modifiers || !keyboard)
        return masks;
    const xcb_keycode_t* modKeys = xcb_get_modifier_mapping_keycodes(modifiers.get());
    const int perModifier = modifiers->keycodes_per_modifier;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(keyboard.get());
    const int perKey = keyboard->keysyms_per_keycode;
    const int symCount = xcb_get_keyboard_mapping_keysyms_length(keyboard.get());

    auto hasSym = [&](xcb_keycode_t key, std::initializer_list<xcb_keysym_t> wanted) {
        const int first = (key - minKeyCode) * perKey;
        for (int i = first; i < first + perKey && i < symCount; ++i) {
            if (std::find(wanted.begin(), wanted.end(), syms[i]) != wanted.end())
                return true;
        }
        return false;
    };
    for (int bit = 0; bit < 8; ++bit) {
        for (int k = 0; k < perModifier; ++k) {
            if (const xcb_keycode_t key = modKeys[bit * perModifier + k])
                ofKey[key] |= std::uint16_t(1u << bit);
        }
    }
    bool superFound = false;
    bool altFound = false;
    bool numLockFound = false;
    // Bits 3 to 7 are Mod1 to Mod5; Shift, Lock and Control are fixed.
    for (int bit = 3; bit < 8; ++bit) {
        for (int k = 0; k < perModifier; ++k) {
            const xcb_keycode_t key = modKeys[bit * perModifier + k];
            if (key < minKeyCode || key > maxKeyCode)
                continue;
            const auto mask = std::uint16_t(1u << bit);
            if (!superFound && hasSym(key, {superLeft, superRight})) {
                masks.super = mask;
                superFound = true;
            }
            if (!altFound && hasSym(key, {altLeft, altRight})) {
                masks.alt = mask;
                altFound = true;
            }
            if (!numLockFound && hasSym(key, {numLock})) {
                masks.numLock = mask;
                numLockFound = true;
            }
        }
    }
    return masks;
}

} // namespace

X11HotKeyService::X11HotKeyService(const QByteArray& displayName)
{
    const auto opened = connectXcbScreen(displayName);
    if (!opened)
        return;
    xcb_connection_t* c = opened->connection;
    const xcb_setup_t* setup = xcb_get_setup(c);
    connection_ = c;
    root_ = opened->screen->root;
    minKeyCode_ = setup->min_keycode;
    maxKeyCode_ = setup->max_keycode;
    masks_ = readModifierMasks(c, minKeyCode_, maxKeyCode_, modifiersOfKey_);
    // Raw events reach a client during another's grab from version 2.1 on,
    // the version the client announces.
    const auto input = queryXcbExtension(
        c, &xcb_input_id, [c] { return xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr); });
    if (input && (input.version->major_version > 2 || (input.version->major_version == 2 && input.version->minor_version >= 1))) {
        inputOpcode_ = input.data->major_opcode;
        struct {
            xcb_input_event_mask_t head;
            std::uint32_t mask;
        } selection{{XCB_INPUT_DEVICE_ALL, 1},
                    std::uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE)};
        xcb_input_xi_select_events(c, root_, 1, &selection.head);
        xcb_flush(c);
    }
    notifier_ = new QSocketNotifier(xcb_get_file_descriptor(c), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readEvents(); });
}

X11HotKeyService::~X11HotKeyService()
{
    delete notifier_;
    if (!connection_)
        return;
    for (const auto& [ref, grab] : grabs_)
        ungrab(grab);
    sync();
    xcb_disconnect(connection_);
}

std::optional<std::uint8_t> X11HotKeyService::x11KeyCode(std::uint32_t keyCode)
{
    if (keyCode == hotKeyCode::ansiH)
        return std::uint8_t(evdevKeyH + evdevOffset);
    return std::nullopt;
}

std::optional<std::uint16_t> X11HotKeyService::x11Modifiers(std::uint32_t modifiers, const X11ModifierMasks& masks)
{
    constexpr std::uint32_t known =
        hotKeyModifier::command | hotKeyModifier::shift | hotKeyModifier::option | hotKeyModifier::control;
    if (modifiers & ~known)
        return std::nullopt;
    std::uint16_t state = 0;
    if (modifiers & hotKeyModifier::command)
        state |= masks.super;
    if (modifiers & hotKeyModifier::shift)
        state |= XCB_MOD_MASK_SHIFT;
    if (modifiers & hotKeyModifier::option)
        state |= masks.alt;
    if (modifiers & hotKeyModifier::control)
        state |= XCB_MOD_MASK_CONTROL;
    return state;
}

HotKeyService::HandlerRef X11HotKeyService::installHandler(Handler handler)
{
    const HandlerRef ref = nextRef_++;
    handlers_.emplace_back(ref, std::move(handler));
    return ref;
}

void X11HotKeyService::removeHandler(HandlerRef handler)
{
    std::erase_if(handlers_, [&](const auto& entry) { return entry.first == handler; });
}

std::vector<std::uint16_t> X11HotKeyService::lockVariants(std::uint16_t numLock)
{
    return {0, XCB_MOD_MASK_LOCK, numLock, std::uint16_t(XCB_MOD_MASK_LOCK | numLock)};
}

std::optional<HotKeyService::HotKeyRef> X11HotKeyService::registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                                        HotKeyID id)
{
    const auto key = x11KeyCode(keyCode);
    const auto state = x11Modifiers(modifiers, masks_);
    if (!connection_ || !key || !state || *key < minKeyCode_ || *key > maxKeyCode_)
        return std::nullopt;
    std::vector<xcb_void_cookie_t> cookies;
    for (std::uint16_t lock : lockVariants(masks_.numLock)) {
        cookies.push_back(xcb_grab_key_checked(connection_, 1, root_, std::uint16_t(*state | lock), *key,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    // Another client holding any variant makes the whole combination unavailable.
    bool refused = false;
    for (const auto& cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
            refused = true;
            std::free(error);
        }
    }
    readQueuedLater();
    const Grab grab{*key, *state, id, keyCode, modifiers};
    if (refused) {
        ungrab(grab);
        sync();
        return std::nullopt;
    }
    const HotKeyRef ref = nextRef_++;
    grabs_.emplace(ref, grab);
    return ref;
}

void X11HotKeyService::unregisterHotKey(HotKeyRef hotKey)
{
    auto it = grabs_.find(hotKey);
    if (it == grabs_.end())
        return;
    const Grab grab = it->second;
    grabs_.erase(it);
    // Another registration of the same combination keeps the grab.
    const bool shared = std::any_of(grabs_.begin(), grabs_.end(), [&](const auto& entry) {
        return entry.second.keyCode == grab.keyCode && entry.second.modifiers == grab.modifiers;
    });
    if (!shared) {
        ungrab(grab);
        sync();
        readQueuedLater();
    }
}

void X11HotKeyService::readQueuedLater()
{
    // Events that came in while a reply was awaited wait in the connection's
    // queue, where the socket notifier does not see them.
    QMetaObject::invokeMethod(this, [this] { readEvents(); }, Qt::QueuedConnection);
}

void X11HotKeyService::sync()
{
    // Once the server answers, the released keys are free for other clients.
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

void X11HotKeyService::ungrab(const Grab& grab)
{
    // Ungrabbing a variant another client holds leaves that client's grab alone.
    for (std::uint16_t lock : lockVariants(masks_.numLock))
        xcb_ungrab_key(connection_, grab.keyCode, root_, std::uint16_t(grab.modifiers | lock));
}

void X11HotKeyService::readEvents()
{
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            const std::uint8_t type = event->response_type & 0x7F;
            // A press after a change is read by the new mapping; a burst of changes is read once.
            if (mappingChanged_ && type != XCB_MAPPING_NOTIFY)
                remap();
            if (type == XCB_KEY_PRESS) {
                const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event);
                const bool repeat = press->detail == lastReleasedKey_ && press->time == lastReleaseTime_;
                if (!repeat)
                    pressed(press->detail, press->time, press->state);
            } else if (type == XCB_GE_GENERIC && inputOpcode_
                       && reinterpret_cast<const xcb_ge_generic_event_t*>(event)->extension == inputOpcode_) {
                const std::uint16_t raw = reinterpret_cast<const xcb_ge_generic_event_t*>(event)->event_type;
                if (raw == XCB_INPUT_RAW_KEY_PRESS || raw == XCB_INPUT_RAW_KEY_RELEASE)
                    rawKey(event, raw == XCB_INPUT_RAW_KEY_PRESS);
            } else if (type == XCB_KEY_RELEASE) {
                const auto* release = reinterpret_cast<const xcb_key_release_event_t*>(event);
                lastReleasedKey_ = release->detail;
                lastReleaseTime_ = release->time;
            } else if (type == XCB_MAPPING_NOTIFY) {
                // Every client hears of it unasked; an XKB keymap change comes so too.
                mappingChanged_ |= reinterpret_cast<const xcb_mapping_notify_event_t*>(event)->request != XCB_MAPPING_POINTER;
            }
            std::free(event);
        }
        if (!mappingChanged_ || xcb_connection_has_error(connection_))
            break;
        // Its replies may bring more events into the queue.
        remap();
    }
    if (xcb_connection_has_error(connection_))
        notifier_->setEnabled(false);
}

void X11HotKeyService::remap()
{
    mappingChanged_ = false;
    const std::uint16_t numLockBefore = masks_.numLock;
    masks_ = readModifierMasks(connection_, minKeyCode_, maxKeyCode_, modifiersOfKey_);
    bool grabbed = false;
    for (auto& [ref, grab] : grabs_) {
        const Grab before = grab;
        grab.keyCode = x11KeyCode(grab.ourKeyCode).value_or(grab.keyCode);
        grab.modifiers = x11Modifiers(grab.ourModifiers, masks_).value_or(grab.modifiers);
        // A grab whose bits stand is kept: the key never reaches another window meanwhile.
        if (grab.keyCode == before.keyCode && grab.modifiers == before.modifiers && masks_.numLock == numLockBefore)
            continue;
        for (std::uint16_t lock : lockVariants(numLockBefore))
            xcb_ungrab_key(connection_, before.keyCode, root_, std::uint16_t(before.modifiers | lock));
        // One another client took meanwhile stays its own; the raw road still reads ours.
        for (std::uint16_t lock : lockVariants(masks_.numLock))
            xcb_grab_key(connection_, 1, root_, std::uint16_t(grab.modifiers | lock), grab.keyCode, XCB_GRAB_MODE_ASYNC,
                         XCB_GRAB_MODE_ASYNC);
        grabbed = true;
    }
    if (grabbed)
        sync();
}

void X11HotKeyService::rawKey(const void* event, bool press)
{
    // Press and release share their layout.
    const auto* raw = static_cast<const xcb_input_raw_key_press_event_t*>(event);
    // A slave's event comes again from its master, which our own grab may keep
    // to itself: only the slaves' are read, each press once.
    if (raw->deviceid != raw->sourceid || raw->detail > 255)
        return;
    const auto key = std::uint8_t(raw->detail);
    if (!press) {
        down_.reset(key);
        return;
    }
    if (down_.test(key))
        return;
    // The state as the press found it, before the key's own bit.
    std::uint16_t state = 0;
    for (std::size_t k = 0; k < down_.size(); ++k) {
        if (down_.test(k))
            state |= modifiersOfKey_[k];
    }
    down_.set(key);
    pressed(key, raw->time, state);
}

void X11HotKeyService::pressed(std::uint8_t keyCode, std::uint32_t time, std::uint16_t state)
{
    if (lastActed_ && lastActed_->first == keyCode && lastActed_->second == time)
        return;
    const auto locks = std::uint16_t(XCB_MOD_MASK_LOCK | masks_.numLock);
    const auto held = std::uint16_t(state & 0xFF & ~locks);
    std::vector<HotKeyID> ids;
    for (const auto& [ref, grab] : grabs_) {
        if (grab.keyCode == keyCode && grab.modifiers == held)
            ids.push_back(grab.id);
    }
    if (!ids.empty())
        lastActed_ = {keyCode, time};
    for (const HotKeyID& id : ids) {
        // Handlers may come and go while one runs.
        const auto handlers = handlers_;
        for (auto it = handlers.rbegin(); it != handlers.rend(); ++it) {
            if (it->second(id) == HotKeyEventStatus::handled)
                break;
        }
    }
}

} // namespace quorvia::platform::native
