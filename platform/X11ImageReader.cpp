#include "platform/X11ImageReader.h"

#include "platform/LargeImageMemory.h"
#include "platform/X11SegmentPool.h"
#include "platform/XcbSession.h"

#include <xcb/composite.h>
#include <xcb/render.h>
#include <xcb/shm.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

namespace kelpie {
namespace {

void releaseReply(void* reply) { std::free(reply); }

// X leaves the padding byte of 24-bit pixels undefined; RGB32 wants 0xff.
// Blocks of a fixed size let the compiler vectorise this at -O2; a screen
// at 4K is 33 MB of pixels, so it matters.
void makeOpaque(std::uint32_t* pixels, std::size_t count)
{
    constexpr std::size_t block = 16;
    std::size_t i = 0;
    for (; i + block <= count; i += block) {
        for (std::size_t k = 0; k < block; ++k)
            pixels[i + k] |= 0xff00'0000u;
    }
    for (; i < count; ++i)
        pixels[i] |= 0xff00'0000u;
}

// Each half of the staging segment holds one stripe of an image: a few
// hundred kilobytes, or one row of a wider one.
std::size_t stagingHalf(int width)
{
    constexpr std::size_t stripeBytes = std::size_t(512) << 10;
    return std::max(stripeBytes, std::size_t(width) * 4);
}

std::string refusal(const xcb_generic_error_t* error)
{
    return "the X server refused to read the image (error "
        + std::to_string(error ? error->error_code : 0) + ")";
}

struct Picture {
    xcb_render_pictformat_t format = XCB_NONE;
    bool hasAlpha = false;
};

} // namespace

struct X11ImageReader::Private {
    const XcbSession& session;
    std::atomic<bool> sharedMemory;
    std::unique_ptr<X11SegmentPool> segments;
    std::unordered_map<xcb_visualid_t, Picture> pictures;

    Private(const XcbSession& s, bool shm)
        : session(s), sharedMemory(shm && s.hasShm()),
          segments(std::make_unique<X11SegmentPool>(s.connection()))
    {
    }

    void loadPictureFormats();
    std::optional<QImage> readShared(xcb_drawable_t drawable, int x, int y, int width, int height,
                                     QImage::Format format, std::string* error);
    bool readStripes(xcb_drawable_t drawable, int x, int y, const X11SegmentPool::Segment& segment,
                     std::size_t half, QImage& image, std::string* error);
    Result readPlain(xcb_drawable_t drawable, int x, int y, int width, int height,
                     QImage::Format format) const;
    void paintBackground(xcb_pixmap_t target, xcb_gcontext_t gc, const Rect& area) const;
    bool paintWallpaper(xcb_pixmap_t target, xcb_gcontext_t gc, const Rect& area) const;
    void paintRootBackground(xcb_pixmap_t target, xcb_gcontext_t gc, const Rect& area) const;
    void paintWindows(xcb_pixmap_t target, xcb_gcontext_t gc, const Rect& area,
                      std::span<const X11TopLevel> windows) const;
};

X11ImageReader::X11ImageReader(const XcbSession& session, Transport transport)
    : d(new Private(session, transport == Transport::sharedMemoryWhereOffered))
{
    d->loadPictureFormats();
}

X11ImageReader::~X11ImageReader() { delete d; }

bool X11ImageReader::usesSharedMemory() const { return d->sharedMemory; }

void X11ImageReader::Private::loadPictureFormats()
{
    if (!session.hasRender())
        return;
    xcb_connection_t* c = session.connection();
    XcbPtr<xcb_render_query_pict_formats_reply_t> reply(
        xcb_render_query_pict_formats_reply(c, xcb_render_query_pict_formats(c), nullptr));
    if (!reply)
        return;
    std::unordered_map<xcb_render_pictformat_t, bool> alpha;
    for (auto it = xcb_render_query_pict_formats_formats_iterator(reply.get()); it.rem;
         xcb_render_pictforminfo_next(&it)) {
        alpha[it.data->id]
            = it.data->type == XCB_RENDER_PICT_TYPE_DIRECT && it.data->direct.alpha_mask != 0;
    }
    for (auto screens = xcb_render_query_pict_formats_screens_iterator(reply.get()); screens.rem;
         xcb_render_pictscreen_next(&screens)) {
        for (auto depths = xcb_render_pictscreen_depths_iterator(screens.data); depths.rem;
             xcb_render_pictdepth_next(&depths)) {
            for (auto visuals = xcb_render_pictdepth_visuals_iterator(depths.data); visuals.rem;
                 xcb_render_pictvisual_next(&visuals)) {
                pictures[visuals.data->visual]
                    = Picture{visuals.data->format, alpha[visuals.data->format]};
            }
        }
    }
}

X11ImageReader::Result X11ImageReader::read(xcb_drawable_t drawable, std::uint8_t depth, int x,
                                            int y, int width, int height) const
{
    if (width <= 0 || height <= 0)
        return Result(CaptureError::system,
                      "nothing to read: " + std::to_string(width) + " × " + std::to_string(height)
                          + " pixels");
    QImage::Format format = QImage::Format_Invalid;
    if (depth == 24)
        format = QImage::Format_RGB32;
    else if (depth == 32)
        format = QImage::Format_ARGB32_Premultiplied;
    if (format == QImage::Format_Invalid || d->session.bitsPerPixel(depth) != 32
        || !d->session.nativeImageByteOrder())
        return Result(CaptureError::system,
                      "unsupported pixel format: depth " + std::to_string(depth));

    std::string error;
    if (std::optional<QImage> shared = d->readShared(drawable, x, y, width, height, format, &error))
        return std::move(*shared);
    if (!error.empty())
        return Result(CaptureError::system, error);
    Result result = d->readPlain(drawable, x, y, width, height, format);
    if (result.ok() && depth == 24)
        makeOpaque(reinterpret_cast<std::uint32_t*>(result->bits()),
                   std::size_t(result->width()) * std::size_t(result->height()));
    return result;
}

std::optional<QImage> X11ImageReader::Private::readShared(xcb_drawable_t drawable, int x, int y,
                                                          int width, int height,
                                                          QImage::Format format, std::string* error)
{
    if (!sharedMemory)
        return std::nullopt;
    const std::size_t half = stagingHalf(width);
    const std::optional<X11SegmentPool::Segment> segment = segments->take(2 * half);
    if (!segment) {
        // A remote server or another IPC namespace: shared memory is of no use.
        sharedMemory = false;
        return std::nullopt;
    }
    QImage image = LargeImageMemory::allocate(width, height, format);
    if (image.isNull()) {
        segments->giveBack(*segment);
        *error = "no memory for an image of " + std::to_string(width) + " × "
            + std::to_string(height) + " pixels";
        return std::nullopt;
    }
    const bool read = readStripes(drawable, x, y, *segment, half, image, error);
    segments->giveBack(*segment);
    if (!read)
        return std::nullopt;
    return image;
}

// Reads the rectangle at (x, y) of `image`'s size into `image` through the
// two halves of `segment`, one stripe of rows at a time. The server serves
// nobody else meanwhile, so that the stripes show one moment of the screen;
// the next stripe is asked for before the last one is copied out.
bool X11ImageReader::Private::readStripes(xcb_drawable_t drawable, int x, int y,
                                          const X11SegmentPool::Segment& segment,
                                          std::size_t half, QImage& image, std::string* error)
{
    xcb_connection_t* c = session.connection();
    const int width = image.width();
    const int height = image.height();
    const std::size_t stride = std::size_t(width) * 4;
    const int rows = int(half / stride);
    const int stripes = (height + rows - 1) / rows;
    const auto ask = [&](int stripe) {
        const int top = stripe * rows;
        return xcb_shm_get_image(c, drawable, static_cast<std::int16_t>(x),
                                 static_cast<std::int16_t>(y + top),
                                 static_cast<std::uint16_t>(width),
                                 static_cast<std::uint16_t>(std::min(rows, height - top)), ~0u,
                                 XCB_IMAGE_FORMAT_Z_PIXMAP, segment.name,
                                 std::uint32_t(std::size_t(stripe % 2) * half));
    };
    xcb_grab_server(c);
    xcb_shm_get_image_cookie_t next = ask(0);
    bool read = true;
    for (int stripe = 0; stripe < stripes && read; ++stripe) {
        const xcb_shm_get_image_cookie_t cookie = next;
        if (stripe + 1 < stripes)
            next = ask(stripe + 1);
        xcb_generic_error_t* failure = nullptr;
        XcbPtr<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(c, cookie, &failure));
        XcbPtr<xcb_generic_error_t> failed(failure);
        if (!reply) {
            if (stripe + 1 < stripes)
                xcb_discard_reply(c, next.sequence);
            *error = refusal(failed.get());
            read = false;
            continue;
        }
        const int top = stripe * rows;
        const int count = std::min(rows, height - top);
        uchar* target = image.scanLine(top);
        std::memcpy(target,
                    static_cast<const uchar*>(segment.address) + std::size_t(stripe % 2) * half,
                    stride * std::size_t(count));
        if (image.format() == QImage::Format_RGB32)
            makeOpaque(reinterpret_cast<std::uint32_t*>(target), std::size_t(width) * count);
    }
    xcb_ungrab_server(c);
    xcb_flush(c);
    return read;
}

X11ImageReader::Result X11ImageReader::Private::readPlain(xcb_drawable_t drawable, int x, int y,
                                                          int width, int height,
                                                          QImage::Format format) const
{
    xcb_connection_t* c = session.connection();
    xcb_generic_error_t* failure = nullptr;
    xcb_get_image_reply_t* reply = xcb_get_image_reply(
        c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), static_cast<std::uint16_t>(width),
                      static_cast<std::uint16_t>(height), ~0u),
        &failure);
    XcbPtr<xcb_generic_error_t> failed(failure);
    if (!reply)
        return Result(CaptureError::system, refusal(failed.get()));
    if (xcb_get_image_data_length(reply) < width * height * 4) {
        std::free(reply);
        return Result(CaptureError::system, "the X server sent a short image");
    }
    return QImage(xcb_get_image_data(reply), width, height, qsizetype(width) * 4, format,
                  releaseReply, reply);
}

X11ImageReader::Result X11ImageReader::readDesktop(const Rect& area,
                                                   std::span<const X11TopLevel> topLevels,
                                                   std::int32_t excludedPID, int margin) const
{
    const xcb_screen_t& screen = d->session.screen();
    Result result = read(screen.root, screen.root_depth, static_cast<int>(area.minX()),
                         static_cast<int>(area.minY()), static_cast<int>(area.width()),
                         static_cast<int>(area.height()));
    if (!result)
        return result;
    QImage* image = &result.value();

    std::vector<Rect> own;
    std::vector<X11TopLevel> others;
    Rect covered = Rect::null();
    for (const X11TopLevel& t : topLevels) {
        if (t.ownerPID != excludedPID) {
            others.push_back(t);
            continue;
        }
        const Rect shown = t.frame.insetBy(-margin, -margin).intersected(area);
        if (shown.isEmpty())
            continue;
        own.push_back(shown);
        covered = covered.united(shown);
    }
    if (own.empty())
        return result;

    // Rebuild what lies under our own windows, server-side, then read it back.
    xcb_connection_t* c = d->session.connection();
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, screen.root_depth, pixmap, screen.root,
                      static_cast<std::uint16_t>(covered.width()),
                      static_cast<std::uint16_t>(covered.height()));
    const xcb_gcontext_t gc = xcb_generate_id(c);
    const std::uint32_t gcValues[] = {screen.black_pixel, 0};
    xcb_create_gc(c, gc, pixmap, XCB_GC_FOREGROUND | XCB_GC_GRAPHICS_EXPOSURES, gcValues);
    d->paintBackground(pixmap, gc, covered);
    d->paintWindows(pixmap, gc, covered, others);
    const Result under = read(pixmap, screen.root_depth, 0, 0, static_cast<int>(covered.width()),
                              static_cast<int>(covered.height()));
    xcb_free_gc(c, gc);
    xcb_free_pixmap(c, pixmap);
    xcb_flush(c);
    if (!under)
        return under;
    const QImage* patch = &under.value();

    for (const Rect& r : own) {
        const int left = static_cast<int>(r.minX() - area.minX());
        const int top = static_cast<int>(r.minY() - area.minY());
        const int fromLeft = static_cast<int>(r.minX() - covered.minX());
        const int fromTop = static_cast<int>(r.minY() - covered.minY());
        const std::size_t bytes = std::size_t(r.width()) * 4;
        for (int row = 0; row < static_cast<int>(r.height()); ++row) {
            std::memcpy(image->scanLine(top + row) + left * 4,
                        patch->constScanLine(fromTop + row) + fromLeft * 4, bytes);
        }
    }
    return result;
}

void X11ImageReader::Private::paintBackground(xcb_pixmap_t target, xcb_gcontext_t gc,
                                              const Rect& area) const
{
    xcb_connection_t* c = session.connection();
    const xcb_rectangle_t whole{0, 0, static_cast<std::uint16_t>(area.width()),
                                static_cast<std::uint16_t>(area.height())};
    // Black where nothing better can be had.
    xcb_poly_fill_rectangle(c, target, gc, 1, &whole);
    if (!paintWallpaper(target, gc, area))
        paintRootBackground(target, gc, area);
}

// The wallpaper, as desktop tools publish it on the root window.
bool X11ImageReader::Private::paintWallpaper(xcb_pixmap_t target, xcb_gcontext_t gc,
                                             const Rect& area) const
{
    xcb_connection_t* c = session.connection();
    XcbPtr<xcb_get_property_reply_t> property(xcb_get_property_reply(
        c,
        xcb_get_property(c, 0, session.root(), session.atoms().rootPixmap, XCB_ATOM_PIXMAP, 0, 1),
        nullptr));
    if (!property || property->format != 32 || xcb_get_property_value_length(property.get()) < 4)
        return false;
    const xcb_pixmap_t wallpaper
        = *static_cast<const xcb_pixmap_t*>(xcb_get_property_value(property.get()));
    XcbPtr<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, wallpaper), nullptr));
    if (!geometry || geometry->depth != session.screen().root_depth)
        return false;
    const xcb_rectangle_t whole{0, 0, static_cast<std::uint16_t>(area.width()),
                                static_cast<std::uint16_t>(area.height())};
    const std::uint32_t tiled[] = {XCB_FILL_STYLE_TILED, wallpaper,
                                   static_cast<std::uint32_t>(-static_cast<int>(area.minX())),
                                   static_cast<std::uint32_t>(-static_cast<int>(area.minY()))};
    xcb_change_gc(c, gc,
                  XCB_GC_FILL_STYLE | XCB_GC_TILE | XCB_GC_TILE_STIPPLE_ORIGIN_X
                      | XCB_GC_TILE_STIPPLE_ORIGIN_Y,
                  tiled);
    xcb_poly_fill_rectangle(c, target, gc, 1, &whole);
    const std::uint32_t solid[] = {XCB_FILL_STYLE_SOLID};
    xcb_change_gc(c, gc, XCB_GC_FILL_STYLE, solid);
    return true;
}

// Without a published wallpaper (a plain `xsetroot -solid`, or a desktop
// that sets only the root window's background) the root's background cannot
// be asked for: the protocol has no request that returns it. A window with a
// parent-relative background shows exactly it, though. One is made over
// `area`, kept off screen and at the bottom of the stack (so even where it
// were shown it would look like the bare desktop), mapped so the server
// paints its background, and copied from.
void X11ImageReader::Private::paintRootBackground(xcb_pixmap_t target, xcb_gcontext_t gc,
                                                  const Rect& area) const
{
    if (!session.hasComposite())
        return;
    xcb_connection_t* c = session.connection();
    const auto width = static_cast<std::uint16_t>(area.width());
    const auto height = static_cast<std::uint16_t>(area.height());
    const xcb_window_t probe = xcb_generate_id(c);
    const std::uint32_t attributes[] = {XCB_BACK_PIXMAP_PARENT_RELATIVE, 1};
    xcb_create_window(
        c, XCB_COPY_FROM_PARENT, probe, session.root(), static_cast<std::int16_t>(area.minX()),
        static_cast<std::int16_t>(area.minY()), width, height, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
        XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT, attributes);
    const std::uint32_t bottom[] = {XCB_STACK_MODE_BELOW};
    xcb_configure_window(c, probe, XCB_CONFIG_WINDOW_STACK_MODE, bottom);
    xcb_composite_redirect_window(c, probe, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
    xcb_map_window(c, probe);
    const xcb_pixmap_t contents = xcb_generate_id(c);
    xcb_composite_name_window_pixmap(c, probe, contents);
    xcb_copy_area(c, contents, target, gc, 0, 0, 0, 0, width, height);
    xcb_free_pixmap(c, contents);
    xcb_destroy_window(c, probe);
}

void X11ImageReader::Private::paintWindows(xcb_pixmap_t target, xcb_gcontext_t gc, const Rect& area,
                                           std::span<const X11TopLevel> windows) const
{
    xcb_connection_t* c = session.connection();
    const xcb_screen_t& screen = session.screen();
    xcb_render_picture_t destination = XCB_NONE;
    if (const auto found = pictures.find(screen.root_visual); found != pictures.end()) {
        destination = xcb_generate_id(c);
        xcb_render_create_picture(c, destination, target, found->second.format, 0, nullptr);
    }

    // Bottom-most first, each from the contents Composite keeps for it.
    for (const X11TopLevel& t : windows) {
        const Rect part = t.frame.intersected(area);
        if (part.isEmpty() || !session.hasComposite())
            continue;
        const auto sourceX = static_cast<std::int16_t>(part.minX() - t.frame.minX());
        const auto sourceY = static_cast<std::int16_t>(part.minY() - t.frame.minY());
        const auto targetX = static_cast<std::int16_t>(part.minX() - area.minX());
        const auto targetY = static_cast<std::int16_t>(part.minY() - area.minY());
        const auto width = static_cast<std::uint16_t>(part.width());
        const auto height = static_cast<std::uint16_t>(part.height());

        const xcb_pixmap_t contents = xcb_generate_id(c);
        xcb_composite_name_window_pixmap(c, t.window, contents);
        const auto picture = pictures.find(t.visual);
        if (destination != XCB_NONE && picture != pictures.end()) {
            const xcb_render_picture_t source = xcb_generate_id(c);
            xcb_render_create_picture(c, source, contents, picture->second.format, 0, nullptr);
            const bool blend = picture->second.hasAlpha && t.depth == 32;
            xcb_render_composite(c, blend ? XCB_RENDER_PICT_OP_OVER : XCB_RENDER_PICT_OP_SRC,
                                 source, XCB_NONE, destination, sourceX, sourceY, 0, 0, targetX,
                                 targetY, width, height);
            xcb_render_free_picture(c, source);
        } else if (t.depth == screen.root_depth) {
            xcb_copy_area(c, contents, target, gc, sourceX, sourceY, targetX, targetY, width,
                          height);
        }
        xcb_free_pixmap(c, contents);
    }
    if (destination != XCB_NONE)
        xcb_render_free_picture(c, destination);
}

X11ImageReader::Result X11ImageReader::readWindow(const X11TopLevel& topLevel) const
{
    if (!d->session.hasComposite())
        return Result(CaptureError::system,
                      "the X server keeps no window contents (no Composite extension)");
    xcb_connection_t* c = d->session.connection();
    const xcb_pixmap_t contents = xcb_generate_id(c);
    XcbPtr<xcb_generic_error_t> failed(xcb_request_check(
        c, xcb_composite_name_window_pixmap_checked(c, topLevel.window, contents)));
    if (failed) {
        return Result(CaptureError::system,
                      "the window's contents are not available (error "
                          + std::to_string(failed->error_code) + ")");
    }
    const Rect& visible = topLevel.visibleFrame;
    Result result
        = read(contents, topLevel.depth, static_cast<int>(visible.minX() - topLevel.frame.minX()),
               static_cast<int>(visible.minY() - topLevel.frame.minY()),
               static_cast<int>(visible.width()), static_cast<int>(visible.height()));
    xcb_free_pixmap(c, contents);
    xcb_flush(c);
    return result;
}

void X11ImageReader::readyFor(int width, int height) const
{
    if (d->sharedMemory && width > 0 && height > 0)
        d->segments->ready(2 * stagingHalf(width));
}

void X11ImageReader::releaseIdleSegments() const { d->segments->releaseIdle(); }

void X11ImageReader::setOnSegmentIdle(std::function<void()> onIdle) const
{
    d->segments->setOnIdle(std::move(onIdle));
}

} // namespace kelpie
