#include "desktop/x11_window_system.h"

#if defined(LARKPAD_X11)

#include <xcb/xcb.h>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace lark::gui {

namespace {

constexpr xcb_keysym_t kKeyZ = 0x007a, kNumLock = 0xff7f, kSuperL = 0xffeb, kSuperR = 0xffec;
constexpr std::uint8_t kBadAccess = 10;
constexpr std::uint32_t kIconPixmapHint = 1u << 2, kIconMaskHint = 1u << 5;

template <typename T>
struct Freed {
    T* p;
    explicit Freed(T* ptr) : p(ptr) {}
    ~Freed() { std::free(p); }
    Freed(const Freed&) = delete;
    Freed& operator=(const Freed&) = delete;
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

// Latin-1 (the encoding of WM_NAME as STRING) to UTF-8.
std::string Latin1ToUtf8(const char* data, int length) {
    std::string out;
    for (int i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace

struct X11WindowSystem::Private {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    xcb_keycode_t keycode = 0;
    std::uint16_t superMask = XCB_MOD_MASK_4;
    std::uint16_t numLockMask = XCB_MOD_MASK_2;
    std::vector<std::uint16_t> grabbed;  // modifier sets of the grabs held
    std::unique_ptr<QSocketNotifier> notifier;
    X11WindowSystem* owner = nullptr;
    xcb_atom_t netActiveWindow = 0, netWmIcon = 0, netWmName = 0, utf8String = 0;

    ~Private() {
        notifier.reset();
        if (c) xcb_disconnect(c);
    }

    xcb_atom_t atom(const char* name) {
        Freed reply(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    // The property's value, or nothing (no such window, no such property, another type).
    xcb_get_property_reply_t* property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type, std::uint32_t words) {
        xcb_generic_error_t* error = nullptr;
        auto* reply = xcb_get_property_reply(c, xcb_get_property(c, 0, window, name, type, 0, words), &error);
        std::free(error);
        if (reply && (reply->type == XCB_ATOM_NONE || xcb_get_property_value_length(reply) == 0)) {
            std::free(reply);
            return nullptr;
        }
        return reply;
    }

    bool check(xcb_void_cookie_t cookie, std::uint8_t* errorCode = nullptr) {
        xcb_generic_error_t* error = xcb_request_check(c, cookie);
        if (errorCode) *errorCode = error ? error->error_code : 0;
        const bool ok = error == nullptr;
        std::free(error);
        return ok;
    }

    // The keyboard: Z's key code, the modifier bits of Super and NumLock.
    void readKeyboard() {
        const xcb_setup_t* setup = xcb_get_setup(c);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        Freed map(xcb_get_keyboard_mapping_reply(
            c, xcb_get_keyboard_mapping(c, setup->min_keycode, std::uint8_t(count)), nullptr));
        if (!map) return;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.p);
        const int per = map->keysyms_per_keycode;
        auto keysymOf = [&](xcb_keycode_t code) -> xcb_keysym_t {
            if (code < setup->min_keycode || code > setup->max_keycode || per == 0) return 0;
            return syms[static_cast<std::ptrdiff_t>(code - setup->min_keycode) * per];
        };
        for (int i = 0; i < count && keycode == 0; ++i)
            for (int j = 0; j < per; ++j)
                if (syms[i * per + j] == kKeyZ) {
                    keycode = xcb_keycode_t(setup->min_keycode + i);
                    break;
                }
        Freed mods(xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
        if (!mods) return;
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mods.p);
        const int perMod = mods->keycodes_per_modifier;
        for (int mod = 0; mod < 8; ++mod)
            for (int k = 0; k < perMod; ++k) {
                const xcb_keysym_t sym = keysymOf(codes[mod * perMod + k]);
                if (sym == kNumLock) numLockMask = std::uint16_t(1u << mod);
                if (sym == kSuperL || sym == kSuperR) superMask = std::uint16_t(1u << mod);
            }
    }

    void drain() {
        if (xcb_connection_has_error(c)) {
            notifier->setEnabled(false);  // the display is gone
            return;
        }
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            const std::uint8_t type = event->response_type & 0x7f;
            if (type == XCB_KEY_PRESS) {
                auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
                const std::uint16_t locks = XCB_MOD_MASK_LOCK | numLockMask;
                if (key->detail == keycode && (key->state & ~locks & 0xff) == superMask && owner->onHotKey)
                    QTimer::singleShot(0, notifier.get(), [o = owner] {
                        if (o->onHotKey) o->onHotKey();
                    });
            }
            if (type == XCB_DESTROY_NOTIFY) {
                const WindowHandle gone = reinterpret_cast<xcb_destroy_notify_event_t*>(event)->window;
                QTimer::singleShot(0, notifier.get(), [o = owner, gone] {
                    if (o->onWindowGone) o->onWindowGone(gone);
                });
            }
            // Errors of requests nobody checked, and every other event, are dropped.
            std::free(event);
        }
    }

    // Events that came in while a reply was awaited sit in xcb's queue, not on the socket.
    void drainSoon() {
        QTimer::singleShot(0, notifier.get(), [this] { drain(); });
    }

    QImage bitmap(xcb_pixmap_t pixmap) {
        Freed geometry(xcb_get_geometry_reply(c, xcb_get_geometry(c, pixmap), nullptr));
        if (!geometry || geometry->width == 0 || geometry->height == 0 || geometry->width > 512 ||
            geometry->height > 512)
            return {};
        const int w = geometry->width, h = geometry->height, depth = geometry->depth;
        const xcb_setup_t* setup = xcb_get_setup(c);
        if (depth == 1) {
            Freed image(xcb_get_image_reply(
                c, xcb_get_image(c, XCB_IMAGE_FORMAT_XY_PIXMAP, pixmap, 0, 0, std::uint16_t(w), std::uint16_t(h), 1),
                nullptr));
            if (!image) return {};
            const std::uint8_t* data = xcb_get_image_data(image.p);
            const int pad = setup->bitmap_format_scanline_pad;
            const int stride = ((w + pad - 1) / pad) * pad / 8;
            if (xcb_get_image_data_length(image.p) < stride * h) return {};
            const bool lsbFirst = setup->bitmap_format_bit_order == XCB_IMAGE_ORDER_LSB_FIRST;
            QImage out(w, h, QImage::Format_ARGB32);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const std::uint8_t byte = data[y * stride + x / 8];
                    const bool set = lsbFirst ? (byte >> (x % 8)) & 1 : (byte >> (7 - x % 8)) & 1;
                    out.setPixel(x, y, set ? 0xff000000u : 0xffffffffu);
                }
            return out;
        }
        if (depth != 24 && depth != 32) return {};
        Freed image(xcb_get_image_reply(
            c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, 0, 0, std::uint16_t(w), std::uint16_t(h), ~0u),
            nullptr));
        if (!image || xcb_get_image_data_length(image.p) < w * h * 4) return {};
        // 32 bits a pixel, 0xRRGGBB in the low bits: the layout of every TrueColor visual
        // of depth 24 or 32 that servers use.
        const auto* pixels = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(image.p));
        QImage out(w, h, QImage::Format_ARGB32);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) out.setPixel(x, y, 0xff000000u | (pixels[y * w + x] & 0xffffffu));
        return out;
    }
};

std::unique_ptr<X11WindowSystem> X11WindowSystem::create() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto d = std::make_unique<Private>();
    int screenNumber = 0;
    d->c = xcb_connect(nullptr, &screenNumber);
    if (!d->c || xcb_connection_has_error(d->c)) return nullptr;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(d->c));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) xcb_screen_next(&screens);
    if (screens.rem == 0) return nullptr;
    d->root = screens.data->root;
    d->netActiveWindow = d->atom("_NET_ACTIVE_WINDOW");
    d->netWmIcon = d->atom("_NET_WM_ICON");
    d->netWmName = d->atom("_NET_WM_NAME");
    d->utf8String = d->atom("UTF8_STRING");
    d->notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(d->c), QSocketNotifier::Read);
    Private* p = d.get();
    QObject::connect(d->notifier.get(), &QSocketNotifier::activated, d->notifier.get(), [p] { p->drain(); });
    return std::unique_ptr<X11WindowSystem>(new X11WindowSystem(std::move(d)));
}

X11WindowSystem::X11WindowSystem(std::unique_ptr<Private> d) : d_(std::move(d)) { d_->owner = this; }

X11WindowSystem::~X11WindowSystem() { ungrabHotKey(); }

WindowSystem::HotKey X11WindowSystem::grabHotKey() {
    ungrabHotKey();
    if (d_->keycode == 0) d_->readKeyboard();
    if (d_->keycode == 0) return HotKey::Unavailable;
    // The grab holds whatever state Caps Lock and Num Lock are in.
    const std::uint16_t extras[] = {0, XCB_MOD_MASK_LOCK, d_->numLockMask,
                                    std::uint16_t(XCB_MOD_MASK_LOCK | d_->numLockMask)};
    bool taken = false;
    for (std::uint16_t extra : extras) {
        const std::uint16_t mods = d_->superMask | extra;
        std::uint8_t code = 0;
        if (d_->check(
                xcb_grab_key_checked(d_->c, 1, d_->root, mods, d_->keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                &code))
            d_->grabbed.push_back(mods);
        else if (code == kBadAccess) taken = true;
    }
    if (taken || d_->grabbed.empty()) {
        ungrabHotKey();
        return HotKey::Taken;
    }
    d_->drainSoon();
    return HotKey::Grabbed;
}

void X11WindowSystem::ungrabHotKey() {
    for (std::uint16_t mods : d_->grabbed) d_->check(xcb_ungrab_key_checked(d_->c, d_->keycode, d_->root, mods));
    d_->grabbed.clear();
}

WindowHandle X11WindowSystem::activeWindow() {
    d_->drainSoon();
    if (Freed active{d_->property(d_->root, d_->netActiveWindow, XCB_ATOM_WINDOW, 1)})
        return *static_cast<const xcb_window_t*>(xcb_get_property_value(active.p));
    // A window manager without EWMH: the window with the input focus.
    Freed focus(xcb_get_input_focus_reply(d_->c, xcb_get_input_focus(d_->c), nullptr));
    if (!focus || focus->focus == XCB_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT || focus->focus == d_->root)
        return 0;
    return focus->focus;
}

QIcon X11WindowSystem::windowIcon(WindowHandle window) {
    d_->drainSoon();
    const auto w = static_cast<xcb_window_t>(window);
    if (Freed icons{d_->property(w, d_->netWmIcon, XCB_ATOM_CARDINAL, 4u << 20)}) {
        const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(icons.p));
        const std::span<const std::uint32_t> words(data, std::size_t(xcb_get_property_value_length(icons.p)) / 4);
        if (const auto image = PickSmallIcon(words)) {
            QImage out(int(image->width), int(image->height), QImage::Format_ARGB32);
            std::memcpy(out.bits(), data + image->offset, std::size_t(image->width) * image->height * 4);
            return QIcon(QPixmap::fromImage(out));
        }
    }
    if (Freed hints{d_->property(w, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 9)}) {
        const auto* words = static_cast<const std::uint32_t*>(xcb_get_property_value(hints.p));
        const int count = xcb_get_property_value_length(hints.p) / 4;
        if (count >= 8 && (words[0] & kIconPixmapHint)) {
            QImage image = d_->bitmap(words[3]);
            if (!image.isNull() && (words[0] & kIconMaskHint)) {
                const QImage mask = d_->bitmap(words[7]);
                if (mask.size() == image.size())
                    for (int y = 0; y < image.height(); ++y)
                        for (int x = 0; x < image.width(); ++x)
                            if (mask.pixel(x, y) != 0xff000000u) image.setPixel(x, y, 0);
            }
            if (!image.isNull()) return QIcon(QPixmap::fromImage(image));
        }
    }
    return {};
}

std::string X11WindowSystem::windowTitle(WindowHandle window) {
    d_->drainSoon();
    const auto w = static_cast<xcb_window_t>(window);
    if (Freed name{d_->property(w, d_->netWmName, d_->utf8String, 1024)})
        return std::string(static_cast<const char*>(xcb_get_property_value(name.p)),
                           std::size_t(xcb_get_property_value_length(name.p)));
    if (Freed name{d_->property(w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 1024)}) {
        const auto* text = static_cast<const char*>(xcb_get_property_value(name.p));
        const int length = xcb_get_property_value_length(name.p);
        if (name->type == d_->utf8String) return std::string(text, std::size_t(length));
        return Latin1ToUtf8(text, length);
    }
    return {};
}

bool X11WindowSystem::withdraw(WindowHandle window) {
    d_->drainSoon();
    const auto w = static_cast<xcb_window_t>(window);
    if (w == 0 || w == d_->root) return false;
    // Its destruction is reported to this connection from now on (the window's owner keeps
    // its own event mask).
    const std::uint32_t structure = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    if (!d_->check(xcb_change_window_attributes_checked(d_->c, w, XCB_CW_EVENT_MASK, &structure))) return false;
    if (!d_->check(xcb_unmap_window_checked(d_->c, w))) return false;
    // ICCCM: a synthetic UnmapNotify tells the window manager that the window is withdrawn
    // (it also goes for a window that was iconic, hence not mapped).
    xcb_unmap_notify_event_t notify{};
    notify.response_type = XCB_UNMAP_NOTIFY;
    notify.event = d_->root;
    notify.window = w;
    notify.from_configure = 0;
    d_->check(xcb_send_event_checked(d_->c, 0, d_->root,
                                     XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                                     reinterpret_cast<const char*>(&notify)));
    return true;
}

void X11WindowSystem::restore(WindowHandle window) {
    d_->drainSoon();
    const auto w = static_cast<xcb_window_t>(window);
    if (w == 0 || w == d_->root) return;
    if (!d_->check(xcb_map_window_checked(d_->c, w))) return;
    // Brought to the front by the window manager, as a pager asks for it (source 2).
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = w;
    message.type = d_->netActiveWindow;
    message.data.data32[0] = 2;
    message.data.data32[1] = XCB_CURRENT_TIME;
    d_->check(xcb_send_event_checked(d_->c, 0, d_->root,
                                     XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                                     reinterpret_cast<const char*>(&message)));
}

}  // namespace lark::gui

#else

namespace lark::gui {
// Built without xcb: there is no X11 window system to offer.
struct X11WindowSystem::Private {};
std::unique_ptr<X11WindowSystem> X11WindowSystem::create() { return nullptr; }
X11WindowSystem::X11WindowSystem(std::unique_ptr<Private> d) : d_(std::move(d)) {}
X11WindowSystem::~X11WindowSystem() = default;
WindowSystem::HotKey X11WindowSystem::grabHotKey() { return HotKey::Unavailable; }
void X11WindowSystem::ungrabHotKey() {}
WindowHandle X11WindowSystem::activeWindow() { return 0; }
QIcon X11WindowSystem::windowIcon(WindowHandle) { return {}; }
std::string X11WindowSystem::windowTitle(WindowHandle) { return {}; }
bool X11WindowSystem::withdraw(WindowHandle) { return false; }
void X11WindowSystem::restore(WindowHandle) {}
}  // namespace lark::gui

#endif
