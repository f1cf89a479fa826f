#include "screen_capture.h"

#include <objbase.h>
#include <wincodec.h>

#include "com_ptr.h"
#include "unique_handle.h"

namespace brisko::testing {
namespace {

struct ScreenDc {
    HDC dc = ::GetDC(nullptr);
    ~ScreenDc() { ::ReleaseDC(nullptr, dc); }
};

struct MemoryDc {
    HDC dc;
    explicit MemoryDc(HDC compatible) : dc(::CreateCompatibleDC(compatible)) {}
    ~MemoryDc() { ::DeleteDC(dc); }
};

struct Bitmap {
    HBITMAP handle;
    ~Bitmap() { ::DeleteObject(handle); }
};

struct ComApartment {
    HRESULT result = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ~ComApartment() {
        if (SUCCEEDED(result)) ::CoUninitialize();
    }
};

bool encodePng(HBITMAP bitmap, UINT width, UINT height, const std::wstring& path) {
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmap> source;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    return SUCCEEDED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(factory.put()))) &&
           SUCCEEDED(factory->CreateBitmapFromHBITMAP(bitmap, nullptr, WICBitmapIgnoreAlpha, source.put())) &&
           SUCCEEDED(factory->CreateStream(stream.put())) &&
           SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
           SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put())) &&
           SUCCEEDED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) &&
           SUCCEEDED(encoder->CreateNewFrame(frame.put(), nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
           SUCCEEDED(frame->SetSize(width, height)) && SUCCEEDED(frame->SetPixelFormat(&format)) &&
           SUCCEEDED(frame->WriteSource(source.get(), nullptr)) && SUCCEEDED(frame->Commit()) &&
           SUCCEEDED(encoder->Commit());
}

}  // namespace

bool saveScreenPng(const RECT& area, const std::wstring& path) {
    const ComApartment apartment;
    const int width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return false;
    const ScreenDc screen;
    const MemoryDc memory(screen.dc);
    const Bitmap bitmap{::CreateCompatibleBitmap(screen.dc, width, height)};
    const HGDIOBJ previous = ::SelectObject(memory.dc, bitmap.handle);
    const bool copied = ::BitBlt(memory.dc, 0, 0, width, height, screen.dc, area.left, area.top, SRCCOPY) != FALSE;
    ::SelectObject(memory.dc, previous);
    return copied && encodePng(bitmap.handle, static_cast<UINT>(width), static_cast<UINT>(height), path);
}

RECT unite(const RECT& a, const RECT& b) {
    RECT both{};
    ::UnionRect(&both, &a, &b);
    return both;
}

RECT windowRect(HWND window) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    return rect;
}

}  // namespace brisko::testing
