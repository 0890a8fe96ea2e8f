// Pictures through GDI+: the PNG resource is decoded from memory and drawn with
// high-quality resampling into a bitmap of the control's size.
#include "picture.h"

#include <objidl.h>
// GDI+ after the COM interfaces it uses.
#include <gdiplus.h>
#include <shlwapi.h>

#include <memory>

CGdiPlusScope::CGdiPlusScope() {
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) token = 0;
}

CGdiPlusScope::~CGdiPlusScope() {
    if (token != 0) Gdiplus::GdiplusShutdown(token);
}

namespace {

// The PNG resource decoded; null when it is missing or not a picture.
std::unique_ptr<Gdiplus::Bitmap> loadPng(HINSTANCE instance, int id) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), L"PNG");
    if (found == nullptr) return nullptr;
    HGLOBAL loaded = LoadResource(instance, found);
    const DWORD size = SizeofResource(instance, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr || size == 0) return nullptr;
    IStream* stream = SHCreateMemStream(static_cast<const BYTE*>(bytes), size);
    if (stream == nullptr) return nullptr;
    std::unique_ptr<Gdiplus::Bitmap> image(Gdiplus::Bitmap::FromStream(stream));
    stream->Release();
    if (!image || image->GetLastStatus() != Gdiplus::Ok || image->GetWidth() == 0 ||
        image->GetHeight() == 0) {
        return nullptr;
    }
    return image;
}

}  // namespace

HBITMAP drawPicture(HINSTANCE instance, int id, SIZE size, CPictureFit fit, COLORREF background) {
    if (size.cx <= 0 || size.cy <= 0) return nullptr;
    std::unique_ptr<Gdiplus::Bitmap> image = loadPng(instance, id);
    if (!image) return nullptr;

    Gdiplus::Bitmap canvas(size.cx, size.cy, PixelFormat32bppARGB);
    Gdiplus::Graphics graphics(&canvas);
    const Gdiplus::Color face(255, GetRValue(background), GetGValue(background),
                              GetBValue(background));
    graphics.Clear(face);
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHighQuality);

    Gdiplus::RectF target(0, 0, static_cast<Gdiplus::REAL>(size.cx),
                          static_cast<Gdiplus::REAL>(size.cy));
    if (fit == CPictureFit::KeepAspect) {
        const double scale = std::min(static_cast<double>(size.cx) / image->GetWidth(),
                                      static_cast<double>(size.cy) / image->GetHeight());
        target.Width = static_cast<Gdiplus::REAL>(image->GetWidth() * scale);
        target.Height = static_cast<Gdiplus::REAL>(image->GetHeight() * scale);
        target.X = (size.cx - target.Width) / 2;
        target.Y = (size.cy - target.Height) / 2;
    }
    graphics.DrawImage(image.get(), target);

    HBITMAP bitmap = nullptr;
    if (canvas.GetHBITMAP(face, &bitmap) != Gdiplus::Ok) return nullptr;
    return bitmap;
}

HBITMAP showPicture(HWND control, HINSTANCE instance, int id, CPictureFit fit) {
    RECT rect{};
    GetClientRect(control, &rect);
    HBITMAP picture =
        drawPicture(instance, id, SIZE{rect.right, rect.bottom}, fit, GetSysColor(COLOR_3DFACE));
    if (picture != nullptr) {
        HGDIOBJ previous = reinterpret_cast<HGDIOBJ>(
            SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture)));
        if (previous != nullptr) DeleteObject(previous);
    }
    return picture;
}

void removePicture(HWND control, HBITMAP& picture) {
    if (control != nullptr) {
        // A control of the version 6 common controls shows a copy of a bitmap with an
        // alpha channel, and hands that copy back here.
        HGDIOBJ shown =
            reinterpret_cast<HGDIOBJ>(SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, 0));
        if (shown != nullptr && shown != picture) DeleteObject(shown);
    }
    if (picture != nullptr) DeleteObject(picture);
    picture = nullptr;
}
