#include "ui/skype_window_x11.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QScreen>

namespace tw {
namespace {

template <typename T> using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T> XcbReply<T> own(T* reply)
{
    return XcbReply<T>(reply, &std::free);
}

bool equalsSkype(std::string_view word)
{
    if (word.size() != 5)
        return false;
    for (std::size_t i = 0; i < 5; ++i)
        if (std::tolower(static_cast<unsigned char>(word[i])) != "skype"[i])
            return false;
    return true;
}

class X11SkypeWindow : public SkypeWindowAccess
{
public:
    X11SkypeWindow(xcb_connection_t* c, xcb_window_t root) : m_c(c), m_root(root)
    {
        m_clientList = atom("_NET_CLIENT_LIST");
        m_frameExtents = atom("_NET_FRAME_EXTENTS");
    }

    std::optional<DockRect> skypeWindow() override
    {
        const xcb_window_t w = findSkype();
        if (!w)
            return std::nullopt;
        auto geometry = own(xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, w), nullptr));
        auto origin = own(xcb_translate_coordinates_reply(
            m_c, xcb_translate_coordinates(m_c, w, m_root, 0, 0), nullptr));
        if (!geometry || !origin)
            return std::nullopt;
        m_window = w;
        m_extents = frameExtents(w);
        return DockRect{origin->dst_x - m_extents[0], origin->dst_y - m_extents[2],
                        origin->dst_x + geometry->width + m_extents[1],
                        origin->dst_y + geometry->height + m_extents[3]};
    }

    void moveSkypeWindow(const DockRect& r) override
    {
        if (!m_window)
            return;
        const std::uint32_t values[4] = {
            std::uint32_t(r.left + m_extents[0]), std::uint32_t(r.top + m_extents[2]),
            std::uint32_t(std::max(1, r.width() - m_extents[0] - m_extents[1])),
            std::uint32_t(std::max(1, r.height() - m_extents[2] - m_extents[3]))};
        xcb_configure_window(m_c, m_window,
                             XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                                 XCB_CONFIG_WINDOW_HEIGHT,
                             values);
        xcb_flush(m_c);
    }

    std::optional<DockRect> workArea() override
    {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen)
            return std::nullopt;
        const QRect a = screen->availableGeometry();
        return DockRect{a.left(), a.top(), a.left() + a.width(), a.top() + a.height()};
    }

private:
    xcb_atom_t atom(const char* name)
    {
        auto reply = own(xcb_intern_atom_reply(
            m_c, xcb_intern_atom(m_c, 1, std::uint16_t(std::strlen(name)), name), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    std::vector<xcb_window_t> candidates()
    {
        std::vector<xcb_window_t> windows;
        if (m_clientList != XCB_ATOM_NONE) {
            auto reply = own(xcb_get_property_reply(
                m_c, xcb_get_property(m_c, 0, m_root, m_clientList, XCB_ATOM_WINDOW, 0, 4096),
                nullptr));
            if (reply && reply->format == 32) {
                const auto* ids =
                    static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
                windows.assign(ids, ids + xcb_get_property_value_length(reply.get()) / 4);
            }
        }
        if (windows.empty()) { // no window manager: the root's own children
            auto tree = own(xcb_query_tree_reply(m_c, xcb_query_tree(m_c, m_root), nullptr));
            if (tree) {
                const xcb_window_t* ids = xcb_query_tree_children(tree.get());
                windows.assign(ids, ids + xcb_query_tree_children_length(tree.get()));
            }
        }
        return windows;
    }

    bool isSkype(xcb_window_t w)
    {
        auto reply = own(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256), nullptr));
        if (!reply || reply->format != 8)
            return false;
        const auto* text = static_cast<const char*>(xcb_get_property_value(reply.get()));
        const std::string_view value(text, std::size_t(xcb_get_property_value_length(reply.get())));
        // "instance\0class\0"
        const std::size_t nul = value.find('\0');
        const std::string_view instance = value.substr(0, nul);
        std::string_view cls =
            nul == std::string_view::npos ? std::string_view() : value.substr(nul + 1);
        cls = cls.substr(0, cls.find('\0'));
        if (!equalsSkype(instance) && !equalsSkype(cls))
            return false;
        auto attributes =
            own(xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, w), nullptr));
        return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    }

    xcb_window_t findSkype()
    {
        for (const xcb_window_t w : candidates())
            if (isSkype(w))
                return w;
        return 0;
    }

    std::array<int, 4> frameExtents(xcb_window_t w)
    {
        std::array<int, 4> extents{}; // left, right, top, bottom
        if (m_frameExtents == XCB_ATOM_NONE)
            return extents;
        auto reply = own(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, w, m_frameExtents, XCB_ATOM_CARDINAL, 0, 4), nullptr));
        if (reply && reply->format == 32 && xcb_get_property_value_length(reply.get()) == 16) {
            const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
            for (std::size_t i = 0; i < 4; ++i)
                extents[i] = int(std::min<std::uint32_t>(v[i], 1000));
        }
        return extents;
    }

    xcb_connection_t* m_c;
    xcb_window_t m_root;
    xcb_atom_t m_clientList = XCB_ATOM_NONE;
    xcb_atom_t m_frameExtents = XCB_ATOM_NONE;
    xcb_window_t m_window = 0;
    std::array<int, 4> m_extents{};
};

} // namespace

std::unique_ptr<SkypeWindowAccess> MakeSkypeWindowAccess()
{
    if (QGuiApplication::platformName() != "xcb")
        return nullptr;
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return nullptr;
    xcb_connection_t* c = x11->connection();
    const xcb_setup_t* setup = xcb_get_setup(c);
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    if (!screens.rem)
        return nullptr;
    return std::make_unique<X11SkypeWindow>(c, screens.data->root);
}

} // namespace tw
